#pragma once

#include "kpd.grpc.pb.h"

#include <cstdio>
#include <mutex>

namespace appserver {

class Metrics;
class ModuleRegistry;

/// The gRPC face of the server: finds the module and the method by name, runs it and writes one log
/// line per call (time, module, method, reference, milliseconds, status). Names from the request are
/// escaped and cut wherever they are repeated; the method's database work gets the call's deadline and
/// cancellation, and a call that ended or found no place is answered and logged as such.
class InvokeService final : public kpd::rpc::RemoteDataModule::Service {
public:
    /// log may be null for no log.
    InvokeService(const ModuleRegistry& registry, std::FILE* log);

    /// Counts every call in metrics from now on (null: none). Set before the server starts.
    void setMetrics(Metrics* metrics) { m_metrics = metrics; }

    grpc::Status Invoke(grpc::ServerContext* context, const kpd::rpc::InvokeRequest* request,
                        kpd::rpc::InvokeReply* reply) override;

private:
    const ModuleRegistry& m_registry;
    std::FILE* m_log;
    Metrics* m_metrics = nullptr;
    std::mutex m_logMutex;
};

} // namespace appserver
