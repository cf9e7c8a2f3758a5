#include "dailyrowssource.h"

#include "database.h"

#include <algorithm>

namespace appserver::figures {

namespace {

struct Ranked {
    Branch* branch;
    double value;
};

// The first ten by a figure, ties to the lower branch code (the rows come in code order).
std::vector<Ranked> firstTen(std::vector<Ranked> list, bool descending)
{
    const auto before = [descending](const Ranked& a, const Ranked& b) {
        if (a.value != b.value)
            return descending ? a.value > b.value : a.value < b.value;
        return a.branch->code < b.branch->code;
    };
    const auto end = list.begin() + std::min<std::ptrdiff_t>(kListSize, static_cast<std::ptrdiff_t>(list.size()));
    std::partial_sort(list.begin(), end, list.end(), before);
    list.erase(end, list.end());
    return list;
}

// A month's company and region sums added up from the month's branches already read.
RegionSums regionTotals(const std::vector<Branch>& branches)
{
    RegionSums out;
    Sums* current = nullptr;
    QString currentRegion;
    for (const Branch& b : branches) {
        out.total.add(b);
        if (!current || b.region != currentRegion) {
            current = &out.regions[b.region];
            currentRegion = b.region;
        }
        current->add(b);
    }
    return out;
}

QString monthOf(const Database& db, const QString& column)
{
    return db.isPostgres() ? QStringLiteral("date_trunc('month', %1)::date").arg(column)
                           : QStringLiteral("date(%1, 'start of month')").arg(column);
}

} // namespace

std::vector<Branch> DailyRowsSource::branches(const cockpit::RefMonth& month)
{
    // One range seek on the leading column of the daily rows' index. The names are read later, for the few
    // branches the lists show.
    const QString sql = QStringLiteral(
        "SELECT m.cdfilial, f.cdareagere, m.vrfatliq, m.vrconsumo, m.vrmdo, m.vrdespesas "
        "FROM (SELECT cdfilial, SUM(vrfatliq) AS vrfatliq, SUM(vrconsumo) AS vrconsumo, "
        "             SUM(vrmdo) AS vrmdo, SUM(vrdespesas) AS vrdespesas "
        "      FROM movimento_diario "
        "      WHERE dtmovimento >= ? AND dtmovimento < ? "
        "      GROUP BY cdfilial) m "
        "JOIN filial f ON f.cdfilial = m.cdfilial "
        "ORDER BY m.cdfilial");
    // A row per branch: read in place, and a region's code made a QString only when it changes.
    std::vector<Branch> branches;
    QByteArray lastRegion;
    QString lastRegionText;
    m_db.forEachRow(sql, {m_db.dateValue(month), m_db.dateValue(month.next())}, [&](const Database::Row& row) {
        Branch b;
        b.code = row.integer(0);
        const QByteArray region = row.text(1);
        if (region != lastRegion || branches.empty()) {
            lastRegion = region;
            lastRegionText = QString::fromUtf8(region).trimmed();
        }
        b.region = lastRegionText;
        b.revenue = row.real(2);
        b.consumption = row.real(3);
        b.labour = row.real(4);
        b.expenses = row.real(5);
        branches.push_back(std::move(b));
    });
    return branches;
}

QMap<cockpit::RefMonth, RegionSums> DailyRowsSource::totals(const cockpit::RefMonth& first, const cockpit::RefMonth& last)
{
    return readTotals(QStringLiteral("SELECT %1, f.cdareagere, COUNT(DISTINCT d.cdfilial), SUM(d.vrfatliq), SUM(d.vrconsumo), "
                                     "SUM(d.vrmdo), SUM(d.vrdespesas) FROM movimento_diario d JOIN filial f ON f.cdfilial = d.cdfilial "
                                     "WHERE d.dtmovimento >= ? AND d.dtmovimento < ? GROUP BY 1, 2")
                          .arg(monthOf(m_db, QStringLiteral("d.dtmovimento"))),
                      {m_db.dateValue(first), m_db.dateValue(last.next())});
}

std::optional<MonthSource::Month> DailyRowsSource::month(const cockpit::RefMonth& month,
                                                         const QMap<cockpit::RefMonth, RegionSums>&)
{
    Month out;
    out.branches = branches(month);
    if (out.branches.empty())
        return std::nullopt;
    // Each branch's month-end stock, where there is one: both in code order, matched as they come.
    auto b = out.branches.begin();
    m_db.forEachRow(QStringLiteral("SELECT cdfilial, vrestoque FROM estoque_mensal WHERE mes = ? ORDER BY cdfilial"),
                    {m_db.dateValue(month)}, [&](const Database::Row& row) {
                        const qint64 code = row.integer(0);
                        while (b != out.branches.end() && b->code < code)
                            ++b;
                        if (b != out.branches.end() && b->code == code && !row.isNull(1))
                            b->stock = row.real(1);
                    });
    // Ranked here from every branch of the month.
    std::vector<Ranked> ranked;
    std::vector<Ranked> stocked;
    const double days = month.daysInMonth();
    for (Branch& branch : out.branches) {
        if (const auto r = resultShare(branch))
            ranked.push_back({&branch, *r});
        if (const auto d = stockDays(branch, days))
            stocked.push_back({&branch, *d});
    }
    for (const Ranked& r : firstTen(ranked, true))
        out.lists.best.push_back(*r.branch);
    for (const Ranked& r : firstTen(ranked, false))
        out.lists.worst.push_back(*r.branch);
    for (const Ranked& r : firstTen(stocked, true))
        out.lists.stock.push_back(*r.branch);
    out.totals = regionTotals(out.branches);
    return out;
}

std::vector<Branch> DailyRowsSource::branchRegions(const cockpit::RefMonth& month)
{
    return readBranchRegions(QStringLiteral("SELECT DISTINCT d.cdfilial, f.cdareagere FROM movimento_diario d JOIN filial f ON "
                                            "f.cdfilial = d.cdfilial WHERE d.dtmovimento >= ? AND d.dtmovimento < ?"),
                             {m_db.dateValue(month), m_db.dateValue(month.next())});
}

QMap<QString, double> DailyRowsSource::revenueUpTo(const cockpit::RefMonth& month, int lastDay)
{
    return readRevenueUpTo(QStringLiteral("SELECT d.dtmovimento, f.cdareagere, SUM(d.vrfatliq) FROM movimento_diario d "
                                          "JOIN filial f ON f.cdfilial = d.cdfilial WHERE d.dtmovimento >= ? AND d.dtmovimento < ? "
                                          "GROUP BY 1, 2"),
                           month, lastDay);
}

QMap<cockpit::RefMonth, Lists> DailyRowsSource::lists(const QList<cockpit::RefMonth>& months)
{
    QMap<cockpit::RefMonth, Lists> out;
    for (const cockpit::RefMonth& month : months) {
        std::vector<Branch> all = branches(month);
        std::vector<Ranked> ranked;
        for (Branch& b : all)
            if (const auto r = resultShare(b))
                ranked.push_back({&b, *r});
        Lists& lists = out[month];
        for (const Ranked& r : firstTen(ranked, true))
            lists.best << r.branch->code;
        for (const Ranked& r : firstTen(ranked, false))
            lists.worst << r.branch->code;
    }
    return out;
}

std::vector<Branch> DailyRowsSource::regionBranches(const cockpit::RefMonth& month, const QString& region)
{
    return readBranchSums(QStringLiteral("SELECT f.cdfilial, f.nmfilial, SUM(d.vrfatliq), SUM(d.vrconsumo), SUM(d.vrmdo), "
                                         "SUM(d.vrdespesas) FROM filial f JOIN movimento_diario d ON d.cdfilial = f.cdfilial "
                                         "WHERE d.dtmovimento >= ? AND d.dtmovimento < ? AND f.cdareagere = ? "
                                         "GROUP BY f.cdfilial, f.nmfilial"),
                          {m_db.dateValue(month), m_db.dateValue(month.next()), region});
}

} // namespace appserver::figures
