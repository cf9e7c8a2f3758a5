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

// The triggers the shipped file makes, each with the table it follows.
QList<Trigger> triggers(const Database& db)
{
    static const QRegularExpression created(QStringLiteral("^CREATE\\s+TRIGGER\\s+(\\w+)\\b.*?\\bON\\s+(\\w+)"),
                                            QRegularExpression::CaseInsensitiveOption
                                                | QRegularExpression::DotMatchesEverythingOption);
    QList<Trigger> found;
    for (const QString& statement : Schema::dataVersionStatements(db)) {
        const QRegularExpressionMatch m = created.match(statement);
        if (m.hasMatch())
            found.append({m.captured(1).toLower(), m.captured(2).toLower(), statement});
    }
    return found;
}

} // namespace

bool DataVersion::check(Database& db)
{
    if (Schema::relation(db, QStringLiteral("versao_dados")) != Schema::Relation::Table
        || Schema::relation(db, QStringLiteral("resposta_guardada")) != Schema::Relation::Table)
        return false;
    QHash<QString, QString> present;   // name → text (SQLite) or table (PostgreSQL)
    QSqlQuery q = db.prepare(db.isPostgres()
                                 ? QStringLiteral("SELECT t.tgname, c.relname FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
                                                  "WHERE NOT t.tgisinternal AND t.tgenabled <> 'D' AND t.tgname LIKE 'versao\\_%' "
                                                  // before the statement, as the shipped file makes them
                                                  "AND (t.tgtype & 2) = 2")
                                 : QStringLiteral("SELECT lower(name), sql FROM sqlite_master WHERE type = 'trigger' "
                                                  "AND name LIKE 'versao\\_%' ESCAPE '\\'"));
    Database::exec(q);
    while (q.next())
        present.insert(q.value(0).toString().toLower(), q.value(1).toString());
    for (const Trigger& t : triggers(db)) {
        const auto it = present.constFind(t.name);
        if (it == present.cend())
            return false;
        // SQLite keeps a trigger's text: one of an earlier file may follow fewer writes.
        if (db.isSqlite() ? Schema::normalized(*it) != Schema::normalized(t.statement) : it->toLower() != t.table)
            return false;
    }
    return read(db).valid();
}

void DataVersion::create(Database& db)
{
    const QList<Trigger> all = triggers(db);
    for (const QString& statement : Schema::dataVersionStatements(db)) {
        const auto t = std::find_if(all.cbegin(), all.cend(), [&](const Trigger& t) { return t.statement == statement; });
        // A view of a table's name takes no trigger: its writes would go unseen, so check() says no.
        if (t != all.cend() && Schema::relation(db, t->table) != Schema::Relation::Table)
            continue;
        db.execDirect(statement);
    }
}

bool DataVersion::install(Database& db)
{
    db.beginWriting();
    try {
        for (const Trigger& t : triggers(db)) {
            if (Schema::relation(db, t.table) == Schema::Relation::Table)
                db.execDirect(db.isPostgres() ? QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(t.name, t.table)
                                              : QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(t.name));
        }
        create(db);
        // Whatever was kept before was kept against triggers that may have missed writes.
        db.execDirect(QStringLiteral("DELETE FROM resposta_guardada"));
        db.execDirect(QStringLiteral("UPDATE versao_dados SET versao = versao + 1"));
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
        db.forEachRow(QStringLiteral("SELECT origem, versao FROM versao_dados"), {}, [&](const Database::Row& row) {
            ++rows;
            v.origin = row.integer(0);
            v.counter = row.integer(1);
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
        db.execDirect(QStringLiteral("UPDATE versao_dados SET versao = versao + 1"));
}

} // namespace appserver
