#include "indicresultquery.h"

#include "ckppackets.h"
#include "database.h"
#include "monthfigures.h"
#include "packetbuilder.h"
#include "refmonth.h"

#include <QHash>
#include <QMap>
#include <QSqlQuery>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace appserver {

using namespace figures;

namespace {

constexpr int kListSize = 10;
// Fills in the names of the given branches, in one statement.
void readNames(Database& db, const QList<Branch*>& branches)
{
    if (branches.isEmpty())
        return;
    QStringList marks;
    QVariantList codes;
    for (const Branch* b : branches) {
        marks << QStringLiteral("?");
        codes << QVariant::fromValue(b->code);
    }
    QHash<qint64, QString> byCode;
    db.forEachRow(QStringLiteral("SELECT cdfilial, nmfilial FROM filial WHERE cdfilial IN (%1)").arg(marks.join(QLatin1Char(','))),
                  codes, [&](const Database::Row& row) {
                      byCode.insert(row.integer(0), QString::fromUtf8(row.text(1)).trimmed());
                  });
    for (Branch* b : branches)
        b->name = byCode.value(b->code);
}

} // namespace

kpd::rpc::DataPacket IndicResultQuery::emptyIndicadores()
{
    return PacketBuilder(CkpPackets::Indicadores()).take();
}

kpd::rpc::DataPacket IndicResultQuery::emptyRanking()
{
    return PacketBuilder(CkpPackets::Ranking()).take();
}

kpd::rpc::DataPacket IndicResultQuery::emptyGrafPizza()
{
    return PacketBuilder(CkpPackets::GrafPizza()).take();
}

kpd::rpc::DataPacket IndicResultQuery::emptyDiasEstoque()
{
    return PacketBuilder(CkpPackets::DiasEstoque()).take();
}

namespace {

// The month's branches in code order, each with its region and sums. Either way one range seek: the
// month's summary rows on their covering index, or the month's daily rows on the leading column of
// theirs. The names are read later, for the few branches the lists show.
std::vector<Branch> readBranches(Database& db, IndicResultQuery::Source source, const QDate& firstDay)
{
    const QString sql = source == IndicResultQuery::Source::MonthlySummary
        ? QStringLiteral(
            "SELECT m.cdfilial, f.cdareagere, m.vrfatliq, m.vrconsumo, m.vrmdo, m.vrdespesas "
            "FROM movimento_mensal m "
            "JOIN filial f ON f.cdfilial = m.cdfilial "
            "WHERE m.mes = ? AND m.qtdias > 0 "
            "ORDER BY m.cdfilial")
        : QStringLiteral(
            "SELECT m.cdfilial, f.cdareagere, m.vrfatliq, m.vrconsumo, m.vrmdo, m.vrdespesas "
            "FROM (SELECT cdfilial, SUM(vrfatliq) AS vrfatliq, SUM(vrconsumo) AS vrconsumo, "
            "             SUM(vrmdo) AS vrmdo, SUM(vrdespesas) AS vrdespesas "
            "      FROM movimento_diario "
            "      WHERE dtmovimento >= ? AND dtmovimento < ? "
            "      GROUP BY cdfilial) m "
            "JOIN filial f ON f.cdfilial = m.cdfilial "
            "ORDER BY m.cdfilial");
    QVariantList params{db.dateValue(firstDay)};
    if (source == IndicResultQuery::Source::DailyRows)
        params << db.dateValue(firstDay.addMonths(1));

    // A row per branch: read in place, and a region's code made a QString only when it changes.
    std::vector<Branch> branches;
    QByteArray lastRegion;
    QString lastRegionText;
    db.forEachRow(sql, params, [&](const Database::Row& row) {
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

// Each branch's month-end stock, where there is one.
void readStock(Database& db, const QDate& firstDay, std::vector<Branch>& branches)
{
    // Both in code order, read from covering indexes: matched as they come.
    auto b = branches.begin();
    db.forEachRow(QStringLiteral("SELECT cdfilial, vrestoque FROM estoque_mensal WHERE mes = ? ORDER BY cdfilial"),
                  {db.dateValue(firstDay)}, [&](const Database::Row& row) {
                      const qint64 code = row.integer(0);
                      while (b != branches.end() && b->code < code)
                          ++b;
                      if (b != branches.end() && b->code == code && !row.isNull(1))
                          b->stock = row.real(1);
                  });
}

struct RegionSums {
    Sums total;
    QMap<QString, Sums> regions;   // ordered by code
};

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

// TOTAL and one row per region in the indicators; one slice per region in the pie.
void fillTotals(const RegionSums& sums, const QString& loaded, PacketBuilder& indicadores, PacketBuilder& grafPizza)
{
    addIndicadoresRow(indicadores, QStringLiteral("TOTAL"), sums.total, loaded);
    for (auto it = sums.regions.cbegin(); it != sums.regions.cend(); ++it) {
        addIndicadoresRow(indicadores, it.key(), it.value(), loaded);
        grafPizza.row()
            .text(it.key())
            .number(millions(it.value().revenue))
            .number(millions(it.value().cost()))
            .number(millions(it.value().result()));
    }
}

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

// The best and worst ten by result, and the ten with the most days of stock, with their names.
void fillLists(Database& db, const QDate& firstDay, std::vector<Branch>& branches, PacketBuilder& top10,
               PacketBuilder& bottom10, PacketBuilder& diasEstoque, QList<qint64>& bestCodes, QList<qint64>& worstCodes)
{
    std::vector<Ranked> ranked;
    std::vector<Ranked> stocked;
    // Days of stock: month-end stock over the month's average daily consumption.
    const double days = firstDay.daysInMonth();
    for (Branch& b : branches) {
        if (const auto r = rawPercent(b.result(), b.revenue))
            ranked.push_back({&b, *r});
        if (b.stock && b.consumption > 0)
            stocked.push_back({&b, *b.stock * days / b.consumption});
    }
    const std::vector<Ranked> best = firstTen(ranked, true);
    const std::vector<Ranked> worst = firstTen(ranked, false);
    const std::vector<Ranked> mostStock = firstTen(stocked, true);

    QList<Branch*> shown;
    for (const auto* list : {&best, &worst, &mostStock}) {
        for (const Ranked& r : *list)
            shown << r.branch;
    }
    readNames(db, shown);

    const auto fill = [](PacketBuilder& p, const std::vector<Ranked>& list) {
        for (size_t i = 0; i < list.size(); ++i)
            p.row()
                .text(list[i].branch->region)
                .text(list[i].branch->name)
                .number(oneDecimal(list[i].value))
                .number(static_cast<int>(i) + 1);
    };
    fill(top10, best);
    fill(bottom10, worst);
    for (const Ranked& r : best)
        bestCodes << r.branch->code;
    for (const Ranked& r : worst)
        worstCodes << r.branch->code;
    for (size_t i = 0; i < mostStock.size(); ++i)
        diasEstoque.row()
            .text(mostStock[i].branch->region)
            .number(static_cast<int>(i) + 1)
            .text(mostStock[i].branch->name)
            .number(oneDecimal(mostStock[i].value));
}

// Money of the year's history to the hundredth of a cent, in millions: every amount is in cents, so this
// loses nothing, and the same figure reads the same whether added up from the summaries (whose REAL sums
// on SQLite are kept by adding changes) or from the daily rows.
double exactMillions(double value)
{
    return std::round(value * 1e4) / 1e10;
}

QString monthOf(const Database& db, const QString& column)
{
    return db.isPostgres() ? QStringLiteral("date_trunc('month', %1)::date").arg(column)
                           : QStringLiteral("date(%1, 'start of month')").arg(column);
}

// The company's and the regions' sums of each month from first to last that has figures: from the kept
// region totals (a few dozen rows a month), or summed from the daily rows.
QMap<QDate, RegionSums> monthTotals(Database& db, IndicResultQuery::Source source, const QDate& first, const QDate& last)
{
    QMap<QDate, RegionSums> months;
    const bool summary = source == IndicResultQuery::Source::MonthlySummary;
    const QString sql = summary
        ? QStringLiteral("SELECT mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas "
                         "FROM movimento_regional_mensal WHERE mes >= ? AND mes <= ? AND qtfiliais > 0 ORDER BY mes, cdareagere")
        : QStringLiteral("SELECT %1, f.cdareagere, COUNT(DISTINCT d.cdfilial), SUM(d.vrfatliq), SUM(d.vrconsumo), "
                         "SUM(d.vrmdo), SUM(d.vrdespesas) FROM movimento_diario d JOIN filial f ON f.cdfilial = d.cdfilial "
                         "WHERE d.dtmovimento >= ? AND d.dtmovimento < ? GROUP BY 1, 2")
              .arg(monthOf(db, QStringLiteral("d.dtmovimento")));
    db.forEachRow(sql, {db.dateValue(first), db.dateValue(summary ? last : last.addMonths(1))}, [&](const Database::Row& row) {
        RegionSums& month = months[row.date(0)];
        Sums& r = month.regions[QString::fromUtf8(row.text(1)).trimmed()];
        r.branches += static_cast<int>(row.integer(2));
        r.revenue += row.real(3);
        r.consumption += row.real(4);
        r.labour += row.real(5);
        r.expenses += row.real(6);
    });
    for (RegionSums& month : months) {
        for (const Sums& r : month.regions) {
            month.total.branches += r.branches;
            month.total.revenue += r.revenue;
            month.total.consumption += r.consumption;
            month.total.labour += r.labour;
            month.total.expenses += r.expenses;
        }
    }
    return months;
}

// A month's branches with figures, with their regions only: what adding up their budgets needs.
std::vector<Branch> branchRegions(Database& db, IndicResultQuery::Source source, const QDate& month)
{
    const bool summary = source == IndicResultQuery::Source::MonthlySummary;
    const QString sql = summary
        ? QStringLiteral("SELECT m.cdfilial, f.cdareagere FROM movimento_mensal m JOIN filial f ON f.cdfilial = m.cdfilial "
                         "WHERE m.mes = ? AND m.qtdias > 0")
        : QStringLiteral("SELECT DISTINCT d.cdfilial, f.cdareagere FROM movimento_diario d JOIN filial f ON f.cdfilial = d.cdfilial "
                         "WHERE d.dtmovimento >= ? AND d.dtmovimento < ?");
    QVariantList params{db.dateValue(month)};
    if (!summary)
        params << db.dateValue(month.addMonths(1));
    std::vector<Branch> branches;
    db.forEachRow(sql, params, [&](const Database::Row& row) {
        Branch b;
        b.code = row.integer(0);
        b.region = QString::fromUtf8(row.text(1)).trimmed();
        branches.push_back(std::move(b));
    });
    return branches;
}

// The same month a year before, up to a day: each region's revenue from the month's first day up to and
// including that day, and the company's. Empty unless the month has figures on every one of its days (a
// pace read from a month with gaps would mislead).
QMap<QString, double> revenueUpTo(Database& db, IndicResultQuery::Source source, const QDate& month, int lastDay)
{
    const bool summary = source == IndicResultQuery::Source::MonthlySummary;
    const QString sql = summary
        ? QStringLiteral("SELECT dtmovimento, cdareagere, vrfatliq FROM movimento_regional_diario "
                         "WHERE dtmovimento >= ? AND dtmovimento < ? AND qtfiliais > 0")
        : QStringLiteral("SELECT d.dtmovimento, f.cdareagere, SUM(d.vrfatliq) FROM movimento_diario d "
                         "JOIN filial f ON f.cdfilial = d.cdfilial WHERE d.dtmovimento >= ? AND d.dtmovimento < ? GROUP BY 1, 2");
    QSet<int> days;
    QMap<QString, double> sums;
    double company = 0;
    db.forEachRow(sql, {db.dateValue(month), db.dateValue(month.addMonths(1))}, [&](const Database::Row& row) {
        const int day = row.date(0).day();
        days.insert(day);
        double& region = sums[QString::fromUtf8(row.text(1)).trimmed()];
        if (day <= lastDay) {
            region += row.real(2);
            company += row.real(2);
        }
    });
    if (days.size() != month.daysInMonth())
        return {};
    sums.insert(QLatin1String(cockpit::kCompanyCode), company);
    return sums;
}

// The month's ranking expression as the index ix_movimento_mensal_resultado holds it (docs/schema-*.sql):
// the query must name it exactly so for the engine to read the index instead of sorting the month.
QString rankingExpression(const Database& db)
{
    return db.isPostgres()
        ? QStringLiteral("(CASE WHEN qtdias > 0 AND vrfatliq::float8 >= 0.005::float8 "
                         "THEN (vrfatliq::float8 - (vrconsumo::float8 + vrmdo::float8 + vrdespesas::float8)) * 100.0::float8 "
                         "/ vrfatliq::float8 END)")
        : QStringLiteral("(CASE WHEN qtdias > 0 AND vrfatliq >= 0.005 "
                         "THEN (vrfatliq - (vrconsumo + vrmdo + vrdespesas)) * 100.0 / vrfatliq END)");
}

// Each month's Top 10 and Bottom 10 by result share, as codes: the first rows of the ranking index (ties to
// the lower code, branches without a share left out, as the lists of the month shown), every list in one
// statement; or ranked here from the branches summed from the daily rows.
struct Lists {
    QList<qint64> best;
    QList<qint64> worst;
};

QMap<QDate, Lists> listsOf(Database& db, IndicResultQuery::Source source, const QList<QDate>& months)
{
    QMap<QDate, Lists> out;
    if (months.isEmpty())
        return out;
    if (source == IndicResultQuery::Source::DailyRows) {
        for (const QDate& month : months) {
            std::vector<Branch> branches = readBranches(db, source, month);
            std::vector<Ranked> ranked;
            for (Branch& b : branches)
                if (const auto r = rawPercent(b.result(), b.revenue))
                    ranked.push_back({&b, *r});
            Lists& lists = out[month];
            for (const Ranked& r : firstTen(ranked, true))
                lists.best << r.branch->code;
            for (const Ranked& r : firstTen(ranked, false))
                lists.worst << r.branch->code;
        }
        return out;
    }
    const QString expression = rankingExpression(db);
    QStringList parts;
    QVariantList params;
    for (const QDate& month : months) {
        for (const bool best : {true, false}) {
            parts << QStringLiteral("SELECT * FROM (SELECT %1 AS lista, mes, cdfilial FROM movimento_mensal "
                                    "WHERE mes = ? AND %2 IS NOT NULL "
                                    "AND EXISTS (SELECT 1 FROM filial f WHERE f.cdfilial = movimento_mensal.cdfilial) "
                                    "ORDER BY %2 %3, cdfilial LIMIT %4) AS l%5")
                         .arg(best ? 1 : 0)
                         .arg(expression, best ? QStringLiteral("DESC") : QStringLiteral("ASC"))
                         .arg(kListSize)
                         .arg(parts.size());
            params << db.dateValue(month);
        }
    }
    db.forEachRow(parts.join(QStringLiteral(" UNION ALL ")), params, [&](const Database::Row& row) {
        Lists& lists = out[row.date(1)];
        (row.integer(0) == 1 ? lists.best : lists.worst) << row.integer(2);
    });
    return out;
}

// The months of the year in which each branch of this month's lists was in the same list.
std::vector<Targets::Listed> chronicCases(Database& db, IndicResultQuery::Source source, const QDate& month,
                                          const QList<qint64>& best, const QList<qint64>& worst)
{
    QHash<qint64, Targets::Listed> counts;
    std::vector<qint64> order;
    for (const QList<qint64>* list : {&best, &worst})
        for (qint64 code : *list)
            if (!counts.contains(code)) {
                counts[code].code = code;
                order.push_back(code);
            }
    QList<QDate> before;
    for (int back = 1; back < 12; ++back)
        before << month.addMonths(-back);
    QMap<QDate, Lists> year = listsOf(db, source, before);
    year[month] = Lists{best, worst};
    for (const Lists& lists : year) {
        for (qint64 code : lists.best)
            if (auto it = counts.find(code); it != counts.end())
                ++it->monthsTop;
        for (qint64 code : lists.worst)
            if (auto it = counts.find(code); it != counts.end())
                ++it->monthsBottom;
    }
    std::vector<Targets::Listed> out;
    for (qint64 code : order)
        out.push_back(counts.value(code));
    return out;
}

} // namespace

CkpData IndicResultQuery::run(const QDate& date)
{
    CkpData data;
    data.firstDay = cockpit::RefMonth(date).firstDay();
    const QDate yearBefore = data.firstDay.addYears(-1);
    std::vector<Branch> branches = readBranches(m_db, m_source, data.firstDay);

    PacketBuilder indicadores(CkpPackets::Indicadores());
    PacketBuilder top10(CkpPackets::Ranking());
    PacketBuilder bottom10(CkpPackets::Ranking());
    PacketBuilder grafPizza(CkpPackets::GrafPizza());
    PacketBuilder diasEstoque(CkpPackets::DiasEstoque());
    QMap<QDate, RegionSums> history;
    QList<qint64> best, worst;
    if (!branches.empty()) {
        readStock(m_db, data.firstDay, branches);
        // The thirteen months ending with this one, this one's totals among them.
        history = monthTotals(m_db, m_source, yearBefore, data.firstDay);
        const RegionSums sums = m_source == Source::MonthlySummary ? history.value(data.firstDay) : regionTotals(branches);
        fillTotals(sums, lastLoad(m_db), indicadores, grafPizza);
        fillLists(m_db, data.firstDay, branches, top10, bottom10, diasEstoque, best, worst);
    }
    data.indicadores = indicadores.take();
    data.top10 = top10.take();
    data.bottom10 = bottom10.take();
    data.grafPizza = grafPizza.take();
    // What the month's figures mean: the company's targets (or its branches' budgets added up), the last
    // day with figures, the listed branches' budgets and how often they were listed, and the year's months.
    QMap<QDate, Targets> targets = Targets::readMonths(m_db, yearBefore, data.firstDay, m_targets);
    Targets& own = targets[data.firstDay];
    own.addBranchSums(branches);
    const QDate lastFigures = branches.empty() ? QDate() : lastDayWithFigures(m_db, data.firstDay);
    data.quinto = own.packet(lastFigures, {}, branches.empty() ? std::vector<Targets::Listed>()
                                                               : chronicCases(m_db, m_source, data.firstDay, best, worst));
    // Last year's pace: only while this month is partial.
    QMap<QString, double> paceYearBefore;
    if (history.contains(yearBefore) && lastFigures.isValid() && lastFigures.day() != lastFigures.daysInMonth())
        paceYearBefore = revenueUpTo(m_db, m_source, yearBefore, std::min(lastFigures.day(), yearBefore.daysInMonth()));
    PacketBuilder comparacoes(CkpPackets::Comparacoes());
    for (auto month = history.cbegin(); month != history.cend(); ++month) {
        Targets& budgets = targets[month.key()];
        if (month.key() != data.firstDay && budgets.needsBranchSums())
            budgets.addBranchSums(branchRegions(m_db, m_source, month.key()));
        const auto write = [&](const QString& scope, const Sums& s) {
            const Targets::Row goal = budgets.scopes.value(scope);
            comparacoes.row()
                .date(month.key())
                .text(scope)
                .number(millions(s.revenue))
                .number(percent(s.consumption, s.revenue))
                .number(percent(s.labour, s.revenue))
                .number(percent(s.expenses, s.revenue))
                .number(percent(s.result(), s.revenue))
                .number(exactMillions(s.revenue))
                .number(exactMillions(s.result()))
                .number(goal[0])
                .number(goal[4]);
            const auto pace = paceYearBefore.constFind(scope);
            if (month.key() == yearBefore && pace != paceYearBefore.cend())
                comparacoes.number(exactMillions(pace.value()));
            else
                comparacoes.null();
        };
        write(QLatin1String(cockpit::kCompanyCode), month.value().total);
        for (auto it = month.value().regions.cbegin(); it != month.value().regions.cend(); ++it)
            write(it.key(), it.value());
    }
    data.sexto = comparacoes.take();
    data.diasEstoque = diasEstoque.take();
    return data;
}

} // namespace appserver
