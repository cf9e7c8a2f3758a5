#pragma once

#include "listener.h"

#include <chrono>
#include <memory>

namespace grpc {
class Server;
class ServerCredentials;
namespace experimental {
class ExternalConnectionAcceptor;
}
}

namespace appserver {

class CallLog;
class DatabasePool;
class InvokeService;
class ModuleRegistry;
class RdmIndicResult;
struct ServerOptions;

/// The gRPC face as the server starts it: its TLS files and its listening socket checked before the
/// database is touched, then the service on the cockpit and the server on the listener's connections.
/// The steps that can fail say why on standard error and answer the exit status, 0 when they went well.
class GrpcEndpoint {
public:
    explicit GrpcEndpoint(const ServerOptions& options);
    ~GrpcEndpoint();
    GrpcEndpoint(const GrpcEndpoint&) = delete;
    GrpcEndpoint& operator=(const GrpcEndpoint&) = delete;

    /// The credentials from the options, and the key checked against the certificate.
    int prepareTls();
    /// The listening socket; plain text on a network address is refused unless --insecure-listen.
    int listen();
    /// The cockpit's module behind the service, and the server taking the listener's connections, with a
    /// thread for each call the pool can hold. descriptorBudget: see Listener::start.
    int start(const RdmIndicResult& cockpit, CallLog& log, const DatabasePool& pool, int descriptorBudget);

    const Listener& listener() const { return m_listener; }
    grpc::Server& server() { return *m_server; }
    /// No new connections.
    void stopListening();
    /// Calls in progress have until grace, then are cancelled; logged as cut by the stop.
    void shutdown(std::chrono::steady_clock::time_point grace);
    /// Until the server has shut down.
    void wait();
    /// The server gone, before the database it called.
    void close();
    /// A start that went no further: no connections, the server down at once.
    void abandon();

private:
    const ServerOptions& m_options;
    std::shared_ptr<grpc::ServerCredentials> m_credentials;
    Listener m_listener;
    std::unique_ptr<ModuleRegistry> m_registry;
    std::unique_ptr<InvokeService> m_service;
    std::unique_ptr<grpc::experimental::ExternalConnectionAcceptor> m_acceptor;
    std::unique_ptr<grpc::Server> m_server;
};

} // namespace appserver
