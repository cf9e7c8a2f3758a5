#include "auditlog.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace appserver {

namespace {

// A name typed at the sign-in page may be anything, up to the body's limit: the record keeps enough to
// recognise it.
constexpr qsizetype kMaxValueBytes = 200;

int openAppending(const QString& path, QString& error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0)
        error = QStringLiteral("Não foi possível abrir o arquivo de auditoria \"%1\": %2.")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return fd;
}

} // namespace

AuditLog::~AuditLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool AuditLog::open(const QString& path, QString& error)
{
    const int fd = openAppending(path, error);
    if (fd < 0)
        return false;
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    m_path = path;
    return true;
}

bool AuditLog::reopen(QString& error)
{
    QString path;
    {
        std::lock_guard lock(m_mutex);
        path = m_path;
    }
    return path.isEmpty() || open(path, error);
}

bool AuditLog::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_fd >= 0;
}

QByteArray AuditLog::quoted(const QString& value)
{
    // Escaped character by character, then cut at a whole one: every reader's line breaks and controls
    // (C0, DEL, C1 with NEL, the Unicode line and paragraph separators) become text, so no value starts a
    // line of its own for any reader, and a cut value is still UTF-8.
    bool plain = !value.isEmpty();
    bool cut = false;
    QByteArray out;
    for (const char32_t c : value.toUcs4()) {
        QByteArray piece;
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", unsigned(c));
            piece = hex;
        } else if (c == 0x2028 || c == 0x2029) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", unsigned(c));
            piece = hex;
        } else if (c == '"' || c == '\\') {
            piece = QByteArray("\\") + char(c);
        } else {
            piece = QString::fromUcs4(&c, 1).toUtf8();
            if (c == ' ' || c == '=')
                plain = false;
        }
        if (piece.size() > 1 && (piece.startsWith('\\')))
            plain = false;
        if (out.size() + piece.size() > kMaxValueBytes) {
            cut = true;
            break;
        }
        out += piece;
    }
    if (cut) {
        out += "...";
        plain = false;
    }
    return plain ? out : '"' + out + '"';
}

void AuditLog::record(const char* event, const Fields& fields)
{
    const QDateTime now = QDateTime::currentDateTime();
    // With the offset: a record is read beside other machines' and across a change of summer time.
    QByteArray line = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs).toUtf8() + ' ' + event;
    for (const auto& [name, value] : fields)
        line += ' ' + QByteArray(name) + '=' + quoted(value);
    line += '\n';
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return;
    // O_APPEND and one write: lines of several threads, and of a copytruncate, never interleave.
    for (qsizetype done = 0; done < line.size();) {
        const ssize_t n = ::write(m_fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
}

} // namespace appserver
