#pragma once

#include "kpd.grpc.pb.h"

#include <grpcpp/support/byte_buffer.h>

#include <atomic>

namespace appserver {

class CallLog;
class ModuleRegistry;

/// The gRPC face of the server: finds the module and the method by name, runs it and has the call
/// log write one line (time, module, method, reference, milliseconds, status). Names from the request are
/// escaped and cut wherever they are repeated; the method's database work gets the call's deadline and
/// cancellation, and a call that ended or found no place is answered and logged as such.
///
/// The service is RemoteDataModule's, registered by hand with the reply as bytes: a reply kept with its
/// answer goes out as it was serialized, without a copy.
class InvokeService final : public grpc::Service {
public:
    InvokeService(const ModuleRegistry& registry, CallLog& log);

    grpc::Status Invoke(grpc::ServerContext* context, const kpd::rpc::InvokeRequest* request, grpc::ByteBuffer* out);

    /// The server is stopping: calls gRPC cancels from now on were cut by the stop, not by their
    /// clients, and are logged so.
    void stopping() { m_stopping = true; }

private:
    std::atomic<bool> m_stopping{false};
    const ModuleRegistry& m_registry;
    CallLog& m_log;
};

} // namespace appserver
