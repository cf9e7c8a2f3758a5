#pragma once

#include <QString>

#include <memory>
#include <thread>

namespace httplib {
class Server;
}

namespace appserver {

class InvokeService;
class Metrics;
class UserAccounts;

/// The app server's HTTP face: the cockpit page and its assets (compiled in), the cockpit of a month as
/// JSON (/api/cockpit?month=AAAA-MM, computed by the same getCkpData call the desktop makes, through the
/// same service, pool and queue), sign-in, and /metrics. cpp-httplib does the HTTP; every request runs
/// on its thread pool and waits for the database pool like a gRPC call.
class HttpFace {
public:
    struct Setup {
        QString listen;             ///< HOST:PORT; port 0 picks a free one
        bool metricsOnly = false;   ///< only /metrics
        QString tlsCert, tlsKey;    ///< both set: HTTPS
        UserAccounts* users = nullptr;   ///< null: no sign-in (allowed on loopback only)
    };

    HttpFace(InvokeService& service, Metrics& metrics);
    ~HttpFace();

    /// Binds and starts answering on a thread of its own; false with a Portuguese message. Refuses an
    /// address other than loopback without TLS and users.
    bool start(const Setup& setup, QString& error);
    int port() const { return m_port; }
    void stop();

private:
    struct Routes;
    InvokeService& m_service;
    Metrics& m_metrics;
    std::unique_ptr<httplib::Server> m_server;
    std::unique_ptr<Routes> m_routes;
    std::thread m_thread;
    int m_port = 0;
};

} // namespace appserver
