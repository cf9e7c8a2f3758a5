#pragma once

#include "auditlog.h"
#include "calllog.h"
#include "callscope.h"
#include "healthmonitor.h"
#include "httpengine.h"
#include "httpsessions.h"
#include "refmonth.h"
#include "signinthrottle.h"

#include <QDate>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace appserver {

class CallLog;
class DirectoryAccounts;
class HttpEngine;
class HttpExchange;
struct HttpResponse;
class Metrics;
class RdmIndicResult;
class UserAccounts;
class WorkerPool;

/// The app server's HTTP face: the cockpit page and its assets (compiled in), the cockpit of a month as
/// JSON (/api/cockpit?month=AAAA-MM, computed by the same module the desktop's getCkpData calls, through
/// the same pool and queue, and logged on the same call log), sign-in, sign-out and /metrics.
///
/// HttpEngine does the HTTP without a thread per connection; what blocks runs on two small worker
/// pools while its connection waits suspended: password checks (two at a time) and months (a few more
/// at once than the database pool runs, with as many waiting as its queue). A month's call carries the
/// face's deadline and ends early when its browser leaves.
class HttpFace {
public:
    struct Setup {
        QString listen;             ///< HOST:PORT; port 0 picks a free one
        bool metricsOnly = false;   ///< only /metrics
        QString tlsCert, tlsKey;    ///< both set: HTTPS
        UserAccounts* users = nullptr;   ///< null, and no directory: no sign-in (allowed on loopback only)
        /// The company's directory, beside the users file: a name the file has signs in there, any other here.
        const DirectoryAccounts* directory = nullptr;
        /// Where what the directory said when it refused or failed a check goes (the log).
        std::function<void(const QString&)> warn;
        /// How long a month may take; then its database work is dropped or interrupted and the browser
        /// gets 504.
        std::chrono::milliseconds callDeadline{10000};
        unsigned connections = 1024;            ///< at once, all addresses together
        unsigned connectionsPerAddress = 64;
        int callWorkers = 12;   ///< months at once: a few more than the database pool runs, to keep it busy
        int callQueue = 64;     ///< months waiting for a worker; beyond them, 503 as for a full database queue
        /// Where a users file that changed and was refused is reported.
        std::function<void(const QString&)> report;
        /// Where sign-ins, sign-outs, the months and regions seen and the lists taken are recorded; none: nowhere.
        AuditLog* audit = nullptr;
        /// What /healthz answers: serving, or why not (HealthMonitor::report). None: always serving.
        std::function<HealthMonitor::Report()> health;
    };

    HttpFace(const RdmIndicResult& cockpit, CallLog& log, Metrics& metrics);
    ~HttpFace();

    /// Binds and starts answering; false with a Portuguese message. Refuses an address other than
    /// loopback without TLS and users.
    bool start(const Setup& setup, QString& error);
    int port() const { return m_port; }
    /// Stops taking connections; months in progress get until graceUntil, then are cancelled.
    void stop(std::chrono::steady_clock::time_point graceUntil = std::chrono::steady_clock::now());

private:
    using Exchange = std::shared_ptr<HttpExchange>;
    /// What follows a request's sign-in, with the user (empty on an open face).
    using Next = std::function<void(const Exchange&, const QString& user)>;
    struct Route {
        std::string method, path;
        bool signedIn;   ///< needs a session or Basic when there are users
        Next answer;
    };

    void handle(const Exchange& ex);
    bool hostAllowed(const std::string& host) const;
    void authorize(const Exchange& ex, const Next& next);
    /// via: "pagina" (the sign-in form) or "basic" (a script's header).
    void checkPassword(const Exchange& ex, const QString& name, const QByteArray& password, const char* via,
                       const std::function<void(const Exchange&)>& accepted);
    bool guarded() const { return m_setup.users || m_setup.directory; }
    /// Whether name signs in against the directory rather than the users file.
    bool byDirectory(const QString& name) const;
    /// What a session is tied to (see HttpSessions): the file's hash, or the directory's mark.
    QByteArray credentialOf(const QString& name) const;
    void auditSignIn(const Exchange& ex, const QString& name, const char* via, const QString& method, bool granted,
                     const QString& why);
    void audit(const Exchange& ex, const QString& user, const char* event, AuditLog::Fields fields);
    void month(const Exchange& ex, const QString& user);
    void region(const Exchange& ex, const QString& user, bool csv);
    using Work = std::function<HttpResponse(const CallScope&)>;
    /// seen: what the audit records once the answer is there.
    struct Seen {
        const char* event;
        AuditLog::Fields fields;
    };
    HttpResponse validated(const Exchange& ex, const QString& user, const QString& what,
                           const std::function<std::shared_ptr<const std::string>(QString* version)>& answer);
    void answerCall(const Exchange& ex, const QString& user, CallLog::Call logged,
                    std::chrono::steady_clock::time_point deadline, const Seen& seen, const Work& work);
    void signIn(const Exchange& ex);
    void signOut(const Exchange& ex);
    void send(const Exchange& ex, HttpResponse response);
    void answerMonth(const cockpit::RefMonth& month, const Exchange& ex, const QString& user,
                     std::chrono::steady_clock::time_point deadline);

    const RdmIndicResult& m_cockpit;
    CallLog& m_log;
    Metrics& m_metrics;
    Setup m_setup;
    bool m_tls = false;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::vector<std::string> m_hosts;   // Host values an open loopback face answers
    std::vector<Route> m_routes;
    HttpSessions m_sessions;
    SignInThrottle m_throttle;
    // Declared last, so they go first: the engine's connections, then the work that answers them.
    std::unique_ptr<WorkerPool> m_checks;
    std::unique_ptr<WorkerPool> m_calls;
    std::unique_ptr<HttpEngine> m_engine;
};

} // namespace appserver
