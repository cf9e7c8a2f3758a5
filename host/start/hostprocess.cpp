#include "hostprocess.h"

#include "presentation.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLocale>

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

#include <grpc/support/log.h>

namespace {

// The headless mode (and --help) must work on a machine without a display, so choose the offscreen
// platform there unless the user chose one.
void chooseOffscreenWithoutDisplay(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return;
    // A wall screen's --month is the month it shows: it needs the display it was started for.
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--kiosk")
            return;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.startsWith("--month") || arg.startsWith("--send-subscription") || arg == "--now" || arg.startsWith("--export") || arg == "--help" || arg == "-h" ||
            arg == "--version" || arg == "-v") {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return;
        }
    }
}

// gRPC writes its own diagnostics (a failed TLS handshake, for one) to standard error in English, beside
// the host's messages, which already say what went wrong. GRPC_VERBOSITY brings them back for a diagnosis.
void quietTransportLog()
{
    if (!qEnvironmentVariableIsSet("GRPC_VERBOSITY"))
        gpr_set_log_function([](gpr_log_func_args*) {});
}

// Qt's own remarks (a platform that cannot raise a window, a runtime folder it had to choose) are for
// developers: the user's terminal gets only real problems, in the host's words. KPD_QT_AVISOS=1 shows all.
void quietQtLog()
{
    if (qEnvironmentVariableIsSet("KPD_QT_AVISOS"))
        return;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "kpd-host: erro da biblioteca gráfica: %s\n", message.toUtf8().constData());
    });
}

// Qt wants a private runtime folder; without one (a service, a container, su) it names one itself, with a
// warning. One of the host's own, made private, keeps it quiet and safe.
void ensureRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QByteArray folder = QByteArray("/tmp/kpd-host-") + QByteArray::number(uint(getuid()));
    if ((::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST) && ::chmod(folder.constData(), 0700) == 0) {
        struct stat st {};
        if (::lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid())
            qputenv("XDG_RUNTIME_DIR", folder);
    }
}

} // namespace

void HostProcess::PrepareEnvironment(int argc, char* argv[])
{
    chooseOffscreenWithoutDisplay(argc, argv);
    quietTransportLog();
    quietQtLog();
    ensureRuntimeFolder();
}

void HostProcess::NameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("kpd"));
    QCoreApplication::setApplicationName(QStringLiteral("kpd-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KPD_VERSION));
    QLocale::setDefault(BrazilLocale());
}
