#pragma once

#include <QString>

namespace appserver {

class Database;

/// movimento_mensal: each branch's monthly sums of movimento_diario, kept by the database's own
/// triggers so that a month is read as one row per branch instead of summed from its days.
class MonthlySummary {
public:
    enum class State {
        InStep,        ///< table and triggers there, one counted day per daily row
        Missing,       ///< table or some trigger is not there, or is of an earlier version (a
                       ///< database from before the summary, or before its present triggers)
        OutOfStep,     ///< the counts differ: rows were written while the triggers were off
        Unavailable,   ///< the daily figures are a view or otherwise not ours to put triggers on
    };

    /// Looks without writing. Throws DatabaseError.
    static State check(Database& db);
    /// Creates what is missing (table, triggers) and sums the rows already there, in one transaction;
    /// false when, once it had the database's write lock, another process had done it. Throws
    /// DatabaseError (busy() when another writer held the lock too long).
    static bool install(Database& db);
    /// Sums every branch-month again from the daily rows. Throws DatabaseError.
    static void rebuild(Database& db);

    /// A bulk load of daily rows, inside the load's transaction. On SQLite the summary's triggers stand
    /// aside from beginLoad() (they would sum a branch-month again per row written) and endLoad() sums
    /// each branch-month of monthsTable (cdfilial, mes, mesfim) once; PostgreSQL's triggers work per
    /// statement and need neither. Throws DatabaseError.
    static void beginLoad(Database& db);
    static void endLoad(Database& db, const QString& monthsTable);
    /// Branch-months in the summary.
    static qint64 rows(Database& db);

    static QString describe(State state);
};

} // namespace appserver
