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
    QByteArray utf8 = value.toUtf8();
    const bool cut = utf8.size() > kMaxValueBytes;
    if (cut)
        utf8.truncate(kMaxValueBytes);
    bool plain = !utf8.isEmpty() && !cut;
    QByteArray out;
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
            plain = false;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
            plain = false;
        } else {
            if (c == ' ' || c == '=')
                plain = false;
            out += ch;
        }
    }
    if (cut)
        out += "...";
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
