#pragma once

#include "stagingwriter.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <memory>

namespace appserver {
class CopyIn;
class Database;
}

namespace appserver::importing {

/// The daily file on PostgreSQL, written straight into movimento_diario by COPY while the file is still
/// being read, so that the rows are copied once and the engine works while the next ones are checked. A
/// branch-month the table already has is replaced: its rows wait, a batch at a time, until its old ones
/// are deleted. The checks the staging table made are made here: a key repeated in
/// the file, and a branch that is neither in the database nor in filial.csv (filial.csv is already
/// applied when this starts). Every branch-month of the file ends in imp_meses.
class DailyCopy {
public:
    /// branchColumn: where cdfilial is in the file (1-based), for the refusals.
    DailyCopy(Database& db, const QString& file, int branchColumn);
    ~DailyCopy();

    /// A checked record: cdfilial, dtmovimento, and the four amounts as decimal text.
    void add(const StagedRow& row);
    /// Writes the rows that wait and the branch-months; the rows of the file. Throws ImportError for the
    /// first row whose branch is not known.
    qint64 finish();

private:
    struct Month {
        QSet<qint64> present;   // branches that already had rows in the month
    };
    const Month& month(int key, const QDate& first);
    void stopCopy();
    void copy(const QByteArray& rows);
    void replaceWaiting();
    void writeBranchMonths();

    Database& m_db;
    QString m_file;
    int m_branchColumn;
    QSet<qint64> m_branches;                       // known: the database's, the file's included
    QHash<int, Month> m_months;                    // by year * 12 + month
    QHash<quint64, qint64> m_keys;                 // branch and day, to the line that gave them
    QSet<quint64> m_branchMonths;                  // branch and month key
    QSet<quint64> m_replaced;                      // the waiting rows' branch-months, which the table has
    QByteArray m_waiting;                          // rows that replace branch-months already there
    std::unique_ptr<CopyIn> m_copy;
    qint64 m_count = 0;
    qint64 m_unknownLine = 0;                      // the first row whose branch is not known
    qint64 m_unknownBranch = 0;
};

} // namespace appserver::importing
