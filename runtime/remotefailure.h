#pragma once

// How a failed exchange with the application server is told to the user: one Portuguese message per kind
// of failure (refused connection, unknown host, untrusted certificate, certificate for another name, TLS
// against a plain-text server, deadline, overload, oversized or malformed reply), never gRPC's own English
// text, and nothing the server wrote with its control characters raw. Private to the remote call client.

#include <QString>

#include <grpcpp/grpcpp.h>

namespace RemoteFailure {

// The largest reply the client reads. A month's real reply is a few kilobytes; even one region per branch
// over 20 000 branches stays under 3 MB (docs/protocol.md). A server that sends more is refused before the
// reply is decoded.
constexpr int kMaxReplyBytes = 16 * 1024 * 1024;

struct Where {
    QString host;      // as configured, for the messages that name it
    QString address;   // "HOST:PORT"
    bool tls = false;  // the client was set to speak TLS
};

// The channel gave up connecting. Asks it why (a call on a failed channel fails at once, carrying the last
// connection error) and words the reason.
QString ConnectFailed(grpc::Channel& channel, const Where& where);
// The channel did not become ready within the connect wait.
QString ConnectTimedOut(const Where& where, qint64 elapsedMs);
// A call that ended with a gRPC error status; `call` is "Module.method".
QString CallFailed(const grpc::Status& status, const Where& where, const QString& call, qint64 elapsedMs,
                   int deadlineMs);

} // namespace RemoteFailure
