#pragma once

#include <QString>
#include <QTemporaryDir>

/// A throwaway PostgreSQL cluster for one test program, run through scripts/pg-cluster.sh: created
/// in a temporary folder under /tmp (which the server's own user can always reach, whatever TMPDIR
/// says) on a free loopback port, removed with this object.
class PgCluster {
public:
    PgCluster();
    ~PgCluster();

    /// Creates (first time) and starts the server. False with the script's message in error.
    bool start(QString* error = nullptr);
    /// Stops the server, keeping its data and port for the next start.
    bool stop(QString* error = nullptr);

    /// postgresql://postgres@127.0.0.1:PORT/kpd
    const QString& uri() const { return m_uri; }
    /// Runs SQL through psql on the cluster's database; the output of -At. False on failure.
    bool psql(const QString& sql, QString* output = nullptr);

private:
    bool script(const QString& action, QString* output, QString* error);

    QTemporaryDir m_parent;
    QString m_dir;
    QString m_uri;
};
