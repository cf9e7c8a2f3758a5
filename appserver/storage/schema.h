#pragma once

#include <QStringList>

namespace appserver {

class Database;

/// The database schema shipped as docs/schema.sql, with the engine's triggers of docs/schema-sqlite.sql
/// or docs/schema-postgresql.sql (compiled in as resources).
class Schema {
public:
    /// The statements of the schema file, comments removed, in file order.
    static QStringList statements();
    /// The statements of the engine's trigger file for db. On PostgreSQL the functions name their tables in
    /// the schema db creates its tables in (the file says public).
    static QStringList triggerStatements(Database& db);
    /// The statements of the engine's data version file (docs/data-version-*.sql).
    static QStringList dataVersionStatements(const Database& db);
    static QStringList dataVersionStatements(bool postgres);
    /// A statement as compared with what SQLite kept of it: comments, runs of blanks and final
    /// semicolons aside.
    static QString normalized(QString sql);
    /// Splits a script into statements: at a semicolon that ends a line, except inside a trigger body
    /// (BEGIN ... END;) or a dollar-quoted function body. Comments are removed.
    static QStringList split(QString script);
    /// Creates the tables; with withIndexes false the indexes and the summary's triggers are left for
    /// createIndexes, so a bulk load need not maintain them row by row. Throws DatabaseError.
    static void create(Database& db, bool withIndexes = true);
    /// The indexes, then the summary's triggers and its sums of the rows already there.
    static void createIndexes(Database& db);
    /// Creates the tables and indexes when the database has none of the tables; to a complete database
    /// only adds the monthly summary when it has none. Returns true when it created them. Throws DatabaseError when only some are there.
    static bool ensure(Database& db);
    /// Whether the month's targets can be read: adds meta_mensal to a database from before it where the
    /// connection may write, and answers whether it is there (a table or a view) now. Never throws: a
    /// database without it is served as before, with the cockpit's own targets.
    static bool ensureTargets(Database& db);
    /// The alerts' tables (alerta_estado, alerta_saida; docs/mail.md) where they are missing, on either
    /// engine. Throws DatabaseError.
    static void ensureAlerts(Database& db);
    /// What a name is in db, as the server's statements resolve it (PostgreSQL's search_path included).
    /// A materialized or foreign table reads like a view: it takes no triggers.
    enum class Relation { None, Table, View };
    static Relation relation(Database& db, const QString& name);

    /// What the server does with the tables: only reads them (serving, health), or writes them too
    /// (import, summary rebuild).
    enum class Use { Read, Write };
    /// Checks that the tables of the schema are there for use; throws DatabaseError naming the first
    /// missing. For reading a view of a table's name counts as well: a company may give the server views
    /// over its own tables. The one rule for "this database can answer a month": serving starts on it
    /// and health follows it.
    static void verify(Database& db, Use use);
    static const QStringList& tableNames();
};

} // namespace appserver
