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
    /// Sign-out: the session's user, when it was open.
    std::optional<QString> close(const QByteArray& token);

    /// Why a session ended without a sign-out: "inatividade", "duracao" or "senha-trocada".
    using Ended = std::function<void(const QString& user, const char* why)>;
    /// Told of each session found ended (when it is next used, or swept at a sign-in), outside the lock.
    void onEnded(Ended ended) { m_ended = std::move(ended); }

private:
    struct Session {
        QString user;
        QByteArray credential;
        Clock::time_point opened, used;
    };
    static bool expired(const Session& s, Clock::time_point now) { return now - s.opened >= kLife || now - s.used >= kIdle; }
    static const char* whyExpired(const Session& s, Clock::time_point now)
    {
        return now - s.opened >= kLife ? "duracao" : "inatividade";
    }
    void tell(const QString& user, const char* why) const
    {
        if (m_ended)
            m_ended(user, why);
    }

    Ended m_ended;

    std::mutex m_mutex;
    QHash<QByteArray, Session> m_sessions;
};

} // namespace appserver
