#include "pgcluster.h"

#include <QFile>
#include <QProcess>

PgCluster::PgCluster() : m_parent(QStringLiteral("/tmp/kpd-pg-XXXXXX"))
{
    // The server runs as another user when the tests run as root: it must be able to reach the folder.
    QFile::setPermissions(m_parent.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup
                                               | QFile::ExeOther);
    m_dir = m_parent.filePath(QStringLiteral("pg"));
}

PgCluster::~PgCluster()
{
    script(QStringLiteral("destroy"), nullptr, nullptr);
}

bool PgCluster::script(const QString& action, QString* output, QString* error)
{
    QProcess p;
    p.start(QStringLiteral(KPD_PG_CLUSTER_SCRIPT), {action, m_dir});
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        if (error)
            *error = QStringLiteral("pg-cluster.sh %1 did not finish").arg(action);
        return false;
    }
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("pg-cluster.sh %1 failed: %2").arg(action, QString::fromUtf8(p.readAllStandardError()));
        return false;
    }
    return true;
}

bool PgCluster::start(QString* error)
{
    QString out;
    if (!script(QStringLiteral("start"), &out, error))
        return false;
    m_uri = out.section(QLatin1Char('\n'), -1);
    return !m_uri.isEmpty();
}

bool PgCluster::stop(QString* error)
{
    return script(QStringLiteral("stop"), nullptr, error);
}

bool PgCluster::psql(const QString& sql, QString* output)
{
    QProcess p;
    p.start(QStringLiteral("psql"), {m_uri, QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                                     QStringLiteral("-qAt"), QStringLiteral("-c"), sql});
    if (!p.waitForFinished(60000))
        return false;
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
