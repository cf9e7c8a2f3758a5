#include "cockpitdatabase.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

CockpitDatabase::CockpitDatabase(const QString& path)
    : m_path(path), m_connection(QUuid::createUuid().toString())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
}

CockpitDatabase::~CockpitDatabase()
{
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool CockpitDatabase::create()
{
    QFile file(QStringLiteral(KPD_SCHEMA_SQL));
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = file.errorString();
        return false;
    }
    QString script = QString::fromUtf8(file.readAll());
    // The published script is the schema: run it as it is, statement by statement, without its comments.
    script.remove(QRegularExpression(QStringLiteral("--[^\n]*")));
    for (const QString& statement : script.split(QLatin1Char(';'))) {
        if (!statement.trimmed().isEmpty() && !exec(statement))
            return false;
    }
    return true;
}

bool CockpitDatabase::addRegion(const QString& code, const QString& name)
{
    return exec(QStringLiteral("INSERT INTO regional VALUES (?, ?)"), {code, name.isEmpty() ? code : name});
}

bool CockpitDatabase::addBranch(int branch, const QString& name, const QString& region)
{
    return exec(QStringLiteral("INSERT INTO filial VALUES (?, ?, ?)"), {branch, name, region});
}

bool CockpitDatabase::addDay(int branch, const QDate& day, double revenue, double consumption, double labour,
                             double expenses)
{
    return exec(QStringLiteral("INSERT INTO movimento_diario VALUES (?, ?, ?, ?, ?, ?)"),
                {branch, day.toString(Qt::ISODate), revenue, consumption, labour, expenses});
}

bool CockpitDatabase::addMonth(int branch, const QDate& day, double revenue, double consumptionPct,
                               double labourPct, double expensesPct)
{
    return addDay(branch, day, revenue, revenue * consumptionPct / 100.0, revenue * labourPct / 100.0,
                  revenue * expensesPct / 100.0);
}

bool CockpitDatabase::addLoad(const QString& timestamp)
{
    return exec(QStringLiteral("INSERT INTO carga_etl VALUES (?)"), {timestamp});
}

bool CockpitDatabase::addTarget(const QDate& month, const QString& scope, const QString& indicator, double value)
{
    return exec(QStringLiteral("INSERT INTO meta_mensal VALUES (?, ?, ?, ?)"), {month.toString(Qt::ISODate), scope, indicator, value});
}

bool CockpitDatabase::exec(const QString& sql, const QVariantList& values)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    if (!db.isOpen()) {
        m_error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    if (!q.prepare(sql)) {
        m_error = q.lastError().text() + QStringLiteral(": ") + sql;
        return false;
    }
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        m_error = q.lastError().text() + QStringLiteral(": ") + sql;
        return false;
    }
    return true;
}
