#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

namespace appserver {

/// The browser's sessions, kept in memory (a restart signs everyone out). A session ends after
/// kIdle without a request, after kLife in any case, at sign-out, and when its user's password changes
/// or the user is removed: it is tied to the credential it was opened with. Thread-safe.
class HttpSessions {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kLife = std::chrono::hours(12);
    static constexpr auto kIdle = std::chrono::minutes(30);

    /// A new session's token (64 hex digits, from libsodium's random bytes).
    QByteArray open(const QString& user, const QByteArray& credential, Clock::time_point now = Clock::now());
    /// The session's user, when the session is still valid under currentCredential(user); a request
    /// counts as use.
    std::optional<QString> use(const QByteArray& token, const std::function<QByteArray(const QString&)>& currentCredential,
                               Clock::time_point now = Clock::now());
    void close(const QByteArray& token);

private:
    struct Session {
        QString user;
        QByteArray credential;
        Clock::time_point opened, used;
    };
    static bool expired(const Session& s, Clock::time_point now) { return now - s.opened >= kLife || now - s.used >= kIdle; }

    std::mutex m_mutex;
    QHash<QByteArray, Session> m_sessions;
};

} // namespace appserver
