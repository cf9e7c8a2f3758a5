#pragma once

#include "database.h"
#include "schema.h"

#include <QString>
#include <QTemporaryDir>

// A database whose daily figures are a view that counts up to lentidao.passos before finding no row:
// a statement as slow as that number says, which stops at any step like a real one. Set to 0, the month
// comes back empty. Needs the app server's storage (kpdappserver).
namespace slowdatabase {

inline void setSteps(const QString& path, qint64 steps)
{
    appserver::Database db(appserver::DatabaseSettings::sqliteFile(path, false));
    db.execDirect(QStringLiteral("UPDATE lentidao SET passos = %1").arg(steps));
}

inline QString create(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name + QStringLiteral(".db"));
    appserver::Database db(appserver::DatabaseSettings::sqliteFile(path, false));
    appserver::Schema::create(db);
    db.execDirect(QStringLiteral("DROP TABLE movimento_diario"));
    db.execDirect(QStringLiteral("CREATE TABLE lentidao (passos INTEGER NOT NULL)"));
    db.execDirect(QStringLiteral("INSERT INTO lentidao VALUES (4000000000)"));
    db.execDirect(QStringLiteral(
        "CREATE VIEW movimento_diario AS "
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < (SELECT passos FROM lentidao)) "
        "SELECT 1 AS cdfilial, '2024-03-01' AS dtmovimento, 1.0 AS vrfatliq, 0.0 AS vrconsumo, 0.0 AS vrmdo, "
        "0.0 AS vrdespesas FROM n WHERE i = 0"));
    return path;
}

} // namespace slowdatabase
