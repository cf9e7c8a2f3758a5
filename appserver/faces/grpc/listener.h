#pragma once

#include <QString>

#include <chrono>
#include <thread>
#include <vector>

namespace grpc::experimental {
class ExternalConnectionAcceptor;
}

namespace appserver {

/// The server's listening sockets and its accept loop. gRPC gets a connection only once the client has
/// sent its opening in full (TLS and HTTP/2 clients speak first: the ClientHello's record, or the HTTP/2
/// preface), so connections that never say it all, silent or stalled half-way, stay here: they
/// are closed after the handshake limit, and the oldest of them make room whenever the descriptors run
/// short. The descriptors above the budget are kept for the database and gRPC's own needs; a connection
/// that would need one is refused when no silent connection can give way.
///
/// Owning the accept loop also keeps the server reachable at the descriptor limit: gRPC's own acceptor
/// stops for good at the first "too many open files".
class Listener {
public:
    Listener() = default;
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    /// Resolves HOST:PORT ([IPv6]:PORT; port 0 picks a free port) and binds every address found.
    /// False with a Portuguese message in error.
    bool open(const QString& hostPort, QString& error);
    int port() const { return m_port; }
    /// Whether every bound address is a loopback one, reachable only from this machine.
    bool loopbackOnly() const { return m_loopbackOnly; }

    /// Starts accepting on a thread of its own, handing connections to acceptor. Connections get
    /// descriptors below descriptorBudget; silent ones are closed after silentLimit.
    /// With tls, a connection whose opening is not TLS is closed here, and logged once per address
    /// per minute with a count rather than once per connection.
    void start(grpc::experimental::ExternalConnectionAcceptor* acceptor, int descriptorBudget,
               std::chrono::milliseconds silentLimit, bool tls = false);
    /// Stops accepting and closes the listening sockets and the silent connections. Idempotent.
    void stop();

    /// Raises the soft limit on open descriptors to the hard one (systemd's LimitNOFILE, or the shell's
    /// ulimit -Hn): every connection costs one. Returns the limit now in force.
    static int raiseDescriptorLimit();
    /// The descriptors connections may have out of limit: the rest are kept for the database (a file
    /// with its journal, or a socket, per pool connection, and new ones after a lost connection),
    /// gRPC's own and the log.
    static int descriptorBudget(int limit, int poolSize);

private:
    class Loop;
    void loop();

    std::vector<int> m_sockets;
    int m_port = 0;
    bool m_loopbackOnly = true;
    int m_wake = -1;
    int m_spare = -1;   // a descriptor given back when none is left, to accept and refuse a caller
    int m_budget = 0;
    std::chrono::milliseconds m_silentLimit{0};
    bool m_tls = false;
    grpc::experimental::ExternalConnectionAcceptor* m_acceptor = nullptr;
    std::thread m_thread;
};

} // namespace appserver
