#include "grpcserver.h"

#include "healthmonitor.h"
#include "serveroptions.h"

#include <grpc/support/log.h>
#include <grpcpp/grpcpp.h>
#include <grpcpp/resource_quota.h>
#include <grpcpp/security/server_credentials.h>

#include <QFile>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

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

// gRPC writes a line per failed TLS handshake, and a client with the wrong certificate retries without
// end: the first failure is written, the rest counted and written once a minute. (Connections that do
// not even open with TLS are turned away by the Listener, per address.) Other lines keep gRPC's form.
void logGrpc(gpr_log_func_args* args)
{
    if (std::strstr(args->message, "Handshake failed") != nullptr) {
        static std::mutex mutex;
        static std::chrono::steady_clock::time_point saidAt;
        static long count = 0;
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex);
        if (saidAt != std::chrono::steady_clock::time_point{} && now - saidAt < std::chrono::minutes(1)) {
            ++count;
            return;
        }
        if (count > 0)
            std::fprintf(stderr, "kpd-appserver: %ld handshakes TLS falharam no último minuto\n", count);
        std::fprintf(stderr, "kpd-appserver: handshake TLS falhou (%s); os próximos são contados por minuto\n",
                     args->message);
        saidAt = now;
        count = 0;
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(stderr, "%s %s %s:%d] %s\n", stamp, gpr_log_severity_string(args->severity), args->file, args->line,
                 args->message);
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

bool keyMatchesCertificate(const QString& certPath, const QString& keyPath, QString& error)
{
    QFile certFile(certPath);
    QFile keyFile(keyPath);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        return true;   // credentials() says which file cannot be read
    const QByteArray certPem = certFile.readAll();
    const QByteArray keyPem = keyFile.readAll();
    const std::unique_ptr<BIO, decltype(&BIO_free)> certBio(BIO_new_mem_buf(certPem.constData(), int(certPem.size())), BIO_free);
    const std::unique_ptr<BIO, decltype(&BIO_free)> keyBio(BIO_new_mem_buf(keyPem.constData(), int(keyPem.size())), BIO_free);
    const std::unique_ptr<X509, decltype(&X509_free)> cert(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr),
                                                           X509_free);
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    const bool matches = cert && key && X509_check_private_key(cert.get(), key.get()) == 1;
    ERR_clear_error();
    if (matches)
        return true;
    // Accepted, the server would start and say SERVING, and every client's handshake would fail.
    error = !cert ? QStringLiteral("O certificado \"%1\" (--tls-cert) não pôde ser lido como PEM.").arg(certPath)
            : !key ? QStringLiteral("A chave \"%1\" (--tls-key) não pôde ser lida como PEM (uma chave protegida por "
                                    "senha não serve).")
                         .arg(keyPath)
                   : QStringLiteral("A chave \"%1\" (--tls-key) não corresponde ao certificado \"%2\" (--tls-cert): "
                                    "nenhum cliente conseguiria se conectar. Use a chave com que o certificado foi "
                                    "emitido.")
                         .arg(keyPath, certPath);
    return false;
}

std::unique_ptr<grpc::Server> start(grpc::Service& service, const std::shared_ptr<grpc::ServerCredentials>& credentials,
                                    int maxThreads,
                                    std::unique_ptr<grpc::experimental::ExternalConnectionAcceptor>& acceptor)
{
    HealthMonitor::EnableStandardServices();
    gpr_set_log_function(logGrpc);
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
