#include "dailycopy.h"

#include "copyin.h"
#include "database.h"
#include "importerror.h"
#include "refmonth.h"

#include <QStringList>

namespace appserver::importing {

namespace {

// Rows that replace branch-months already there wait in batches of about this many bytes (some 50,000
// rows): memory stays flat, and each batch is written while the next is read.
constexpr qsizetype kWaitingBytes = 2 * 1024 * 1024;

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
        if (m_waiting.size() >= kWaitingBytes)
            replaceWaiting();
        return;
    }
    copy(text);
}

void DailyCopy::copy(const QByteArray& rows)
{
    if (!m_copy)
        m_copy = std::make_unique<CopyIn>(m_db, kCopyRows);
    m_copy->write(rows);
}

// The branch-months of the waiting rows lose their old rows, and the rows go in; the copy is left open,
// so the database writes them while the next rows are read. Those branch-months are then like new ones.
void DailyCopy::replaceWaiting()
{
    if (m_waiting.isEmpty())
        return;
    stopCopy();
    QStringList branches, months;
    for (const quint64 bm : std::as_const(m_replaced)) {
        const int key = int(bm & 0xffffffffu);
        branches << QString::number(qint64(bm >> 32));
        months << firstOf(key).toString(Qt::ISODate);
        m_months[key].present.remove(qint64(bm >> 32));
    }
    m_db.write(QStringLiteral("DELETE FROM movimento_diario d USING unnest(?::integer[], ?::date[]) AS s(cdfilial, mes) "
                              "WHERE d.cdfilial = s.cdfilial AND d.dtmovimento >= s.mes "
                              "AND d.dtmovimento < (s.mes + interval '1 month')::date"),
               {QStringLiteral("{%1}").arg(branches.join(QLatin1Char(','))), QStringLiteral("{%1}").arg(months.join(QLatin1Char(',')))});
    m_replaced.clear();
    copy(m_waiting);
    m_waiting.clear();
}

void DailyCopy::writeBranchMonths()
{
    CopyIn copy(m_db, QStringLiteral("COPY imp_meses (cdfilial, mes, mesfim) FROM STDIN"));
    for (const quint64 bm : std::as_const(m_branchMonths)) {
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
    replaceWaiting();
    stopCopy();
    writeBranchMonths();
    return m_count;
}

} // namespace appserver::importing
