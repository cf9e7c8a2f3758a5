#include "dailycopy.h"

#include "copyin.h"
#include "database.h"
#include "importerror.h"
#include "refmonth.h"

namespace appserver::importing {

namespace {

const QString kCopyRows = QStringLiteral(
    "COPY movimento_diario (cdfilial, dtmovimento, vrfatliq, vrconsumo, vrmdo, vrdespesas) FROM STDIN");

int monthKey(const QDate& day) { return day.year() * 12 + day.month() - 1; }
QDate firstOf(int key) { return QDate(key / 12, key % 12 + 1, 1); }
quint64 pack(qint64 branch, qint64 low) { return (quint64(branch) << 32) | quint64(low); }

// 2026-11-03, written by hand: QDate::toString() formats through printf, most of a row's cost here.
void appendDay(QByteArray& out, const QDate& day)
{
    int y = 0, m = 0, d = 0;
    day.getDate(&y, &m, &d);
    char text[10] = {char('0' + y / 1000), char('0' + y / 100 % 10), char('0' + y / 10 % 10), char('0' + y % 10), '-',
                     char('0' + m / 10), char('0' + m % 10), '-', char('0' + d / 10), char('0' + d % 10)};
    out.append(text, sizeof text);
}

} // namespace

DailyCopy::DailyCopy(Database& db, const QString& file, int branchColumn)
    : m_db(db), m_file(file), m_branchColumn(branchColumn)
{
    m_db.forEachRow(QStringLiteral("SELECT cdfilial FROM filial"), {},
                    [&](const Database::Row& row) { m_branches.insert(row.integer(0)); });
    m_keys.reserve(1 << 16);
}

DailyCopy::~DailyCopy() = default;

const DailyCopy::Month& DailyCopy::month(int key, const QDate& first)
{
    const auto found = m_months.constFind(key);
    if (found != m_months.constEnd())
        return *found;
    // The statement cannot run while a copy holds the connection; the next row starts another.
    stopCopy();
    Month m;
    m_db.forEachRow(QStringLiteral("SELECT DISTINCT cdfilial FROM movimento_diario WHERE dtmovimento >= ? AND dtmovimento < ?"),
                    {m_db.dateValue(first), m_db.dateValue(first.addMonths(1))},
                    [&](const Database::Row& row) { m.present.insert(row.integer(0)); });
    return *m_months.insert(key, std::move(m));
}

void DailyCopy::stopCopy()
{
    if (m_copy) {
        m_copy->finish();
        m_copy.reset();
    }
}

void DailyCopy::add(const StagedRow& row)
{
    const qint64 branch = row.values[0].toLongLong();
    const QDate day = row.values[1].toDate();
    // The first repeated key ends the load, naming both lines.
    const quint64 dayKey = pack(branch, day.toJulianDay());
    if (const auto at = m_keys.constFind(dayKey); at != m_keys.constEnd())
        throw ImportError(m_file, row.line, m_branchColumn, QStringLiteral("cdfilial"),
                          QStringLiteral("chave repetida (cdfilial %1, dtmovimento %2): já informada na linha %3.")
                              .arg(branch)
                              .arg(day.toString(Qt::ISODate))
                              .arg(*at));
    m_keys.insert(dayKey, row.line);
    ++m_count;
    if (!m_branches.contains(branch)) {
        // Refused once the file has been read, so that a value wrong further down is still said first.
        if (m_unknownLine == 0) {
            m_unknownLine = row.line;
            m_unknownBranch = branch;
            stopCopy();
        }
        return;
    }
    if (m_unknownLine != 0)
        return;
    const int key = monthKey(day);
    m_branchMonths.insert(pack(branch, key));
    QByteArray text = QByteArray::number(branch);
    text += '\t';
    appendDay(text, day);
    for (int c = 2; c < 6; ++c) {
        text += '\t';
        text += row.values[c].toString().toLatin1();
    }
    text += '\n';
    if (month(key, firstOf(key)).present.contains(branch)) {
        m_replaced.insert(pack(branch, key));
        m_waiting += text;
        return;
    }
    if (!m_copy)
        m_copy = std::make_unique<CopyIn>(m_db, kCopyRows);
    m_copy->write(text);
}

void DailyCopy::writeBranchMonths(const QString& table, const QSet<quint64>& branchMonths)
{
    CopyIn copy(m_db, QStringLiteral("COPY %1 (cdfilial, mes, mesfim) FROM STDIN").arg(table));
    for (const quint64 bm : branchMonths) {
        const QDate first = firstOf(int(bm & 0xffffffffu));
        QByteArray text = QByteArray::number(qint64(bm >> 32)) + '\t';
        appendDay(text, first);
        text += '\t';
        appendDay(text, first.addMonths(1));
        text += '\n';
        copy.write(text);
    }
    copy.finish();
}

qint64 DailyCopy::finish()
{
    stopCopy();
    if (m_unknownLine != 0)
        throw ImportError(m_file, m_unknownLine, m_branchColumn, QStringLiteral("cdfilial"),
                          QStringLiteral("filial %1 não cadastrada (nem no banco de dados nem em filial.csv).").arg(m_unknownBranch));
    writeBranchMonths(QStringLiteral("imp_meses"), m_branchMonths);
    if (!m_waiting.isEmpty()) {
        // The branch-months the file brings again: the old rows go, then the file's.
        m_db.execDirect(QStringLiteral("CREATE TEMP TABLE imp_substituidos (cdfilial INTEGER NOT NULL, mes DATE NOT NULL, "
                                       "mesfim DATE NOT NULL)"));
        writeBranchMonths(QStringLiteral("imp_substituidos"), m_replaced);
        m_db.execDirect(QStringLiteral(
            "DELETE FROM movimento_diario d USING imp_substituidos s "
            "WHERE s.cdfilial = d.cdfilial AND d.dtmovimento >= s.mes AND d.dtmovimento < s.mesfim"));
        m_db.execDirect(QStringLiteral("DROP TABLE imp_substituidos"));
        CopyIn rows(m_db, kCopyRows);
        rows.write(m_waiting);
        rows.finish();
        m_waiting.clear();
    }
    return m_count;
}

} // namespace appserver::importing
