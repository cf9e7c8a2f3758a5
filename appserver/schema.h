#pragma once

#include <QStringList>

namespace appserver {

class Database;

/// The database schema shipped as docs/schema.sql (compiled in as a resource).
class Schema {
public:
    /// The statements of the schema file, comments removed, in file order.
    static QStringList statements();
    /// Creates the tables; with withIndexes false the indexes are left for createIndexes, so a bulk
    /// load need not maintain them row by row. Throws DatabaseError.
    static void create(Database& db, bool withIndexes = true);
    static void createIndexes(Database& db);
    /// Creates the tables and indexes when the database has none of the tables; leaves a complete
    /// database alone. Returns true when it created them. Throws DatabaseError when only some are there.
    static bool ensure(Database& db);
    /// Checks that the tables the server reads are there. Throws DatabaseError naming the first missing.
    /// With viewsWillDo a view of a table's name counts: the server only reads, and a company may give
    /// it views over its own tables.
    static void verify(Database& db, bool viewsWillDo = false);
    static const QStringList& tableNames();
};

} // namespace appserver
