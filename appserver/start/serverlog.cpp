#include "serverlog.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace appserver {

void ServerLog::fail(const QString& message)
{
    std::fprintf(stderr, "kpd-appserver: %s\n", message.toUtf8().constData());
}

bool ServerLog::open(const QString& path, QString& error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0 || ::dup2(fd, STDERR_FILENO) < 0) {
        error = QStringLiteral("Não foi possível abrir o arquivo de registro \"%1\": %2.")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

} // namespace appserver
