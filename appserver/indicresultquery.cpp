#include "indicresultquery.h"

#include "ckppackets.h"
#include "database.h"
#include "packetbuilder.h"

#include <QHash>
#include <QMap>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace appserver {

namespace {

constexpr int kListSize = 10;
constexpr double kNoRevenue = 0.005;   // below half a cent there is nothing to take a percentage of

// The month's figures of one branch, in currency units.
struct Branch {
    qint64 code = 0;
    QString name;
    QString region;
    double revenue = 0;
    double consumption = 0;
    double labour = 0;
    double expenses = 0;
    double cost() const { return consumption + labour + expenses; }
    double result() const { return revenue - cost(); }
};

struct Sums {
    int branches = 0;
    double revenue = 0;
    double consumption = 0;
    double labour = 0;
    double expenses = 0;
    void add(const Branch& b)
    {
        ++branches;
        revenue += b.revenue;
        consumption += b.consumption;
        labour += b.labour;
        expenses += b.expenses;
    }
    double cost() const { return consumption + labour + expenses; }
    double result() const { return revenue - cost(); }
};

std::optional<double> rawPercent(double part, double whole)
{
    if (std::fabs(whole) < kNoRevenue)
        return std::nullopt;
    return part * 100.0 / whole;
}

// Scaled before rounding so that exact decimal inputs round as written (47.5 → 48, not 47.4999…).
std::optional<double> percent(double part, double whole)
{
    if (std::fabs(whole) < kNoRevenue)
        return std::nullopt;
    return std::round(part * 1000.0 / whole) / 10.0;
}

double oneDecimal(double value)
{
    return std::round(value * 10.0) / 10.0;
}

double millions(double value)
{
    return std::round(value / 10000.0) / 100.0;
}

void addIndicadoresRow(PacketBuilder& p, const QString& code, const Sums& s, const QString& lastLoad)
{
    p.row()
        .text(code)
        .number(s.branches)
        .number(millions(s.revenue))
        .number(percent(s.consumption, s.revenue))
        .number(percent(s.labour, s.revenue))
        .number(percent(s.expenses, s.revenue))
        .number(percent(s.result(), s.revenue));
    if (lastLoad.isEmpty())
        p.null();
    else
        p.text(lastLoad);
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

CkpData IndicResultQuery::run(const QDate& date)
{
    CkpData data;
    data.firstDay = QDate(date.year(), date.month(), 1);
    const QDate nextMonth = data.firstDay.addMonths(1);

    // Either way one range seek: the month's summary rows by its key, or the month's daily rows on the
    // leading column of their covering index.
    QSqlQuery figures = m_db.prepare(m_source == Source::MonthlySummary
        ? QStringLiteral(
            "SELECT f.cdfilial, f.nmfilial, f.cdareagere, m.vrfatliq, m.vrconsumo, m.vrmdo, m.vrdespesas "
            "FROM movimento_mensal m "
            "JOIN filial f ON f.cdfilial = m.cdfilial "
            "WHERE m.mes = ? AND m.qtdias > 0 "
            "ORDER BY m.cdfilial")
        : QStringLiteral(
            "SELECT f.cdfilial, f.nmfilial, f.cdareagere, m.vrfatliq, m.vrconsumo, m.vrmdo, m.vrdespesas "
            "FROM (SELECT cdfilial, SUM(vrfatliq) AS vrfatliq, SUM(vrconsumo) AS vrconsumo, "
            "             SUM(vrmdo) AS vrmdo, SUM(vrdespesas) AS vrdespesas "
            "      FROM movimento_diario "
            "      WHERE dtmovimento >= ? AND dtmovimento < ? "
            "      GROUP BY cdfilial) m "
            "JOIN filial f ON f.cdfilial = m.cdfilial "
            "ORDER BY f.cdfilial"));
    figures.addBindValue(m_db.dateValue(data.firstDay));
    if (m_source == Source::DailyRows)
        figures.addBindValue(m_db.dateValue(nextMonth));
    Database::exec(figures);

    std::vector<Branch> branches;
    while (figures.next()) {
        Branch b;
        b.code = figures.value(0).toLongLong();
        b.name = figures.value(1).toString().trimmed();
        b.region = figures.value(2).toString().trimmed();
        b.revenue = figures.value(3).toDouble();
        b.consumption = figures.value(4).toDouble();
        b.labour = figures.value(5).toDouble();
        b.expenses = figures.value(6).toDouble();
        branches.push_back(std::move(b));
    }

    PacketBuilder indicadores(CkpPackets::Indicadores());
    PacketBuilder top10(CkpPackets::Ranking());
    PacketBuilder bottom10(CkpPackets::Ranking());
    PacketBuilder grafPizza(CkpPackets::GrafPizza());
    PacketBuilder diasEstoque(CkpPackets::DiasEstoque());
    data.quinto = kpd::rpc::DataPacket();
    data.sexto = kpd::rpc::DataPacket();

    if (!branches.empty()) {
        QSqlQuery lastLoadQuery = m_db.prepare(QStringLiteral("SELECT MAX(dtcarga) FROM carga_etl"));
        Database::exec(lastLoadQuery);
        QString lastLoad;
        if (lastLoadQuery.next()) {
            const QDateTime when = Database::toDateTime(lastLoadQuery.value(0));
            if (when.isValid())
                lastLoad = when.date().toString(QStringLiteral("dd/MM/yyyy"));
        }

        Sums total;
        QMap<QString, Sums> regions;   // ordered by code
        for (const Branch& b : branches) {
            total.add(b);
            regions[b.region].add(b);
        }
        addIndicadoresRow(indicadores, QStringLiteral("TOTAL"), total, lastLoad);
        for (auto it = regions.cbegin(); it != regions.cend(); ++it) {
            addIndicadoresRow(indicadores, it.key(), it.value(), lastLoad);
            grafPizza.row()
                .text(it.key())
                .number(millions(it.value().revenue))
                .number(millions(it.value().cost()))
                .number(millions(it.value().result()));
        }

        // Best and worst by result; ties go to the lower branch code in both lists.
        struct Ranked {
            const Branch* branch;
            double result;
        };
        std::vector<Ranked> ranked;
        for (const Branch& b : branches) {
            if (const auto r = rawPercent(b.result(), b.revenue))
                ranked.push_back({&b, *r});
        }
        std::vector<Ranked> best = ranked;
        std::stable_sort(best.begin(), best.end(), [](const Ranked& a, const Ranked& b) { return a.result > b.result; });
        std::vector<Ranked> worst = ranked;
        std::stable_sort(worst.begin(), worst.end(), [](const Ranked& a, const Ranked& b) { return a.result < b.result; });
        const auto fill = [](PacketBuilder& p, const std::vector<Ranked>& list) {
            for (int i = 0; i < kListSize && i < static_cast<int>(list.size()); ++i)
                p.row()
                    .text(list[i].branch->region)
                    .text(list[i].branch->name)
                    .number(oneDecimal(list[i].result))
                    .number(i + 1);
        };
        fill(top10, best);
        fill(bottom10, worst);

        // Days of stock: month-end stock over the month's average daily consumption.
        QSqlQuery stock = m_db.prepare(QStringLiteral("SELECT cdfilial, vrestoque FROM estoque_mensal WHERE mes = ?"));
        stock.addBindValue(m_db.dateValue(data.firstDay));
        Database::exec(stock);
        QHash<qint64, double> stockByBranch;
        while (stock.next())
            stockByBranch.insert(stock.value(0).toLongLong(), stock.value(1).toDouble());
        const double days = data.firstDay.daysInMonth();
        struct Stocked {
            const Branch* branch;
            double days;
        };
        std::vector<Stocked> stocked;
        for (const Branch& b : branches) {
            const auto it = stockByBranch.constFind(b.code);
            if (it == stockByBranch.cend() || b.consumption <= 0)
                continue;
            stocked.push_back({&b, it.value() * days / b.consumption});
        }
        std::stable_sort(stocked.begin(), stocked.end(), [](const Stocked& a, const Stocked& b) { return a.days > b.days; });
        for (int i = 0; i < kListSize && i < static_cast<int>(stocked.size()); ++i)
            diasEstoque.row()
                .text(stocked[i].branch->region)
                .number(i + 1)
                .text(stocked[i].branch->name)
                .number(oneDecimal(stocked[i].days));
    }

    data.indicadores = indicadores.take();
    data.top10 = top10.take();
    data.bottom10 = bottom10.take();
    data.grafPizza = grafPizza.take();
    data.diasEstoque = diasEstoque.take();
    return data;
}

} // namespace appserver
