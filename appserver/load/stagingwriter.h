#pragma once

#include "importtables.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <vector>

namespace appserver {
class Database;
}

namespace appserver::importing {

struct StagedRow {
    qint64 line;
    QVariantList values;   // line first, then the staging columns
};

// Writes checked records of one file into its staging table, a batch at a time.
class StagingWriter {
public:
    StagingWriter(Database& db, const Table& table, const QString& file, const std::vector<int>& filePositions);

    void add(StagedRow row);
    qint64 count() const { return m_count; }
    void flush();

private:
    QString insertSql(int rows) const;
    [[noreturn]] void reportRepeatedKey();

    Database& m_db;
    const Table& m_table;
    QString m_file;
    std::vector<int> m_positions;   // file column of each table column
    QStringList m_columns;
    std::vector<StagedRow> m_pending;
    std::unique_ptr<QSqlQuery> m_full;
    qint64 m_count = 0;
};

} // namespace appserver::importing
