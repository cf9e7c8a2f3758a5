#include "demoserver.h"

#include "hostfunctions.h"

#include <QDate>
#include <QFile>
#include <QProcess>

#include <cstdio>

QString DemoServerLogPath(const QString& logName)
{
    return QStringLiteral(KPD_BENCH_CACHE_DIR "/") + logName;
}

bool StartDemoServer(ServerProcess& server, const QString& logName, const QStringList& extraArgs)
{
    const QString db = QStringLiteral(KPD_BENCH_CACHE_DIR "/demo-%1.db")
                           .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM")));
    if (!QFile::exists(db)) {
        QProcess init;
        init.start(QStringLiteral(KPD_APPSERVER_BIN), {QStringLiteral("--init-demo"), db});
        if (!init.waitForFinished(120000) || init.exitCode() != 0) {
            std::fprintf(stderr, "kpd-appserver --init-demo falhou: %s\n", init.readAllStandardError().constData());
            QFile::remove(db);
            return false;
        }
    }
    server.process().setStandardErrorFile(DemoServerLogPath(logName));
    QString error;
    if (!server.start(QStringList{QStringLiteral("--db"), db} + extraArgs, &error)) {
        std::fprintf(stderr, "o servidor não iniciou: %s\n", qPrintable(error));
        return false;
    }
    const int port = server.port();
    SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [port] { return port; });
    return true;
}
