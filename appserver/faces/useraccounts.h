#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <mutex>
#include <optional>

namespace appserver {

/// The people who may open the cockpit in a browser: a file of "name:hash" lines, the hash being
/// libsodium's crypto_pwhash_str (salted, deliberately slow, memory-hard). Wrong passwords slow their
/// address down: after n failures in a row the address must wait 2^(n-1) seconds (at most a minute)
/// before its next try is even checked.
class UserAccounts {
public:
    /// Reads the file; false with a Portuguese message when it cannot be read or a line is malformed.
    bool load(const QString& path, QString& error);
    bool empty() const { return m_hashes.isEmpty(); }

    /// Adds the user or changes their password in the file (created 0600 when missing), keeping the
    /// other lines. False with a message in error.
    static bool addUser(const QString& path, const QString& name, const QByteArray& password, QString& error);

    enum class Check { Accepted, Refused, Throttled };
    /// Checks a sign-in from address. Throttled: the address must wait retryAfter seconds first.
    Check check(const QString& address, const QString& name, const QByteArray& password, int* retryAfter = nullptr);

private:
    struct Failures {
        int count = 0;
        std::chrono::steady_clock::time_point until;
    };
    QHash<QString, QByteArray> m_hashes;
    std::mutex m_mutex;
    QHash<QString, Failures> m_failures;
};

} // namespace appserver
