#pragma once

#include <QDate>
#include <QString>

#include <chrono>
#include <memory>
#include <thread>

namespace httplib {
class Server;
}

namespace appserver {

class CallLog;
class Metrics;
class RdmIndicResult;
class UserAccounts;

/// The app server's HTTP face: the cockpit page and its assets (compiled in), the cockpit of a month as
/// JSON (/api/cockpit?month=AAAA-MM, computed by the same module the desktop's getCkpData calls, through
/// the same pool and queue, and logged on the same call log), sign-in, and /metrics. cpp-httplib does the
/// HTTP; every request runs on its thread pool and waits for the database pool like a gRPC call, bounded
/// by the face's call deadline as a gRPC call is by its client's.
class HttpFace {
public:
    struct Setup {
        QString listen;             ///< HOST:PORT; port 0 picks a free one
        bool metricsOnly = false;   ///< only /metrics
        QString tlsCert, tlsKey;    ///< both set: HTTPS
        UserAccounts* users = nullptr;   ///< null: no sign-in (allowed on loopback only)
        /// How long a month may take; then its database work is dropped or interrupted and the browser
        /// gets 504.
        std::chrono::milliseconds callDeadline{10000};
    };

    HttpFace(const RdmIndicResult& cockpit, CallLog& log, Metrics& metrics);
    ~HttpFace();

    /// Binds and starts answering on a thread of its own; false with a Portuguese message. Refuses an
    /// address other than loopback without TLS and users.
    bool start(const Setup& setup, QString& error);
    int port() const { return m_port; }
    void stop();

private:
    struct Routes;
    void answerMonth(const QDate& month, std::string& body, int& status, QString& error) const;

    const RdmIndicResult& m_cockpit;
    CallLog& m_log;
    Metrics& m_metrics;
    std::chrono::milliseconds m_callDeadline{10000};
    std::unique_ptr<httplib::Server> m_server;
    std::unique_ptr<Routes> m_routes;
    std::thread m_thread;
    int m_port = 0;
};

} // namespace appserver
