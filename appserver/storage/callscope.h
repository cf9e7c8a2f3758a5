#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>

namespace appserver {

/// Why a call stopped before its work finished.
enum class CallEnd {
    Cancelled,          ///< the client cancelled it or went away
    DeadlineExceeded,   ///< the client's deadline passed
    Overloaded,         ///< no place left in the database queue
};

/// What the database work of a call knows of the call: until when the client waits, and whether it
/// has stopped waiting. Work for a call that has ended is dropped or interrupted, so a client that
/// gave up no longer costs the server anything. Each face makes one for every call it receives and
/// hands it through the service to the pool: so no call, whatever its transport, runs unbounded.
struct CallScope {
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    /// Asked while the call waits for its work; empty: the call never ends early.
    std::function<std::optional<CallEnd>()> ended;
};

/// Thrown by the database pool when the call ended (or never got a place) before its work finished.
class CallEnded : public std::runtime_error {
public:
    CallEnded(CallEnd reason, const QString& message)
        : std::runtime_error(message.toStdString()), m_reason(reason), m_message(message) {}
    CallEnd reason() const { return m_reason; }
    const QString& message() const { return m_message; }

private:
    CallEnd m_reason;
    QString m_message;
};

} // namespace appserver
