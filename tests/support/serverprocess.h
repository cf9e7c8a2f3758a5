#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

/// A kpd-appserver child process listening on a free loopback port.
class ServerProcess {
public:
    ~ServerProcess();
    /// Another kpd-appserver build to start (a benchmark's earlier version); this build's by default.
    void setProgram(const QString& program) { m_program = program; }
    /// Starts the server with extraArgs plus "--listen 127.0.0.1:PORT" (0: a free one) and waits for its port.
    bool start(const QStringList& extraArgs, QString* error = nullptr, int port = 0);
    /// SIGTERM, then waits; true when it ended by itself with exit code 0.
    bool stop();

    int port() const { return m_port; }
    /// The port of the HTTP face (--http or --metrics-only) as the server reported it; 0 without one.
    int httpPort() const;
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    /// Everything written on stderr so far.
    QString log();
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_program;
    QByteArray m_stderr;
    QByteArray m_stdout;
    int m_port = 0;
};
