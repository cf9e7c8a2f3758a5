#pragma once

#include "auditlog.h"
#include "directoryaccounts.h"
#include "useraccounts.h"

namespace appserver {

class DatabasePool;
class HealthMonitor;
class HttpFace;
struct HttpOptions;
struct ServerOptions;

/// The browser face as the server starts it: who may sign in (the users file, the directory) and the
/// audit record, read and checked before the database is touched, then the face on --http or
/// --metrics-only. Reloaded by SIGHUP.
class HttpEndpoint {
public:
    HttpEndpoint(const ServerOptions& options, const HttpOptions& http);
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    /// The users file, the audit record and the directory; 0, or the exit status after a message.
    int prepare();
    /// Starts face where the options say, when they say so; false after a message. health: asked for
    /// /healthz. descriptorBudget: shared with gRPC's silent connections.
    bool start(HttpFace& face, HealthMonitor& health, const DatabasePool& pool, int descriptorBudget);
    /// SIGHUP: the audit record reopened, the users file read again (a refused file leaves the users
    /// read before).
    void reload();

private:
    const ServerOptions& m_options;
    const HttpOptions& m_http;
    UserAccounts m_users;
    AuditLog m_audit;
    DirectoryAccounts m_directory;
};

} // namespace appserver
