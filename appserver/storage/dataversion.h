#pragma once

#include <QString>
#include <QtGlobal>

namespace appserver {

class Database;

/// The data version (docs/data-version-*.sql): one number that the engine's triggers draw anew at random on
/// every write of the tables a month's answer is computed from, in the writer's own transaction. Answers
/// are kept with the version they were computed at; a call that reads the same version may be handed the
/// kept answer.
///
/// What the triggers cannot see, a change of the tables themselves (one swapped in by an ETL, a trigger
/// dropped or switched off, a child table), is read with the version: the tables' shape (SQLite's schema
/// cookie; on PostgreSQL the tables' and triggers' identities) is part of the value, so an answer kept
/// before such a change is never handed out after it, and whether every table still has its triggers
/// (sound) says whether anything may be kept at all.
class DataVersion {
public:
    struct Value {
        qint64 origin = 0;    ///< drawn when the database got its version, mixed with its tables' shape
        qint64 counter = -1;  ///< -1: the database has no version to read
        qint64 shape = 0;     ///< SQLite's schema cookie; PostgreSQL's tables and triggers
        bool sound = true;    ///< every table followed has its triggers, firing always, and no children
        bool valid() const { return counter >= 0 && sound; }
        bool operator==(const Value& o) const { return origin == o.origin && counter == o.counter; }
    };

    /// The statement read() runs: origem, versao, the shape and (PostgreSQL) 1 when sound. Shared with the
    /// version readers, which run it on connections of their own.
    static QString readStatement(bool postgres);
    /// The value of one row of readStatement(). On SQLite sound is left to check().
    static Value fromRow(qint64 origem, qint64 versao, qint64 shape, qint64 sound);

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
    /// A new version drawn, for a write that kept the triggers aside (a bulk load). Throws DatabaseError.
    static void bump(Database& db);
    /// Why check() says no, in words for the log (a table without its triggers, a child table, ...).
    static QString whyNot(Database& db);
};

} // namespace appserver
