#pragma once

#include <QString>

#include <chrono>
#include <memory>

namespace grpc {
class Server;
class ServerCredentials;
class Service;
namespace experimental {
class ExternalConnectionAcceptor;
}
}

namespace appserver {

struct ServerOptions;

/// The gRPC face's set-up: its TLS credentials from the options, and the server built on connections the
/// Listener hands over, with the limits a cockpit server needs.
namespace GrpcServer {

/// How long a client may take to say its first word, and then to finish the TLS and HTTP/2 handshakes:
/// a cockpit needs milliseconds; a connection that says nothing holds a descriptor.
constexpr std::chrono::milliseconds kHandshakeLimit{5000};

/// Plain text, TLS, or TLS that requires client certificates; null with a Portuguese message in error
/// when a PEM file is missing, empty or not PEM.
std::shared_ptr<grpc::ServerCredentials> credentials(const ServerOptions& options, QString& error);

/// Whether the private key in keyPath is the certificate's in certPath: the gRPC and HTTP faces share
/// them. False with a Portuguese message naming both files.
bool keyMatchesCertificate(const QString& certPath, const QString& keyPath, QString& error);

/// Builds and starts the server for service, with health and reflection, at most maxThreads calls in
/// progress; acceptor receives the connections to hand over. Null when it did not start.
std::unique_ptr<grpc::Server> start(grpc::Service& service, const std::shared_ptr<grpc::ServerCredentials>& credentials,
                                    int maxThreads,
                                    std::unique_ptr<grpc::experimental::ExternalConnectionAcceptor>& acceptor);

} // namespace GrpcServer

} // namespace appserver
