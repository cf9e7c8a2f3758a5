#include "monthlysummary.h"

#include "database.h"
#include "dataversion.h"
#include "schema.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStringList>

namespace appserver {

namespace {

const QString kTable = QStringLiteral("movimento_mensal");
const QString kLoadFlag = QStringLiteral("movimento_mensal_carga");   // SQLite: a bulk load in progress
const QString kToSum = QStringLiteral("movimento_mensal_refazer");    // SQLite: branch-months to sum again

QStringList triggerNames(const Database& db)
{
    QStringList names{QStringLiteral("movimento_mensal_inclusao"), QStringLiteral("movimento_mensal_exclusao"),
                      QStringLiteral("movimento_mensal_alteracao")};
    if (db.isPostgres())
        names << QStringLiteral("movimento_mensal_esvaziamento");
    else
        names << QStringLiteral("movimento_mensal_inclusao_anterior") << QStringLiteral("movimento_mensal_refazer_soma");
    return names;
}

// The summary's triggers on movimento_diario that are there and enabled (on PostgreSQL: always, so that a
// replication subscriber's rows are summed too).
QStringList presentTriggers(Database& db)
{
    QSqlQuery q = db.prepare(db.isPostgres()
                                 ? QStringLiteral("SELECT tgname FROM pg_trigger WHERE tgrelid = to_regclass('movimento_diario') "
                                                  "AND NOT tgisinternal AND tgenabled = 'A'")
                                 : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger' "
                                                  "AND tbl_name IN ('movimento_diario', 'movimento_mensal_refazer')"));
    Database::exec(q);
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

bool sqliteTriggersCurrent(Database& db)
{
    static const QRegularExpression created(QStringLiteral("^CREATE\\s+TRIGGER\\s+(\\w+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    QHash<QString, QString> stored;
    QSqlQuery q = db.prepare(QStringLiteral("SELECT lower(name), sql FROM sqlite_master WHERE type = 'trigger'"));
    Database::exec(q);
    while (q.next())
        stored.insert(q.value(0).toString(), Schema::normalized(q.value(1).toString()));
    for (const QString& statement : Schema::triggerStatements(db)) {
        const QRegularExpressionMatch m = created.match(statement);
        if (m.hasMatch() && stored.value(m.captured(1).toLower()) != Schema::normalized(statement))
            return false;
    }
    return true;
}

// A view of the same name is read, but takes no triggers.
bool hasTable(Database& db, const QString& name)
{
    return Schema::relation(db, name) == Schema::Relation::Table;
}

// Every branch-month summed from its daily rows at once, as a rebuild does; between rebuilds the engine's
// triggers keep them (on SQLite one trigger sums a branch-month again, with the same statement's
// arithmetic: a month's rows added in date order, as the primary key reads them, so both give the same
// sums to the last bit).
void insertAllSums(Database& db)
{
    const QString month = db.isPostgres() ? QStringLiteral("date_trunc('month', dtmovimento)::date")
                                          : QStringLiteral("date(dtmovimento, 'start of month')");
    db.execDirect(QStringLiteral("INSERT INTO movimento_mensal (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias) "
                                 "SELECT %1, cdfilial, SUM(vrfatliq), SUM(vrconsumo), SUM(vrmdo), SUM(vrdespesas), COUNT(*) "
                                 "FROM movimento_diario GROUP BY cdfilial, %1")
                      .arg(month));
}

// Whether a load has a summary to keep on SQLite: a bare schema may lack it (kpd-appserver makes it
// before a load).
bool keptBySqlite(Database& db)
{
    return db.isSqlite() && hasTable(db, kTable) && hasTable(db, kLoadFlag) && hasTable(db, kToSum);
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
        if (!hasTable(db, kLoadFlag) || !hasTable(db, kToSum) || !sqliteTriggersCurrent(db))
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

bool MonthlySummary::install(Database& db)
{
    if (!hasTable(db, QStringLiteral("movimento_diario")))
        throw DatabaseError(QStringLiteral("O resumo mensal precisa da tabela movimento_diario, que não está em \"%1\" "
                                           "(ou é uma visão, onde não cabem gatilhos).")
                                .arg(db.settings().displayName()));
    // Two servers starting over one database install it once: the second waits for the first's lock,
    // then finds the summary in step and leaves it.
    db.beginWriting();
    try {
        if (db.isPostgres())
            db.execDirect(QStringLiteral("LOCK TABLE movimento_diario IN SHARE ROW EXCLUSIVE MODE"));
        if (check(db) == State::InStep) {
            db.commit();
            return false;
        }
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
    return true;
}

void MonthlySummary::rebuild(Database& db)
{
    db.execDirect(QStringLiteral("DELETE FROM movimento_mensal"));
    if (db.isSqlite()) {
        for (const QString& table : {kLoadFlag, kToSum}) {
            if (hasTable(db, table))
                db.execDirect(QStringLiteral("DELETE FROM %1").arg(table));
        }
    }
    insertAllSums(db);
    // Answers kept from the sums before were computed from what may have been out of step.
    DataVersion::bump(db);
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
    // Summed by the schema's own trigger, as any other write's branch-months are.
    db.execDirect(QStringLiteral("INSERT INTO movimento_mensal_refazer (mes, cdfilial) SELECT mes, cdfilial FROM %1")
                      .arg(monthsTable));
    db.execDirect(QStringLiteral("DELETE FROM movimento_mensal_carga"));
    // The daily rows' version triggers stood aside too: one change for the whole load.
    DataVersion::bump(db);
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
