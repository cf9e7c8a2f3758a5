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

const QString kRegional = QStringLiteral("movimento_regional_mensal");
const QString kRegionalDaily = QStringLiteral("movimento_regional_diario");
const QString kRanking = QStringLiteral("ix_movimento_mensal_resultado");
const QString kStockRanking = QStringLiteral("ix_movimento_mensal_estoque");
const QString kStock = QStringLiteral("estoque_mensal");

struct TriggerName {
    QString name;
    QString table;
};

QList<TriggerName> triggerNames(const Database& db)
{
    const QString daily = QStringLiteral("movimento_diario");
    QList<TriggerName> names{{QStringLiteral("movimento_mensal_inclusao"), daily},
                             {QStringLiteral("movimento_mensal_exclusao"), daily},
                             {QStringLiteral("movimento_mensal_alteracao"), daily},
                             {QStringLiteral("movimento_regional_inclusao"), kTable},
                             {QStringLiteral("movimento_regional_exclusao"), kTable},
                             {QStringLiteral("movimento_regional_alteracao"), kTable},
                             {QStringLiteral("movimento_regional_filial"), QStringLiteral("filial")},
                             {QStringLiteral("movimento_regional_diario_inclusao"), daily},
                             {QStringLiteral("movimento_regional_diario_exclusao"), daily},
                             {QStringLiteral("movimento_regional_diario_alteracao"), daily},
                             {QStringLiteral("movimento_regional_diario_filial"), QStringLiteral("filial")},
                             {QStringLiteral("movimento_mensal_estoque_inclusao"), kStock},
                             {QStringLiteral("movimento_mensal_estoque_exclusao"), kStock},
                             {QStringLiteral("movimento_mensal_estoque_alteracao"), kStock}};
    if (db.isPostgres())
        names << TriggerName{QStringLiteral("movimento_mensal_esvaziamento"), daily}
              << TriggerName{QStringLiteral("movimento_regional_esvaziamento"), kTable}
              << TriggerName{QStringLiteral("movimento_regional_diario_esvaziamento"), daily}
              << TriggerName{QStringLiteral("movimento_mensal_estoque_esvaziamento"), kStock};
    else
        names << TriggerName{QStringLiteral("movimento_mensal_inclusao_anterior"), daily}
              << TriggerName{QStringLiteral("movimento_mensal_refazer_soma"), kToSum}
              << TriggerName{QStringLiteral("movimento_regional_diario_antes"), daily}
              << TriggerName{QStringLiteral("movimento_regional_diario_antes_alteracao"), daily};
    return names;
}

// The summary's triggers that are there and enabled (on PostgreSQL: always, so that a replication
// subscriber's rows are summed too).
QStringList presentTriggers(Database& db)
{
    QSqlQuery q = db.prepare(db.isPostgres()
                                 ? QStringLiteral("SELECT tgname FROM pg_trigger WHERE tgrelid IN (to_regclass('movimento_diario'), "
                                                  "to_regclass('movimento_mensal'), to_regclass('filial'), to_regclass('estoque_mensal')) "
                                                  "AND NOT tgisinternal AND tgenabled = 'A'")
                                 : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger' "
                                                  "AND tbl_name IN ('movimento_diario', 'movimento_mensal_refazer', "
                                                  "'movimento_mensal', 'filial', 'estoque_mensal')"));
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

// PostgreSQL: whether the summary's functions are the shipped file's. Their bodies name their tables with
// the schema; functions from before named them through the writer's search_path, which a loader's own
// schema of tables of the same names would turn to its tables, so they are made again.
bool postgresFunctionsCurrent(Database& db)
{
    static const QRegularExpression created(QStringLiteral("^CREATE\\s+FUNCTION\\s+(\\w+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    QHash<QString, QString> stored;
    QSqlQuery q = db.prepare(QStringLiteral("SELECT p.proname, p.prosrc FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
                                            "WHERE n.nspname = current_schema()"));
    Database::exec(q);
    while (q.next())
        stored.insert(q.value(0).toString(), Schema::normalized(q.value(1).toString()));
    for (const QString& statement : Schema::triggerStatements(db)) {
        const QRegularExpressionMatch m = created.match(statement);
        const qsizetype from = statement.indexOf(QLatin1String("$$"));
        const qsizetype to = statement.lastIndexOf(QLatin1String("$$"));
        if (m.hasMatch() && from >= 0 && to > from &&
            stored.value(m.captured(1)) != Schema::normalized(statement.mid(from + 2, to - from - 2)))
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
    db.execDirect(QStringLiteral("INSERT INTO movimento_mensal (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias, vrestoque) "
                                 "SELECT d.mes, d.cdfilial, d.vrfatliq, d.vrconsumo, d.vrmdo, d.vrdespesas, d.qtdias, e.vrestoque "
                                 "FROM (SELECT %1 AS mes, cdfilial, SUM(vrfatliq) AS vrfatliq, SUM(vrconsumo) AS vrconsumo, "
                                 "SUM(vrmdo) AS vrmdo, SUM(vrdespesas) AS vrdespesas, COUNT(*) AS qtdias "
                                 "FROM movimento_diario GROUP BY cdfilial, %1) d "
                                 "LEFT JOIN estoque_mensal e ON e.mes = d.mes AND e.cdfilial = d.cdfilial")
                      .arg(month));
}

// The region totals added up again from the summary: every month, or those of monthsTable (mes).
void sumRegions(Database& db, const QString& monthsTable)
{
    if (!hasTable(db, kRegional))
        return;
    const QString only = monthsTable.isEmpty() ? QString()
                                               : QStringLiteral(" WHERE mes IN (SELECT mes FROM %1)").arg(monthsTable);
    db.execDirect(QStringLiteral("DELETE FROM movimento_regional_mensal") + only);
    db.execDirect(QStringLiteral("INSERT INTO movimento_regional_mensal "
                                 "(mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas) "
                                 "SELECT m.mes, f.cdareagere, COUNT(*), SUM(m.vrfatliq), SUM(m.vrconsumo), SUM(m.vrmdo), "
                                 "SUM(m.vrdespesas) FROM (SELECT * FROM movimento_mensal%1) m "
                                 "JOIN filial f ON f.cdfilial = m.cdfilial WHERE m.qtdias > 0 GROUP BY m.mes, f.cdareagere")
                      .arg(only));
}

// Each day's region totals added up again from the daily rows: every day, or the days of the months of
// monthsTable (mes).
void sumRegionDays(Database& db, const QString& monthsTable)
{
    if (!hasTable(db, kRegionalDaily))
        return;
    const QString sum = QStringLiteral("INSERT INTO movimento_regional_diario (dtmovimento, cdareagere, qtfiliais, vrfatliq) "
                                       "SELECT d.dtmovimento, f.cdareagere, COUNT(*), SUM(d.vrfatliq) FROM movimento_diario d "
                                       "JOIN filial f ON f.cdfilial = d.cdfilial%1 GROUP BY d.dtmovimento, f.cdareagere");
    if (monthsTable.isEmpty()) {
        db.execDirect(QStringLiteral("DELETE FROM movimento_regional_diario"));
        db.execDirect(sum.arg(QString()));
        return;
    }
    QList<QDate> months;
    db.forEachRow(QStringLiteral("SELECT DISTINCT mes FROM %1").arg(monthsTable), {},
                  [&](const Database::Row& row) { months << row.date(0); });
    // A month's days are one range of both tables' leading column.
    for (const QDate& month : months) {
        const QVariantList range{db.dateValue(month), db.dateValue(month.addMonths(1))};
        QSqlQuery clear = db.prepare(QStringLiteral("DELETE FROM movimento_regional_diario WHERE dtmovimento >= ? AND dtmovimento < ?"));
        for (const QVariant& v : range)
            clear.addBindValue(v);
        Database::exec(clear);
        QSqlQuery add = db.prepare(sum.arg(QStringLiteral(" WHERE d.dtmovimento >= ? AND d.dtmovimento < ?")));
        for (const QVariant& v : range)
            add.addBindValue(v);
        Database::exec(add);
    }
}

// The stock copied beside the sums came with the ranking of days of stock: a summary from before has no
// column for it.
bool hasStockCopy(Database& db)
{
    QSqlQuery q = db.prepare(db.isPostgres()
                                 ? QStringLiteral("SELECT COUNT(*) FROM information_schema.columns WHERE table_schema = current_schema() "
                                                  "AND table_name = 'movimento_mensal' AND column_name = 'vrestoque'")
                                 : QStringLiteral("SELECT COUNT(*) FROM pragma_table_info('movimento_mensal') WHERE name = 'vrestoque'"));
    Database::exec(q);
    return q.next() && q.value(0).toInt() > 0;
}

bool hasIndex(Database& db, const QString& name)
{
    QSqlQuery q = db.prepare(db.isPostgres() ? QStringLiteral("SELECT to_regclass(?) IS NOT NULL")
                                             : QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = ?"));
    q.addBindValue(name);
    Database::exec(q);
    return q.next() && q.value(0).toBool();
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
    for (const TriggerName& t : triggerNames(db)) {
        if (!present.contains(t.name, Qt::CaseInsensitive))
            return State::Missing;
    }
    if (!hasTable(db, kRegional) || !hasTable(db, kRegionalDaily) || !hasStockCopy(db) || !hasIndex(db, kRanking)
        || !hasIndex(db, kStockRanking))
        return State::Missing;
    if (db.isPostgres() && !postgresFunctionsCurrent(db))
        return State::Missing;
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
    if (daily != counted)
        return State::OutOfStep;
    // Likewise every branch-month with figures is counted once in its region's totals.
    const qint64 branchMonths = scalar(db, QStringLiteral("SELECT COUNT(*) FROM movimento_mensal m JOIN filial f "
                                                          "ON f.cdfilial = m.cdfilial WHERE m.qtdias > 0"));
    const qint64 inRegions = scalar(db, QStringLiteral("SELECT COALESCE(SUM(qtfiliais), 0) FROM movimento_regional_mensal"));
    if (branchMonths != inRegions)
        return State::OutOfStep;
    // And every daily row of a known branch once in its region's day (counted through the summary, which
    // was just found to count every daily row).
    const qint64 branchDays = scalar(db, QStringLiteral("SELECT COALESCE(SUM(m.qtdias), 0) FROM movimento_mensal m JOIN filial f "
                                                        "ON f.cdfilial = m.cdfilial"));
    const qint64 inRegionDays = scalar(db, QStringLiteral("SELECT COALESCE(SUM(qtfiliais), 0) FROM movimento_regional_diario"));
    return branchDays == inRegionDays ? State::InStep : State::OutOfStep;
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
        if (!hasStockCopy(db))
            db.execDirect(QStringLiteral("ALTER TABLE movimento_mensal ADD COLUMN vrestoque NUMERIC"));
        // Made again as a whole: a half set (or a disabled one) would miss some kinds of writes.
        for (const TriggerName& t : triggerNames(db)) {
            if (!db.isPostgres())
                db.execDirect(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(t.name));
            else if (hasTable(db, t.table))
                db.execDirect(QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(t.name, t.table));
        }
        if (db.isPostgres()) {
            for (const char* function : {"movimento_mensal_soma", "movimento_regional_soma", "movimento_regional_filial",
                                         "movimento_regional_diario_soma", "movimento_regional_diario_filial",
                                         "movimento_mensal_estoque"})
                db.execDirect(QStringLiteral("DROP FUNCTION IF EXISTS %1()").arg(QLatin1String(function)));
        }
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
    // SQLite's region triggers stand aside as for a load: the totals are added up once below instead.
    const bool asideOnSqlite = keptBySqlite(db);
    if (asideOnSqlite)
        db.execDirect(QStringLiteral("INSERT INTO movimento_mensal_carga (ativa) VALUES (1)"));
    insertAllSums(db);
    sumRegions(db, QString());
    sumRegionDays(db, QString());
    if (asideOnSqlite)
        db.execDirect(QStringLiteral("DELETE FROM movimento_mensal_carga"));
    // Answers kept from the sums before were computed from what may have been out of step.
    DataVersion::bump(db);
    if (db.isPostgres())
        db.execDirect(QStringLiteral("ANALYZE movimento_mensal, movimento_regional_mensal, movimento_regional_diario"));
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
    sumRegions(db, monthsTable);
    sumRegionDays(db, monthsTable);
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
