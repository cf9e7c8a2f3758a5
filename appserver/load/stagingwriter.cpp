#include "stagingwriter.h"

#include "database.h"
#include "importerror.h"

namespace appserver::importing {

namespace {

constexpr int kBatchRows = 250;   // rows per INSERT into a staging table

} // namespace

StagingWriter::StagingWriter(Database& db, const Table& table, const QString& file, const std::vector<int>& filePositions)
    : m_db(db), m_table(table), m_file(file), m_positions(filePositions)
{
    m_columns << QStringLiteral("linha");
    for (const Column& c : table.columns)
        m_columns << QLatin1String(c.name);
    if (isDaily(table))
        m_columns << QStringLiteral("mes") << QStringLiteral("mesfim");
}

void StagingWriter::add(StagedRow row)
{
    m_pending.push_back(std::move(row));
    if (static_cast<int>(m_pending.size()) == kBatchRows)
        flush();
}

void StagingWriter::flush()
{
    if (m_pending.empty())
        return;
    const int n = static_cast<int>(m_pending.size());
    QSqlQuery* query = nullptr;
    QSqlQuery partial;
    if (n == kBatchRows) {
        if (!m_full)
            m_full = std::make_unique<QSqlQuery>(m_db.prepare(insertSql(n)));
        query = m_full.get();
    } else {
        partial = m_db.prepare(insertSql(n));
        query = &partial;
    }
    int position = 0;
    for (const StagedRow& r : m_pending) {
        query->bindValue(position++, r.line);
        for (const QVariant& v : r.values)
            query->bindValue(position++, v);
    }
    Database::exec(*query);
    // A key already staged is skipped rather than failing the statement (which on PostgreSQL
    // would end the transaction): fewer rows than sent means a repeated key in this batch.
    if (query->numRowsAffected() != n)
        reportRepeatedKey();
    m_count += n;
    m_pending.clear();
}

QString StagingWriter::insertSql(int rows) const
{
    QString one = QStringLiteral("(?");
    for (int i = 1; i < m_columns.size(); ++i)
        one += QStringLiteral(", ?");
    one += QLatin1Char(')');
    QStringList all;
    for (int i = 0; i < rows; ++i)
        all << one;
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3 ON CONFLICT DO NOTHING")
        .arg(staging(m_table), m_columns.join(QStringLiteral(", ")), all.join(QStringLiteral(", ")));
}

void StagingWriter::reportRepeatedKey()
{
    QStringList where;
    for (int k = 0; k < m_table.keys; ++k)
        where << QStringLiteral("%1 = ?").arg(QLatin1String(m_table.columns[size_t(k)].name));
    QSqlQuery find = m_db.prepare(QStringLiteral("SELECT linha FROM %1 WHERE %2")
                                      .arg(staging(m_table), where.join(QStringLiteral(" AND "))));
    for (const StagedRow& r : m_pending) {
        for (int k = 0; k < m_table.keys; ++k)
            find.bindValue(k, r.values[k]);
        Database::exec(find);
        if (!find.next())
            continue;
        const qint64 first = find.value(0).toLongLong();
        find.finish();
        if (first == r.line)
            continue;
        QStringList key;
        for (int k = 0; k < m_table.keys; ++k) {
            QString v = r.values[k].toString();
            if (r.values[k].metaType().id() == QMetaType::QDate)
                v = r.values[k].toDate().toString(Qt::ISODate);
            key << QStringLiteral("%1 %2").arg(QLatin1String(m_table.columns[size_t(k)].name), v);
        }
        throw ImportError(m_file, r.line, m_positions[0] + 1, QLatin1String(m_table.columns[0].name),
                          QStringLiteral("chave repetida (%1): já informada na linha %2.")
                              .arg(key.join(QStringLiteral(", ")))
                              .arg(first));
    }
    throw ImportError(m_file, m_pending.front().line, 0, {}, QStringLiteral("chave repetida neste arquivo."));
}

} // namespace appserver::importing
