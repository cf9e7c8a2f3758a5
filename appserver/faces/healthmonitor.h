#pragma once

#include "database.h"

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace grpc {
class Server;
class ServerBuilder;
}

namespace appserver {

/// The standard gRPC operations of the server: the health checking service (grpc.health.v1) and server
/// reflection, so that load balancers and tools such as grpcurl work with it.
///
/// Health follows the database: every interval HealthProbe (storage/) asks it, on a fresh connection,
/// whether it can answer a month; a damaged SQLite file counts as broken. The server and its
/// service are SERVING exactly while the server can answer a month, so a balancer takes an instance whose
/// database is gone or broken out of rotation, even while it could still hand out answers kept before.
class HealthMonitor {
public:
    /// The last check's verdict: why not serving, in Portuguese; short, without names or paths, for an
    /// unauthenticated health check; the log has the whole reason.
    struct Report {
        bool serving = false;
        QString reason;
    };

    /// The services' names as health checks ask for them ("" is the server as a whole).
    static constexpr const char* kServiceName = "kpd.rpc.RemoteDataModule";

    /// Turns both services on for servers built from now on. Call before building the server.
    static void EnableStandardServices();

    HealthMonitor(grpc::Server& server, DatabaseSettings settings, int intervalMs = 1000);
    ~HealthMonitor();
    /// Ends the checks without waiting for one in progress; once it returns nothing more is written to
    /// the server's health service, so the server may shut down. Idempotent.
    void stop();
    /// Thread-safe; not serving until the first check has run.
    Report report() const;
    HealthMonitor(const HealthMonitor&) = delete;
    HealthMonitor& operator=(const HealthMonitor&) = delete;

private:
    void run();

    grpc::Server& m_server;
    DatabaseSettings m_settings;
    int m_intervalMs;
    mutable std::mutex m_mutex;
    Report m_report;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace appserver
