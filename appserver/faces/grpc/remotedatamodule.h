#pragma once

#include "callscope.h"
#include "kpd.pb.h"

#include <grpcpp/support/status.h>

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace appserver {

/// One late-bound call in progress. The reply's arguments start as a copy of the request's (every
/// argument is by reference) and the method changes them in place and sets the result; or it hands over
/// a whole successful reply, already serialized (kept with its answer), in replyBytes.
struct Invocation {
    kpd::rpc::InvokeReply& reply;
    QString logDetail;   ///< what the call log shows about the arguments, e.g. the reference date
    CallScope scope;     ///< hand it to the database work, which then stops when the call does
    std::shared_ptr<const std::string> replyBytes = {};
    /// Why the call failed as the log says it, where that is more than the client is told (the driver's
    /// text behind a "danificado"); empty to log what the client is told.
    QString logMessage = {};
};

/// A remote data module: a named set of methods that clients call by name.
class RemoteDataModule {
public:
    using Method = std::function<grpc::Status(Invocation&)>;

    explicit RemoteDataModule(QString registeredName) : m_name(std::move(registeredName)) {}
    virtual ~RemoteDataModule() = default;
    RemoteDataModule(const RemoteDataModule&) = delete;
    RemoteDataModule& operator=(const RemoteDataModule&) = delete;

    /// The name clients give as server name, e.g. "KPD00100.rdmIndicResult".
    const QString& registeredName() const { return m_name; }
    /// The method called name, ignoring letter case as late binding does; null when there is none.
    const Method* findMethod(const QString& name) const;

protected:
    void registerMethod(const QString& name, Method method);

private:
    QString m_name;
    QHash<QString, Method> m_methods;   // keyed by lower-case name
};

} // namespace appserver
