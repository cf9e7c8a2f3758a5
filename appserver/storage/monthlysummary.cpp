#include "monthlysummary.h"

#include "database.h"
#include "schema.h"

#include <QSqlQuery>
#include <QStringList>

namespace appserver {

namespace {

const QString kTable = QStringLiteral("movimento_mensal");
const QString kLoadFlag = QStringLiteral("movimento_mensal_carga");   // SQLite: a bulk load in progress

QStringList triggerNames(const Database& db)
{
    QStringList names{QStringLiteral("movimento_mensal_inclusao"), QStringLiteral("movimento_mensal_exclusao"),
                      QStringLiteral("movimento_mensal_alteracao")};
    if (db.isPostgres())
        names << QStringLiteral("movimento_mensal_esvaziamento");
    else
        names << QStringLiteral("movimento_mensal_inclusao_anterior");
    return names;
}

// The summary's triggers on movimento_diario that are there and enabled.
QStringList presentTriggers(Database& db)
{
    QSqlQuery q = db.prepare(db.isPostgres()
                                 ? QStringLiteral("SELECT tgname FROM pg_trigger WHERE tgrelid = to_regclass('movimento_diario') "
                                                  "AND NOT tgisinternal AND tgenabled <> 'D'")
                                 : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger' "
                                                  "AND tbl_name = 'movimento_diario'"));
    Database::exec(q);
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

// A view of the same name is read, but takes no triggers.
bool hasTable(Database& db, const QString& name)
{
    return Schema::relation(db, name) == Schema::Relation::Table;
}

// The one place the server sums daily rows into the summary's branch-months (the engines' triggers keep
// them in step between sums): the rows of `days` (movimento_diario as d, filtered or joined as the caller
// needs), grouped by `groupBy`. SQLite adds a month's rows in the order the plan reads them, date order
// through the primary key, as its triggers do, so both give the same sums to the last bit.
void insertSums(Database& db, const QString& month, const QString& branch, const QString& days, const QString& groupBy)
{
    db.execDirect(QStringLiteral("INSERT INTO movimento_mensal (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias) "
                                 "SELECT %1, %2, SUM(d.vrfatliq), SUM(d.vrconsumo), SUM(d.vrmdo), SUM(d.vrdespesas), COUNT(*) "
                                 "FROM %3 GROUP BY %4")
                      .arg(month, branch, days, groupBy));
}

// Whether a load has a summary to keep on SQLite: a bare schema may lack it (kpd-appserver makes it
// before a load).
bool keptBySqlite(Database& db)
{
    return db.isSqlite() && hasTable(db, kTable) && hasTable(db, kLoadFlag);
}

qint64 scalar(Database& db, const QString& sql)
{
    QSqlQuery q = db.prepare(sql);
    Database::exec(q);
    return q.next() ? q.value(0).toLongLong() : 0;
}

} // namespace

MonthlySummary::State MonthlySummary::check(Database& db)
{
    if (!hasTable(db, QStringLiteral("movimento_diario")))
        return State::Unavailable;
    if (!hasTable(db, kTable))
        return State::Missing;
    const QStringList present = presentTriggers(db);
    for (const QString& name : triggerNames(db)) {
        if (!present.contains(name, Qt::CaseInsensitive))
            return State::Missing;
    }
    if (db.isSqlite()) {
        if (!hasTable(db, kLoadFlag))
            return State::Missing;
        // Only a load's own transaction ever holds a row here.
        if (scalar(db, QStringLiteral("SELECT COUNT(*) FROM movimento_mensal_carga")) != 0)
            return State::OutOfStep;
    }
    // Every daily row is counted once: a write made while the triggers were off (or dropped and
    // made again) shows as a difference.
    const qint64 daily = scalar(db, QStringLiteral("SELECT COUNT(*) FROM movimento_diario"));
    const qint64 counted = scalar(db, QStringLiteral("SELECT COALESCE(SUM(qtdias), 0) FROM movimento_mensal"));
    return daily == counted ? State::InStep : State::OutOfStep;
}

void MonthlySummary::install(Database& db)
{
    if (!hasTable(db, QStringLiteral("movimento_diario")))
        throw DatabaseError(QStringLiteral("O resumo mensal precisa da tabela movimento_diario, que não está em \"%1\" "
                                           "(ou é uma visão, onde não cabem gatilhos).")
                                .arg(db.settings().displayName()));
    db.beginTransaction();
    try {
        if (db.isPostgres())   // two servers starting over one database install it once
            db.execDirect(QStringLiteral("LOCK TABLE movimento_diario IN SHARE ROW EXCLUSIVE MODE"));
        if (!hasTable(db, kTable)) {
            for (const QString& statement : Schema::statements()) {
                if (statement.contains(QStringLiteral("movimento_mensal")))
                    db.execDirect(statement);
            }
        }
        // Made again as a whole: a half set (or a disabled one) would miss some kinds of writes.
        for (const QString& name : triggerNames(db)) {
            db.execDirect(db.isPostgres() ? QStringLiteral("DROP TRIGGER IF EXISTS %1 ON movimento_diario").arg(name)
                                          : QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name));
        }
        if (db.isPostgres())
            db.execDirect(QStringLiteral("DROP FUNCTION IF EXISTS movimento_mensal_soma()"));
        for (const QString& statement : Schema::triggerStatements(db))
            db.execDirect(statement);
        rebuild(db);
        db.commit();
    } catch (const DatabaseError&) {
        db.rollback();
        throw;
    }
}

void MonthlySummary::rebuild(Database& db)
{
    const QString month = db.isPostgres() ? QStringLiteral("date_trunc('month', d.dtmovimento)::date")
                                          : QStringLiteral("date(d.dtmovimento, 'start of month')");
    db.execDirect(QStringLiteral("DELETE FROM movimento_mensal"));
    if (db.isSqlite() && hasTable(db, kLoadFlag))
        db.execDirect(QStringLiteral("DELETE FROM movimento_mensal_carga"));
    insertSums(db, month, QStringLiteral("d.cdfilial"), QStringLiteral("movimento_diario d"),
               QStringLiteral("d.cdfilial, %1").arg(month));
    if (db.isPostgres())
        db.execDirect(QStringLiteral("ANALYZE movimento_mensal"));
}

void MonthlySummary::beginLoad(Database& db)
{
    // Only the load's own transaction ever sees this row (docs/schema-sqlite.sql).
    if (keptBySqlite(db))
        db.execDirect(QStringLiteral("INSERT INTO movimento_mensal_carga (ativa) VALUES (1)"));
}

void MonthlySummary::endLoad(Database& db, const QString& monthsTable)
{
    if (!keptBySqlite(db))
        return;
    db.execDirect(QStringLiteral("DELETE FROM movimento_mensal WHERE EXISTS (SELECT 1 FROM %1 s "
                                 "  WHERE s.cdfilial = movimento_mensal.cdfilial AND s.mes = movimento_mensal.mes)")
                      .arg(monthsTable));
    insertSums(db, QStringLiteral("s.mes"), QStringLiteral("s.cdfilial"),
               QStringLiteral("%1 s JOIN movimento_diario d "
                              "  ON d.cdfilial = s.cdfilial AND d.dtmovimento >= s.mes AND d.dtmovimento < s.mesfim")
                   .arg(monthsTable),
               QStringLiteral("s.cdfilial, s.mes"));
    db.execDirect(QStringLiteral("DELETE FROM movimento_mensal_carga"));
}

qint64 MonthlySummary::rows(Database& db)
{
    return scalar(db, QStringLiteral("SELECT COUNT(*) FROM movimento_mensal"));
}

QString MonthlySummary::describe(State state)
{
    switch (state) {
    case State::InStep: return QStringLiteral("em dia");
    case State::Missing: return QStringLiteral("ausente");
    case State::OutOfStep: return QStringLiteral("fora de compasso com movimento_diario");
    case State::Unavailable: return QStringLiteral("indisponível (movimento_diario não é uma tabela deste banco)");
    }
    return {};
}

} // namespace appserver
