#include "httpsessions.h"

#include <sodium.h>

#include <vector>

namespace appserver {

QByteArray HttpSessions::open(const QString& user, const QByteArray& credential, Clock::time_point now)
{
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    const QByteArray token = QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toHex();
    std::vector<std::pair<QString, const char*>> ended;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            if (expired(it.value(), now)) {
                ended.emplace_back(it.value().user, whyExpired(it.value(), now));
                it = m_sessions.erase(it);
            } else {
                ++it;
            }
        }
        m_sessions.insert(token, {user, credential, now, now});
    }
    for (const auto& [who, why] : ended)
        tell(who, why);
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
        session = it.value();
        if (expired(session, now))
            m_sessions.erase(it);
    }
    if (expired(session, now)) {
        tell(session.user, whyExpired(session, now));
        return std::nullopt;
    }
    if (currentCredential(session.user) != session.credential) {
        if (close(token))
            tell(session.user, "senha-trocada");
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return std::nullopt;
    it.value().used = now;
    return session.user;
}

std::optional<QString> HttpSessions::close(const QByteArray& token)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return std::nullopt;
    const QString user = it.value().user;
    m_sessions.erase(it);
    return user;
}

} // namespace appserver
