#include "httpsessions.h"

#include <sodium.h>

namespace appserver {

QByteArray HttpSessions::open(const QString& user, const QByteArray& credential, Clock::time_point now)
{
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    const QByteArray token = QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toHex();
    std::lock_guard lock(m_mutex);
    for (auto it = m_sessions.begin(); it != m_sessions.end();)
        it = expired(it.value(), now) ? m_sessions.erase(it) : std::next(it);
    m_sessions.insert(token, {user, credential, now, now});
    return token;
}

std::optional<QString> HttpSessions::use(const QByteArray& token,
                                         const std::function<QByteArray(const QString&)>& currentCredential,
                                         Clock::time_point now)
{
    if (token.isEmpty())
        return std::nullopt;
    Session session;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_sessions.find(token);
        if (it == m_sessions.end())
            return std::nullopt;
        if (expired(it.value(), now)) {
            m_sessions.erase(it);
            return std::nullopt;
        }
        session = it.value();
    }
    if (currentCredential(session.user) != session.credential) {
        close(token);
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return std::nullopt;
    it.value().used = now;
    return session.user;
}

void HttpSessions::close(const QByteArray& token)
{
    std::lock_guard lock(m_mutex);
    m_sessions.remove(token);
}

} // namespace appserver
