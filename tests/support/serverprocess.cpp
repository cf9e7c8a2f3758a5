#include "serverprocess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

ServerProcess::~ServerProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool ServerProcess::start(const QStringList& extraArgs, QString* error, int port)
{
    m_process.start(m_program.isEmpty() ? QStringLiteral(KPD_APPSERVER_BIN) : m_program,
                    extraArgs + QStringList{"--listen", QStringLiteral("127.0.0.1:%1").arg(port)});
    if (!m_process.waitForStarted(10000)) {
        if (error)
            *error = m_process.errorString();
        return false;
    }
    // The server reports the port it was given, so parallel tests never race for one.
    static const QRegularExpression re(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QByteArray& out = m_stdout;
    out.clear();
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        m_process.waitForReadyRead(200);
        out += m_process.readAllStandardOutput();
        const auto match = re.match(QString::fromUtf8(out));
        if (match.hasMatch()) {
            m_port = match.captured(1).toInt();
            return true;
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
    }
    if (error)
        *error = QStringLiteral("o servidor não informou a porta: %1").arg(QString::fromUtf8(m_process.readAllStandardError()));
    return false;
}

int ServerProcess::httpPort() const
{
    // Printed in the same write as the gRPC port.
    static const QRegularExpression re(QStringLiteral(" em https?://[^ ]*:(\\d+)/"));
    const auto match = re.match(QString::fromUtf8(m_stdout));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

bool ServerProcess::stop()
{
    m_process.terminate();
    const bool finished = m_process.waitForFinished(10000);
    m_stderr += m_process.readAllStandardError();
    if (finished && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0)
        return true;
    qWarning("kpd-appserver %s (status %d, code %d); its log:\n%s", finished ? "stopped badly" : "did not stop",
             int(m_process.exitStatus()), m_process.exitCode(), m_stderr.right(2000).constData());
    return false;
}

QString ServerProcess::log()
{
    m_stderr += m_process.readAllStandardError();
    return QString::fromUtf8(m_stderr);
}
