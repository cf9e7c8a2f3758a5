#include "dataversion.h"

#include "database.h"
#include "schema.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlQuery>

#include <algorithm>

namespace appserver {

namespace {

struct Trigger {
    QString name;
    QString table;
    QString statement;
};

// The statements of the shipped file that belong to one table (its triggers, and on PostgreSQL the
// switch that makes them fire always), each with that table.
QList<Trigger> tableStatements(bool postgres)
{
    static const QRegularExpression created(QStringLiteral("^CREATE\\s+TRIGGER\\s+(\\w+)\\b.*?\\bON\\s+(\\w+)"),
                                            QRegularExpression::CaseInsensitiveOption
                                                | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression always(QStringLiteral("^ALTER\\s+TABLE\\s+(\\w+)\\s+ENABLE\\s+ALWAYS\\s+TRIGGER\\s+(\\w+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    QList<Trigger> found;
    for (const QString& statement : Schema::dataVersionStatements(postgres)) {
        if (const QRegularExpressionMatch m = created.match(statement); m.hasMatch())
            found.append({m.captured(1).toLower(), m.captured(2).toLower(), statement});
        else if (const QRegularExpressionMatch a = always.match(statement); a.hasMatch())
            found.append({QString(), a.captured(1).toLower(), statement});
    }
    return found;
}

QList<Trigger> triggers(bool postgres)
{
    QList<Trigger> all = tableStatements(postgres);
    all.removeIf([](const Trigger& t) { return t.name.isEmpty(); });
    return all;
}

QStringList followedTables(bool postgres)
{
    QStringList tables;
    for (const Trigger& t : triggers(postgres)) {
        if (!tables.contains(t.table))
            tables << t.table;
    }
    return tables;
}

// The file names the version's table in the schema public; the installer's own schema where it is another.
QString inSchema(Database& db, QString statement)
{
    if (!db.isPostgres() || !statement.contains(QLatin1String("public.versao_dados")))
        return statement;
    QString schema;
    db.forEachRow(QStringLiteral("SELECT quote_ident(current_schema())"), {},
                  [&](const Database::Row& row) { schema = QString::fromUtf8(row.text(0)); });
    return schema.isEmpty() ? statement : statement.replace(QLatin1String("public.versao_dados"), schema + QLatin1String(".versao_dados"));
}

// PostgreSQL: the body the shipped file gives the trigger function, as the catalogue keeps it.
QString functionBody(Database& db)
{
    for (const QString& statement : Schema::dataVersionStatements(true)) {
        const qsizetype from = statement.indexOf(QLatin1String("$$"));
        const qsizetype to = statement.lastIndexOf(QLatin1String("$$"));
        if (statement.contains(QLatin1String("FUNCTION versao_dados_mudou")) && from >= 0 && to > from)
            return Schema::normalized(inSchema(db, statement.mid(from + 2, to - from - 2)));
    }
    return {};
}

qint64 mixed(qint64 origem, qint64 shape)
{
    // Any other shape gives another origin, so a key written before a change of the tables is never read.
    return origem ^ qint64(quint64(shape) * 0x9E3779B97F4A7C15ull);
}

} // namespace

QString DataVersion::readStatement(bool postgres)
{
    if (!postgres)
        return QStringLiteral("SELECT origem, versao, (SELECT schema_version FROM pragma_schema_version), 1 FROM versao_dados");
    const QStringList tables = followedTables(true);
    // Each followed table in the version's schema with its statement trigger before the statement,
    // firing always, calling the shipped function, and no table inheriting from it. The shape names the
    // tables and triggers: a table swapped in, or a trigger made again, is another shape.
    return QStringLiteral(
               "SELECT v.origem, v.versao, f.forma, f.inteira FROM versao_dados v CROSS JOIN ("
               "SELECT coalesce(sum(c.oid::int8 * 1048576 + coalesce(t.oid::int8, 0) + coalesce(ascii(t.tgenabled::text), 0)), 0) AS forma, "
               "CASE WHEN count(*) = %1 AND bool_and(c.relkind = 'r' AND coalesce(t.tgenabled = 'A', false) "
               "AND coalesce((t.tgtype & 3) = 2, false) AND coalesce(p.proname = 'versao_dados_mudou' AND p.pronamespace = c.relnamespace, false) "
               "AND NOT EXISTS (SELECT 1 FROM pg_inherits i WHERE i.inhparent = c.oid)) THEN 1 ELSE 0 END AS inteira "
               "FROM pg_class c LEFT JOIN pg_trigger t ON t.tgrelid = c.oid AND t.tgname = 'versao_' || c.relname "
               "LEFT JOIN pg_proc p ON p.oid = t.tgfoid "
               "WHERE c.relnamespace = (SELECT relnamespace FROM pg_class WHERE oid = 'versao_dados'::regclass) "
               "AND c.relname IN ('%2')) f")
        .arg(tables.size())
        .arg(tables.join(QLatin1String("', '")));
}

DataVersion::Value DataVersion::fromRow(qint64 origem, qint64 versao, qint64 shape, qint64 sound)
{
    return Value{mixed(origem, shape), versao, shape, sound == 1};
}

QString DataVersion::whyNot(Database& db)
{
    if (Schema::relation(db, QStringLiteral("versao_dados")) != Schema::Relation::Table
        || Schema::relation(db, QStringLiteral("resposta_guardada")) != Schema::Relation::Table)
        return QStringLiteral("faltam as tabelas versao_dados e resposta_guardada");
    QStringList views;
    QStringList parents;
    for (const QString& table : followedTables(db.isPostgres())) {
        const Schema::Relation r = Schema::relation(db, table);
        if (r == Schema::Relation::View)
            views << table;
        else if (r == Schema::Relation::Table && db.isPostgres()) {
            bool children = false;
            db.forEachRow(QStringLiteral("SELECT 1 FROM pg_inherits WHERE inhparent = to_regclass(?) LIMIT 1"), {table},
                          [&](const Database::Row&) { children = true; });
            if (children)
                parents << table;
        }
    }
    if (!views.isEmpty())
        return QStringLiteral("%1 é uma visão, que não aceita gatilhos").arg(views.join(QLatin1String(", ")));
    if (!parents.isEmpty())
        return QStringLiteral("%1 tem tabelas herdadas ou partições, cujas gravações os gatilhos não veem")
            .arg(parents.join(QLatin1String(", ")));
    return QStringLiteral("alguma tabela dos números está sem os gatilhos da versão dos dados (trocada por outra, "
                          "gatilhos apagados ou desligados)");
}

bool DataVersion::check(Database& db)
{
    if (Schema::relation(db, QStringLiteral("versao_dados")) != Schema::Relation::Table
        || Schema::relation(db, QStringLiteral("resposta_guardada")) != Schema::Relation::Table)
        return false;
    if (db.isPostgres()) {
        // The catalogue's view of the triggers is the one every call reads; the function's text is the
        // shipped one (an earlier one named its table without a schema).
        const Value v = read(db);
        if (!v.valid())
            return false;
        QString body;
        db.forEachRow(QStringLiteral("SELECT p.prosrc FROM pg_proc p JOIN pg_class c ON c.relnamespace = p.pronamespace "
                                     "WHERE p.proname = 'versao_dados_mudou' AND c.oid = 'versao_dados'::regclass"),
                      {}, [&](const Database::Row& row) { body = QString::fromUtf8(row.text(0)); });
        return Schema::normalized(body) == functionBody(db);
    }
    QHash<QString, QString> present;   // name → text
    db.forEachRow(QStringLiteral("SELECT lower(name), sql FROM sqlite_master WHERE type = 'trigger' "
                                 "AND name LIKE 'versao\\_%' ESCAPE '\\'"),
                  {}, [&](const Database::Row& row) {
                      present.insert(QString::fromUtf8(row.text(0)), QString::fromUtf8(row.text(1)));
                  });
    for (const Trigger& t : triggers(false)) {
        const auto it = present.constFind(t.name);
        // SQLite keeps a trigger's text: one of an earlier file may follow fewer writes, or count them.
        if (it == present.cend() || Schema::normalized(*it) != Schema::normalized(t.statement))
            return false;
    }
    return read(db).valid();
}

void DataVersion::create(Database& db)
{
    const QList<Trigger> all = tableStatements(db.isPostgres());
    for (const QString& statement : Schema::dataVersionStatements(db)) {
        const auto t = std::find_if(all.cbegin(), all.cend(), [&](const Trigger& t) { return t.statement == statement; });
        // A view of a table's name takes no trigger: its writes would go unseen, so check() says no.
        if (t != all.cend() && Schema::relation(db, t->table) != Schema::Relation::Table)
            continue;
        db.execDirect(inSchema(db, statement));
    }
}

bool DataVersion::install(Database& db)
{
    db.beginWriting();
    try {
        for (const Trigger& t : triggers(db.isPostgres())) {
            if (Schema::relation(db, t.table) == Schema::Relation::Table)
                db.execDirect(db.isPostgres() ? QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(t.name, t.table)
                                              : QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(t.name));
        }
        create(db);
        // Whatever was kept before was kept against triggers that may have missed writes.
        db.execDirect(QStringLiteral("DELETE FROM resposta_guardada"));
        bump(db);
        db.commit();
    } catch (const DatabaseError&) {
        db.rollback();
        throw;
    }
    return check(db);
}

DataVersion::Value DataVersion::read(Database& db)
{
    Value v;
    int rows = 0;
    try {
        db.forEachRow(readStatement(db.isPostgres()), {}, [&](const Database::Row& row) {
            ++rows;
            v = fromRow(row.integer(0), row.integer(1), row.integer(2), row.integer(3));
        });
    } catch (const DatabaseError& e) {
        // A lost connection is the call's failure. Anything else (a file an ETL swapped in, made without the
        // version) only means there is nothing kept to hand out: the month is computed as before.
        if (e.connectionLost())
            throw;
        return {};
    }
    return rows == 1 ? v : Value{};
}

void DataVersion::bump(Database& db)
{
    if (Schema::relation(db, QStringLiteral("versao_dados")) == Schema::Relation::Table)
        db.execDirect(db.isPostgres() ? QStringLiteral("UPDATE versao_dados SET versao = floor(random() * 9.2e18)::bigint")
                                      : QStringLiteral("UPDATE versao_dados SET versao = random() & 9223372036854775807"));
}

} // namespace appserver
