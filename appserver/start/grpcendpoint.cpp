#include "grpcendpoint.h"

#include "databasepool.h"
#include "grpcserver.h"
#include "invokeservice.h"
#include "moduleregistry.h"
#include "rdmindicresultface.h"
#include "serverlog.h"
#include "serveroptions.h"

#include <grpcpp/server.h>
#include <grpcpp/server_builder.h>

namespace appserver {

GrpcEndpoint::GrpcEndpoint(const ServerOptions& options) : m_options(options) {}

GrpcEndpoint::~GrpcEndpoint() = default;

int GrpcEndpoint::prepareTls()
{
    QString error;
    m_credentials = GrpcServer::credentials(m_options, error);
    if (!m_credentials) {
        ServerLog::fail(error);
        return 1;
    }
    if (!m_options.tlsCert.isEmpty() && !GrpcServer::keyMatchesCertificate(m_options.tlsCert, m_options.tlsKey, error)) {
        ServerLog::fail(error);
        return 2;
    }
    return 0;
}

int GrpcEndpoint::listen()
{
    QString error;
    if (!m_listener.open(m_options.listen, error)) {
        ServerLog::fail(error);
        return 1;
    }
    if (m_options.tlsCert.isEmpty() && !m_listener.loopbackOnly() && !m_options.insecureListen) {
        ServerLog::fail(QStringLiteral("Recusado: escutar em %1 sem TLS deixaria qualquer um na rede ler os números. Use "
                                       "--tls-cert, --tls-key e --tls-client-ca, ou --insecure-listen se a rede for fechada.")
                            .arg(m_options.listen));
        return 2;
    }
    return 0;
}

int GrpcEndpoint::start(const RdmIndicResult& cockpit, CallLog& log, const DatabasePool& pool, int descriptorBudget)
{
    m_registry = std::make_unique<ModuleRegistry>();
    m_registry->add(std::make_unique<RdmIndicResultFace>(cockpit));
    m_service = std::make_unique<InvokeService>(*m_registry, log);
    // One thread per call in progress at most: the pool's, the queue's, and a few for calls that never
    // reach the database.
    m_server = GrpcServer::start(*m_service, m_credentials, pool.size() + pool.maxQueued() + 16, m_acceptor);
    if (!m_server) {
        ServerLog::fail(QStringLiteral("Não foi possível iniciar o servidor gRPC em %1.").arg(m_options.listen));
        return 1;
    }
    m_listener.start(m_acceptor.get(), descriptorBudget, GrpcServer::kHandshakeLimit, !m_options.tlsCert.isEmpty());
    return 0;
}

void GrpcEndpoint::stopListening()
{
    m_listener.stop();
}

void GrpcEndpoint::shutdown(std::chrono::steady_clock::time_point grace)
{
    m_service->stopping();
    m_server->Shutdown(std::chrono::system_clock::now()
                       + std::chrono::duration_cast<std::chrono::system_clock::duration>(grace - std::chrono::steady_clock::now()));
}

void GrpcEndpoint::wait()
{
    m_server->Wait();
}

void GrpcEndpoint::close()
{
    m_server.reset();
    // What the server's calls went through goes with it, in the order it was made backwards, and before the
    // call log and the database those calls reached: the listener, which made none of it, stays to the end.
    m_acceptor.reset();
    m_service.reset();
    m_registry.reset();
}

void GrpcEndpoint::abandon()
{
    m_listener.stop();
    m_server->Shutdown();
}

} // namespace appserver
