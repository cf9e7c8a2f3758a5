#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>

namespace appserver {

/// The people who may open the cockpit in a browser: a file of "name:hash" lines, the hash being
/// libsodium's crypto_pwhash_str (salted, deliberately slow, memory-hard). The file is read again when
/// it changes (refresh(), cheap enough for every request) or on demand (SIGHUP): a changed password
/// works at once and the old one no longer does. A file that others than its owner may write is
/// refused. Thread-safe.
class UserAccounts {
public:
    /// Reads the file; false with a Portuguese message when it cannot be read, is writable by group or
    /// others, has a malformed line or no user.
    bool load(const QString& path, QString& error);
    /// Reads the file again when it is not the one read last (another inode, size or time), or always
    /// with force. False with a message when the new file is refused; the users read before stay.
    bool refresh(QString& error, bool force = false);
    int count() const;

    /// Whether password is name's. An unknown name costs as much as a known one, so the answer time
    /// does not tell names apart. Slow by design (some 64 MiB and a fraction of a second).
    bool verify(const QString& name, const QByteArray& password) const;
    /// What a session is tied to: the user's current hash, empty once the user is gone. A session made
    /// with another hash belongs to a password that was changed.
    QByteArray credential(const QString& name) const;

    /// Adds the user or changes their password in the file (created 0600 when missing), keeping the
    /// other lines. False with a message in error.
    static bool addUser(const QString& path, const QString& name, const QByteArray& password, QString& error);
    /// Takes the user out of the file. False with a message when the user is not there.
    static bool removeUser(const QString& path, const QString& name, QString& error);

private:
    struct Signature {
        quint64 device = 0, inode = 0, size = 0;
        qint64 modifiedNs = 0, changedNs = 0;
        bool operator==(const Signature&) const = default;
    };
    static bool read(const QString& path, QHash<QString, QByteArray>& hashes, Signature& signature, QString& error);

    mutable std::mutex m_mutex;
    QString m_path;
    Signature m_signature;
    Signature m_refused;   // a file already refused is not read (nor reported) again
    QHash<QString, QByteArray> m_hashes;
};

} // namespace appserver
