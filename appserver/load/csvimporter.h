#pragma once

#include "refmonth.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <chrono>

namespace appserver {

class Database;

/// What an import loaded: rows per file, in load order, and the time written to carga_etl.
struct ImportSummary {
    QList<QPair<QString, qint64>> files;
    QDateTime loadedAt;
    QList<cockpit::RefMonth> months;   ///< the months whose figures, stock or targets it wrote
};

/// Loads a company's figures from CSV files named after the tables (regional.csv, filial.csv,
/// movimento_diario.csv, estoque_mensal.csv; any of them), each with a header row naming its columns
/// in any order, into SQLite or PostgreSQL.
///
/// Everything happens in one transaction, which on SQLite holds the write lock from its start (another
/// writer's transaction is waited for, up to lockWait), and ends with a carga_etl row; refused input leaves the
/// database as it was. Regions, branches and month-end stock are replaced by key. Daily figures
/// replace, for each branch, the months the file has for it: the month's old days of that branch go,
/// even those the new file no longer has, and other branches' days stay.
///
/// The files are read one record at a time into temporary tables of the same connection, so memory
/// stays flat however large they are; keys repeated inside the import and codes that exist neither
/// in the import nor in the database are found there before anything reaches the real tables. On
/// PostgreSQL the daily file is the exception: its rows go straight into movimento_diario by COPY as
/// they are read, its keys are checked in memory (a few dozen bytes per row), and the rows of
/// branch-months the table already has wait, a batch at a time, for the old ones to be deleted.
///
/// Values: codes of regions up to 3 characters, without control characters or blanks at either end,
/// names up to 30 (characters, not bytes or UTF-16 units), neither starting as a spreadsheet formula does; branch codes positive integers; days as
/// AAAA-MM-DD or DD/MM/AAAA from 1900 to November 9999; months as AAAA-MM or the first day of the month;
/// amounts with a '.' for decimals (or a ',' in files separated by ';'), no thousands separators.
class CsvImporter {
public:
    /// How long an import waits on SQLite for another writer to finish before it gives up, saying so.
    static constexpr std::chrono::milliseconds kLockWait{30000};

    explicit CsvImporter(Database& db, std::chrono::milliseconds lockWait = kLockWait) : m_db(db), m_lockWait(lockWait) {}

    /// Imports the files of dir. Throws ImportError for refused input and DatabaseError when the
    /// database fails; in both cases nothing is written.
    ImportSummary run(const QString& dir);
    /// After a load on PostgreSQL: the summaries vacuumed and analysed on this thread's connection (the
    /// caller may run it beside other work on another thread). Nothing on SQLite; never throws.
    static void refreshSummaries(Database& db);

private:
    Database& m_db;
    std::chrono::milliseconds m_lockWait;
};

} // namespace appserver
