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
    /// The statements of the engine's trigger file for db.
    static QStringList triggerStatements(const Database& db);
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
    /// Checks that the tables the server reads are there. Throws DatabaseError naming the first missing.
    /// With viewsWillDo a view of a table's name counts: the server only reads, and a company may give
    /// it views over its own tables.
    static void verify(Database& db, bool viewsWillDo = false);
    static const QStringList& tableNames();
};

} // namespace appserver
