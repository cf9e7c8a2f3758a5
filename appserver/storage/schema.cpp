#include "schema.h"

#include "database.h"
#include "dataversion.h"
#include "monthlysummary.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>

static void initSchemaResource()
{
    // The resource sits in a static library; nothing else would pull its registration in.
    Q_INIT_RESOURCE(appserver);
}

namespace appserver {

namespace {

bool isIndex(const QString& statement)
{
    static const QRegularExpression re(QStringLiteral("^CREATE\\s+(UNIQUE\\s+)?INDEX\\b"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(statement).hasMatch();
}

} // namespace

const QStringList& Schema::tableNames()
{
    static const QStringList names{QStringLiteral("regional"), QStringLiteral("filial"),
                                   QStringLiteral("movimento_diario"), QStringLiteral("estoque_mensal"),
                                   QStringLiteral("carga_etl")};
    return names;
}

namespace {

QString resourceText(const QString& name)
{
    initSchemaResource();
    QFile file(QStringLiteral(":/kpd/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(QStringLiteral("O esquema do banco de dados não foi incluído no programa."));
    return QString::fromUtf8(file.readAll());
}

} // namespace

QStringList Schema::split(QString script)
{
    static const QRegularExpression comment(QStringLiteral("--[^\n]*"));
    static const QRegularExpression triggerBody(QStringLiteral("^CREATE\\s+TRIGGER\\b.*\\bBEGIN\\b"),
                                                QRegularExpression::CaseInsensitiveOption
                                                    | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression bodyEnd(QStringLiteral("\\bEND\\s*;$"), QRegularExpression::CaseInsensitiveOption);
    script.remove(comment);
    QStringList result;
    QString current;
    const auto flush = [&] {
        const QString statement = current.trimmed();
        if (!statement.isEmpty()) {
            // The separator is not part of a statement, but a trigger body's own END is.
            result << (statement.endsWith(QLatin1Char(';')) ? statement.chopped(1).trimmed() : statement);
        }
        current.clear();
    };
    for (const QString& line : script.split(QLatin1Char('\n'))) {
        current += line + QLatin1Char('\n');
        const QString sofar = current.trimmed();
        if (!sofar.endsWith(QLatin1Char(';')))
            continue;
        if (sofar.count(QStringLiteral("$$")) % 2 != 0)
            continue;
        if (triggerBody.match(sofar).hasMatch() && !bodyEnd.match(sofar).hasMatch())
            continue;
        flush();
    }
    flush();
    return result;
}

QStringList Schema::statements()
{
    return split(resourceText(QStringLiteral("schema.sql")));
}

QStringList Schema::triggerStatements(Database& db)
{
    QStringList statements =
        split(resourceText(db.isPostgres() ? QStringLiteral("schema-postgresql.sql") : QStringLiteral("schema-sqlite.sql")));
    if (!db.isPostgres())
        return statements;
    QString schema;
    db.forEachRow(QStringLiteral("SELECT quote_ident(current_schema())"), {},
                  [&](const Database::Row& row) { schema = QString::fromUtf8(row.text(0)); });
    if (schema.isEmpty() || schema == QLatin1String("public"))
        return statements;
    for (QString& statement : statements)
        statement.replace(QLatin1String("public."), schema + QLatin1Char('.'));
    return statements;
}

QStringList Schema::dataVersionStatements(const Database& db)
{
    return dataVersionStatements(db.isPostgres());
}

QStringList Schema::dataVersionStatements(bool postgres)
{
    return split(resourceText(postgres ? QStringLiteral("data-version-postgresql.sql")
                                       : QStringLiteral("data-version-sqlite.sql")));
}

QString Schema::normalized(QString sql)
{
    static const QRegularExpression comment(QStringLiteral("--[^\n]*"));
    sql.remove(comment);
    sql = sql.simplified();
    while (sql.endsWith(QLatin1Char(';')))
        sql = sql.chopped(1).trimmed();
    return sql;
}

void Schema::create(Database& db, bool withIndexes)
{
    for (const QString& statement : statements()) {
        if (withIndexes || !isIndex(statement))
            db.execDirect(statement);
    }
    if (withIndexes) {
        for (const QString& statement : triggerStatements(db))
            db.execDirect(statement);
        DataVersion::create(db);
    }
}

void Schema::createIndexes(Database& db)
{
    for (const QString& statement : statements()) {
        if (isIndex(statement))
            db.execDirect(statement);
    }
    for (const QString& statement : triggerStatements(db))
        db.execDirect(statement);
    MonthlySummary::rebuild(db);
    DataVersion::create(db);
}

bool Schema::ensure(Database& db)
{
    QStringList missing;
    for (const QString& table : tableNames()) {
        if (relation(db, table) == Relation::None)
            missing << table;
    }
    if (missing.isEmpty()) {
        // A database from before the monthly summary gets it now, from the rows it has.
        if (MonthlySummary::check(db) == MonthlySummary::State::Missing)
            MonthlySummary::install(db);
        return false;
    }
    if (missing.size() != tableNames().size())
        throw DatabaseError(QStringLiteral("O banco de dados \"%1\" tem só parte das tabelas (faltam: %2); "
                                           "complete-o com docs/schema.sql.")
                                .arg(db.settings().displayName(), missing.join(QStringLiteral(", "))));
    db.beginTransaction();
    try {
        create(db);
        db.commit();
    } catch (const DatabaseError&) {
        db.rollback();
        throw;
    }
    return true;
}

bool Schema::ensureTargets(Database& db)
{
    try {
        if (relation(db, QStringLiteral("meta_mensal")) != Relation::None) {
            // A database from before branch budgets has room for a region's code only ('#' and a branch's
            // code need ten characters); SQLite does not hold a text to its declared length.
            if (db.isPostgres() && !db.settings().readOnly) {
                QSqlQuery q = db.prepare(QStringLiteral(
                    "SELECT character_maximum_length FROM information_schema.columns "
                    "WHERE table_schema = current_schema() AND table_name = 'meta_mensal' AND column_name = 'escopo'"));
                Database::exec(q);
                if (q.next() && !q.value(0).isNull() && q.value(0).toInt() < 10) {
                    q.finish();
                    db.execDirect(QStringLiteral("ALTER TABLE meta_mensal ALTER COLUMN escopo TYPE VARCHAR(10)"));
                }
            }
            return true;
        }
        if (db.settings().readOnly)
            return false;
        for (const QString& statement : statements())
            if (statement.contains(QLatin1String("CREATE TABLE meta_mensal")))
                db.execDirect(statement);
        return relation(db, QStringLiteral("meta_mensal")) != Relation::None;
    } catch (const DatabaseError&) {
        return false;
    }
}

void Schema::ensureAlerts(Database& db)
{
    // Where each watched figure stands: the unique key is what lets one instance of many move it, and so
    // send its message, once.
    db.execDirect(QStringLiteral("CREATE TABLE IF NOT EXISTS alerta_estado ("
                                 "chave VARCHAR(200) PRIMARY KEY, regra VARCHAR(120) NOT NULL, "
                                 "na_zona INTEGER NOT NULL, valor DOUBLE PRECISION)"));
    db.execDirect(QStringLiteral("CREATE INDEX IF NOT EXISTS ix_alerta_estado_regra ON alerta_estado (regra)"));
    db.execDirect(QStringLiteral("CREATE TABLE IF NOT EXISTS alerta_saida (id %1 PRIMARY KEY, chave VARCHAR(200) NOT NULL, "
                                 "destinatarios TEXT NOT NULL, assunto TEXT NOT NULL, corpo TEXT NOT NULL, "
                                 "criada BIGINT NOT NULL, estado VARCHAR(10) NOT NULL, reservada_ate BIGINT, "
                                 "tentativas INTEGER NOT NULL, erro TEXT, enviada BIGINT)")
                      .arg(db.isPostgres() ? QStringLiteral("BIGSERIAL") : QStringLiteral("INTEGER")));
    db.execDirect(QStringLiteral("CREATE INDEX IF NOT EXISTS ix_alerta_saida_estado ON alerta_saida (estado)"));
}

Schema::Relation Schema::relation(Database& db, const QString& name)
{
    QSqlQuery q = db.prepare(db.isPostgres()
                                 ? QStringLiteral("SELECT CASE WHEN relkind IN ('r', 'p') THEN 1 ELSE 2 END "
                                                  "FROM pg_class WHERE oid = to_regclass(?)")
                                 : QStringLiteral("SELECT CASE type WHEN 'table' THEN 1 ELSE 2 END FROM sqlite_master "
                                                  "WHERE name = ? COLLATE NOCASE AND type IN ('table', 'view')"));
    q.addBindValue(name);
    Database::exec(q);
    if (!q.next())
        return Relation::None;
    return q.value(0).toInt() == 1 ? Relation::Table : Relation::View;
}

void Schema::verify(Database& db, Use use)
{
    for (const QString& table : tableNames()) {
        const Relation found = relation(db, table);
        if (found == Relation::None || (found == Relation::View && use == Use::Write))
            throw DatabaseError(QStringLiteral("O banco de dados \"%1\" não tem a tabela \"%2\"; crie-o com docs/schema.sql.")
                                    .arg(db.settings().displayName(), table));
    }
}

} // namespace appserver
