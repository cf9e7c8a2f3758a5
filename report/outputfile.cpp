#include "outputfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString SystemErrorText(int errorNumber)
{
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT: return QStringLiteral("não há espaço livre no disco");
    case EACCES:
    case EPERM: return QStringLiteral("permissão negada");
    case ENOENT: return QStringLiteral("a pasta não existe");
    case ENOTDIR: return QStringLiteral("uma parte do caminho não é uma pasta");
    case EISDIR: return QStringLiteral("o caminho é uma pasta");
    case EROFS: return QStringLiteral("o sistema de arquivos é somente leitura");
    case ENAMETOOLONG: return QStringLiteral("o nome é longo demais");
    case EIO: return QStringLiteral("erro de entrada e saída no disco");
    case EFBIG: return QStringLiteral("o arquivo excede o tamanho permitido");
    default: return QStringLiteral("erro do sistema %1 (%2)").arg(errorNumber).arg(QString::fromLocal8Bit(std::strerror(errorNumber)));
    }
}

namespace {

bool writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

bool WriteOutputFile(const QString& path, const QByteArray& data, QString* error)
{
    const QByteArray target = QFile::encodeName(path);
    const auto fail = [&](int errorNumber) {
        *error = QStringLiteral("não foi possível gravar %1: %2").arg(path, SystemErrorText(errorNumber));
        return false;
    };

    struct stat st {};
    if (::stat(target.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            return fail(EISDIR);
        const int fd = ::open(target.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0)
            return fail(errno);
        const bool ok = writeAll(fd, data);
        const int writeError = errno;
        if (::close(fd) != 0 && ok)
            return fail(errno);
        return ok ? true : fail(writeError);
    }

    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return fail(errno);
    // mkstemp's 0600 would outlive the rename: the file gets the mode any new file of this user gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    const bool written = writeAll(fd, data) && ::fsync(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    const int closeError = errno;
    if (!written || !closed || ::rename(temporary.constData(), target.constData()) != 0) {
        const int reason = !written ? writeError : !closed ? closeError : errno;
        ::unlink(temporary.constData());
        return fail(reason);
    }
    return true;
}
