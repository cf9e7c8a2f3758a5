#pragma once

namespace appserver {

struct HttpOptions;
struct ServerOptions;

/// kpd-appserver serving: the set-up checked, then storage, the service on it and the faces on the
/// service, until a stop signal.
class ServerRun {
public:
    /// The exit status; throws DatabaseError when the database cannot be served.
    static int serve(const ServerOptions& options, const HttpOptions& http);
};

} // namespace appserver
