#pragma once

#include <QString>

#include <mutex>
#include <utility>
#include <vector>

namespace appserver {

/// Who signed in and what they saw and took, one line per event in a file of its own (--audit):
/// "2026-12-08T17:40:00.123+00:00 evento campo=valor ...". Values from outside are quoted and escaped
/// (no line of their own, no field of their own); no password is ever a field. The file is appended to
/// and reopened by reopen() (SIGHUP, after a rotation moved it). Thread-safe; a line is one write(2).
class AuditLog {
public:
    AuditLog() = default;
    ~AuditLog();
    AuditLog(const AuditLog&) = delete;
    AuditLog& operator=(const AuditLog&) = delete;

    /// Opens (creating 0640) and appends; false with a Portuguese message.
    bool open(const QString& path, QString& error);
    /// The same path again, for a rotated file; false with a message, the old descriptor kept.
    bool reopen(QString& error);
    bool isOpen() const;

    using Fields = std::vector<std::pair<const char*, QString>>;
    /// One event; nothing when no file is open.
    void record(const char* event, const Fields& fields);

    /// A field's value as written: bare when plain, otherwise in quotes with \" and \\, \xNN for C0, DEL and C1
    /// (NEL among them) and \uNNNN for U+2028 and U+2029; cut after escaping to 200 bytes at a whole
    /// character, with "...".
    static QByteArray quoted(const QString& value);

private:
    mutable std::mutex m_mutex;
    QString m_path;
    int m_fd = -1;
};

} // namespace appserver
