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

// A month's company and region sums: from the kept region totals (a row per region), or added up from the
// month's branches already read.
RegionSums regionTotals(Database& db, const QDate& month)
{
    RegionSums out;
    db.forEachRow(QStringLiteral("SELECT cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas "
                                 "FROM movimento_regional_mensal WHERE mes = ? AND qtfiliais > 0 ORDER BY cdareagere"),
                  {db.dateValue(month)}, [&](const Database::Row& row) {
                      Sums& r = out.regions[QString::fromUtf8(row.text(0)).trimmed()];
                      const int branches = static_cast<int>(row.integer(1));
                      r.branches += branches;
                      r.revenue += row.real(2);
                      r.consumption += row.real(3);
                      r.labour += row.real(4);
                      r.expenses += row.real(5);
                  });
    for (const Sums& r : out.regions) {
        out.total.branches += r.branches;
        out.total.revenue += r.revenue;
        out.total.consumption += r.consumption;
        out.total.labour += r.labour;
        out.total.expenses += r.expenses;
    }
    return out;
}

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
               PacketBuilder& bottom10, PacketBuilder& diasEstoque)
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
    for (size_t i = 0; i < mostStock.size(); ++i)
        diasEstoque.row()
            .text(mostStock[i].branch->region)
            .number(static_cast<int>(i) + 1)
            .text(mostStock[i].branch->name)
            .number(oneDecimal(mostStock[i].value));
}

// The company's and the regions' figures of another month.
void addComparison(Database& db, IndicResultQuery::Source source, const QDate& month, PacketBuilder& out)
{
    Sums total;
    QMap<QString, Sums> regions;
    if (source == IndicResultQuery::Source::MonthlySummary) {
        RegionSums sums = regionTotals(db, month);
        total = sums.total;
        regions = std::move(sums.regions);
    } else {
        db.forEachRow(QStringLiteral("SELECT f.cdareagere, SUM(d.vrfatliq), SUM(d.vrconsumo), SUM(d.vrmdo), SUM(d.vrdespesas) "
                                     "FROM movimento_diario d JOIN filial f ON f.cdfilial = d.cdfilial "
                                     "WHERE d.dtmovimento >= ? AND d.dtmovimento < ? GROUP BY f.cdareagere"),
                      {db.dateValue(month), db.dateValue(month.addMonths(1))}, [&](const Database::Row& row) {
                          Branch sums;
                          sums.revenue = row.real(1);
                          sums.consumption = row.real(2);
                          sums.labour = row.real(3);
                          sums.expenses = row.real(4);
                          total.add(sums);
                          regions[QString::fromUtf8(row.text(0)).trimmed()].add(sums);
                      });
    }
    if (regions.isEmpty())
        return;
    const auto write = [&](const QString& scope, const Sums& s) {
        out.row()
            .date(month)
            .text(scope)
            .number(millions(s.revenue))
            .number(percent(s.consumption, s.revenue))
            .number(percent(s.labour, s.revenue))
            .number(percent(s.expenses, s.revenue))
            .number(percent(s.result(), s.revenue));
    };
    write(QStringLiteral("TOTAL"), total);
    for (auto it = regions.cbegin(); it != regions.cend(); ++it)
        write(it.key(), it.value());
}

} // namespace

CkpData IndicResultQuery::run(const QDate& date)
{
    CkpData data;
    data.firstDay = cockpit::RefMonth(date).firstDay();
    std::vector<Branch> branches = readBranches(m_db, m_source, data.firstDay);

    PacketBuilder indicadores(CkpPackets::Indicadores());
    PacketBuilder top10(CkpPackets::Ranking());
    PacketBuilder bottom10(CkpPackets::Ranking());
    PacketBuilder grafPizza(CkpPackets::GrafPizza());
    PacketBuilder diasEstoque(CkpPackets::DiasEstoque());
    if (!branches.empty()) {
        readStock(m_db, data.firstDay, branches);
        const RegionSums sums = m_source == Source::MonthlySummary ? regionTotals(m_db, data.firstDay)
                                                                   : regionTotals(branches);
        fillTotals(sums, lastLoad(m_db), indicadores, grafPizza);
        fillLists(m_db, data.firstDay, branches, top10, bottom10, diasEstoque);
    }
    data.indicadores = indicadores.take();
    data.top10 = top10.take();
    data.bottom10 = bottom10.take();
    data.grafPizza = grafPizza.take();
    // What the month's figures mean: the company's targets (or its branches' budgets added up), the last
    // day with figures, and the month before and a year before.
    Targets targets = Targets::read(m_db, data.firstDay, m_targets);
    targets.addBranchSums(branches);
    data.quinto = targets.packet(branches.empty() ? QDate() : lastDayWithFigures(m_db, data.firstDay));
    PacketBuilder comparacoes(CkpPackets::Comparacoes());
    if (!branches.empty()) {
        for (const cockpit::RefMonth& other : cockpit::RefMonth(data.firstDay).comparisons())
            addComparison(m_db, m_source, other.firstDay(), comparacoes);
    }
    data.sexto = comparacoes.take();
    data.diasEstoque = diasEstoque.take();
    return data;
}

} // namespace appserver
