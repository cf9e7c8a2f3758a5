#include "grpcserver.h"

#include "healthmonitor.h"
#include "serveroptions.h"

#include <grpcpp/grpcpp.h>
#include <grpcpp/resource_quota.h>
#include <grpcpp/security/server_credentials.h>

#include <QFile>

namespace appserver::GrpcServer {

namespace {

// A connection without calls for this long is closed; its client reconnects when it calls again.
constexpr int kIdleLimitMs = 15 * 60 * 1000;
// Connections are renewed after this long (calls in progress get the grace to finish), so a balancer
// spreads them again after an instance came back.
constexpr int kAgeLimitMs = 60 * 60 * 1000;
constexpr int kAgeGraceMs = 90 * 1000;

// A PEM file the TLS set-up needs; false with the reason in error. An empty file would otherwise pass
// for "no certificates" and, for a CA, trust anyone.
bool readPem(const QString& option, const QString& path, const char* marker, std::string& out, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Não foi possível ler o arquivo de %1 \"%2\": %3.").arg(option, path, file.errorString());
        return false;
    }
    const QByteArray pem = file.readAll();
    if (pem.trimmed().isEmpty()) {
        error = QStringLiteral("O arquivo de %1 \"%2\" está vazio.").arg(option, path);
        return false;
    }
    if (!pem.contains(marker)) {
        error = QStringLiteral("O arquivo de %1 \"%2\" não contém um PEM válido (falta \"%3\").")
                    .arg(option, path, QString::fromLatin1(marker));
        return false;
    }
    out = pem.toStdString();
    return true;
}

} // namespace

std::shared_ptr<grpc::ServerCredentials> credentials(const ServerOptions& options, QString& error)
{
    if (options.tlsCert.isEmpty())
        return grpc::InsecureServerCredentials();
    grpc::SslServerCredentialsOptions::PemKeyCertPair pair;
    if (!readPem(QStringLiteral("--tls-cert"), options.tlsCert, "-----BEGIN CERTIFICATE-----", pair.cert_chain, error)
        || !readPem(QStringLiteral("--tls-key"), options.tlsKey, "PRIVATE KEY-----", pair.private_key, error))
        return nullptr;
    grpc::SslServerCredentialsOptions ssl;
    ssl.pem_key_cert_pairs.push_back(pair);
    if (!options.tlsClientCa.isEmpty()) {
        if (!readPem(QStringLiteral("--tls-client-ca"), options.tlsClientCa, "-----BEGIN CERTIFICATE-----",
                     ssl.pem_root_certs, error))
            return nullptr;
        ssl.client_certificate_request = GRPC_SSL_REQUEST_AND_REQUIRE_CLIENT_CERTIFICATE_AND_VERIFY;
        ssl.force_client_auth = true;
    }
    return grpc::SslServerCredentials(ssl);
}

std::unique_ptr<grpc::Server> start(grpc::Service& service, const std::shared_ptr<grpc::ServerCredentials>& credentials,
                                    int maxThreads,
                                    std::unique_ptr<grpc::experimental::ExternalConnectionAcceptor>& acceptor)
{
    HealthMonitor::EnableStandardServices();
    grpc::ServerBuilder builder;
    acceptor = builder.experimental().AddExternalConnectionAcceptor(
        grpc::ServerBuilder::experimental_type::ExternalConnectionType::FROM_FD, credentials);
    builder.RegisterService(&service);
    builder.AddChannelArgument(GRPC_ARG_SERVER_HANDSHAKE_TIMEOUT_MS, static_cast<int>(kHandshakeLimit.count()));
    builder.AddChannelArgument(GRPC_ARG_MAX_CONNECTION_IDLE_MS, kIdleLimitMs);
    builder.AddChannelArgument(GRPC_ARG_MAX_CONNECTION_AGE_MS, kAgeLimitMs);
    builder.AddChannelArgument(GRPC_ARG_MAX_CONNECTION_AGE_GRACE_MS, kAgeGraceMs);
    // Beyond maxThreads gRPC itself answers RESOURCE_EXHAUSTED.
    grpc::ResourceQuota quota("kpd-appserver");
    quota.SetMaxThreads(maxThreads);
    builder.SetResourceQuota(quota);
    return builder.BuildAndStart();
}

} // namespace appserver::GrpcServer
