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
        Missing,       ///< table or some trigger is not there (a database from before the summary)
        OutOfStep,     ///< the counts differ: rows were written while the triggers were off
        Unavailable,   ///< the daily figures are a view or otherwise not ours to put triggers on
    };

    /// Looks without writing. Throws DatabaseError.
    static State check(Database& db);
    /// Creates what is missing (table, triggers) and sums the rows already there, in one transaction.
    /// Throws DatabaseError.
    static void install(Database& db);
    /// Sums every branch-month again from the daily rows. Throws DatabaseError.
    static void rebuild(Database& db);
    /// Branch-months in the summary.
    static qint64 rows(Database& db);

    static QString describe(State state);
};

} // namespace appserver
