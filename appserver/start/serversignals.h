#pragma once

#include <functional>

namespace appserver {

/// The signals one waiting thread takes: SIGINT and SIGTERM stop the server, SIGHUP reloads.
class ServerSignals {
public:
    /// Blocks them for this thread and every thread started after, and gives each a handler. Call before
    /// any thread starts.
    static void block();
    /// For the commands that do their work and end: the signals act as they usually do.
    static void unblock();
    /// Waits, calling onReload at each SIGHUP; returns the stop signal.
    static int waitForStop(const std::function<void()>& onReload);
};

} // namespace appserver
