#pragma once

#include <QString>
#include <QtGlobal>

namespace appserver {

class Database;

/// The data version (docs/data-version-*.sql): one number that the engine's triggers change on every write
/// of the tables a month's answer is computed from, in the writer's own transaction. Answers are kept with
/// the version they were computed at; a call that reads the same version may be handed the kept answer.
class DataVersion {
public:
    struct Value {
        qint64 origin = 0;    ///< drawn when the database got its version: tells databases apart
        qint64 counter = -1;  ///< -1: the database has no version to read
        bool valid() const { return counter >= 0; }
        bool operator==(const Value&) const = default;
    };

    /// Whether the version is kept: its table holds its row, and every table it follows has its
    /// triggers, as the shipped file makes them. Looks without writing. Throws DatabaseError.
    static bool check(Database& db);
    /// Runs the shipped file on a database without it (a new schema, inside its transaction).
    static void create(Database& db);
    /// Makes the version's table, the kept answers' table and the triggers (made again as a whole) in one
    /// transaction, and answers check() after it: a table that is a view here takes no trigger, and then
    /// the version is not kept. Throws DatabaseError.
    static bool install(Database& db);
    /// The version now: one row of one table. An invalid value when the database has none. Throws
    /// DatabaseError only when the connection was lost.
    static Value read(Database& db);
    /// One more, for a write that kept the triggers aside (a bulk load). Throws DatabaseError.
    static void bump(Database& db);
};

} // namespace appserver
