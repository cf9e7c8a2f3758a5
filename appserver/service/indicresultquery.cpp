#include "indicresultquery.h"

#include "figurescodec.h"
#include "database.h"
#include "monthsums.h"
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

namespace {

// The month's branches in code order, each with its region and sums. Either way one range seek: the
// month's summary rows on their covering index, or the month's daily rows on the leading column of
// theirs. The names are read later, for the few branches the lists show.
std::vector<Branch> readBranches(Database& db, IndicResultQuery::Source source, const cockpit::RefMonth& month)
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
    QVariantList params{db.dateValue(month)};
    if (source == IndicResultQuery::Source::DailyRows)
        params << db.dateValue(month.next());

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
void readStock(Database& db, const cockpit::RefMonth& month, std::vector<Branch>& branches)
{
    // Both in code order, read from covering indexes: matched as they come.
    auto b = branches.begin();
    db.forEachRow(QStringLiteral("SELECT cdfilial, vrestoque FROM estoque_mensal WHERE mes = ? ORDER BY cdfilial"),
                  {db.dateValue(month)}, [&](const Database::Row& row) {
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
void fillTotals(const RegionSums& sums, cockpit::MonthFigures& out)
{
    out.scopes.append(scopeFigures(QLatin1String(cockpit::kCompanyCode), sums.total));
    for (auto it = sums.regions.cbegin(); it != sums.regions.cend(); ++it) {
        out.scopes.append(scopeFigures(it.key(), it.value()));
        out.slices.append({it.key(), millions(it.value().revenue), millions(it.value().cost()), millions(it.value().result())});
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

// The month's three lists, each branch with its figures: the best and worst ten by result share, and the
// ten with the most days of stock (month-end stock over the month's average daily consumption).
struct MonthLists {
    std::vector<Branch> best;
    std::vector<Branch> worst;
    std::vector<Branch> stock;
};

std::optional<double> resultShare(const Branch& b)
{
    return rawPercent(b.result(), b.revenue);
}

std::optional<double> stockDays(const Branch& b, double days)
{
    if (!b.stock || !(b.consumption > 0))
        return std::nullopt;
    return *b.stock * days / b.consumption;
}

// Ranked here from every branch of the month.
MonthLists listsFromBranches(std::vector<Branch>& branches, const cockpit::RefMonth& month)
{
    std::vector<Ranked> ranked;
    std::vector<Ranked> stocked;
    const double days = month.daysInMonth();
    for (Branch& b : branches) {
        if (const auto r = resultShare(b))
            ranked.push_back({&b, *r});
        if (const auto d = stockDays(b, days))
            stocked.push_back({&b, *d});
    }
    MonthLists out;
    for (const Ranked& r : firstTen(ranked, true))
        out.best.push_back(*r.branch);
    for (const Ranked& r : firstTen(ranked, false))
        out.worst.push_back(*r.branch);
    for (const Ranked& r : firstTen(stocked, true))
        out.stock.push_back(*r.branch);
    return out;
}

// The figure each list is ranked by, as its index holds it (docs/schema-*.sql): on PostgreSQL a stored
// column; on SQLite the index's own expression, which the queries must name exactly so for the engine to
// read the index instead of sorting the month.
QString rankingExpression(const Database& db)
{
    return db.isPostgres() ? QStringLiteral("pcresultado")
                           : QStringLiteral("(CASE WHEN qtdias > 0 AND vrfatliq >= 0.005 "
                                            "THEN (vrfatliq - (vrconsumo + vrmdo + vrdespesas)) * 100.0 / vrfatliq END)");
}

QString stockExpression(const Database& db)
{
    return db.isPostgres() ? QStringLiteral("nrdiasestoque")
                           : QStringLiteral("(CASE WHEN qtdias > 0 AND vrestoque IS NOT NULL AND vrconsumo > 0 "
                                            "THEN vrestoque * (julianday(mes, '+1 month') - julianday(mes)) / vrconsumo END)");
}

// The first ten entries of a ranking index for a month, in list order (ties to the lower code); a branch
// that filial does not know is not listed, as in the lists ranked from every branch. %1 is what to select.
QString firstOfIndex(const QString& select, const QString& expression, bool descending, int part)
{
    return QStringLiteral("SELECT * FROM (SELECT %1 FROM movimento_mensal WHERE mes = ? AND %2 IS NOT NULL "
                          "AND EXISTS (SELECT 1 FROM filial f WHERE f.cdfilial = movimento_mensal.cdfilial) "
                          "ORDER BY %2 %3, cdfilial LIMIT %4) AS l%5")
        .arg(select, expression, descending ? QStringLiteral("DESC") : QStringLiteral("ASC"))
        .arg(kListSize)
        .arg(part);
}

// The month's lists from the first rows of the ranking indexes: some thirty rows, whatever the number of
// branches, in one statement.
MonthLists listsFromIndexes(Database& db, const cockpit::RefMonth& month)
{
    const QString columns = QStringLiteral(
        "%1 AS lista, cdfilial, (SELECT f.cdareagere FROM filial f WHERE f.cdfilial = movimento_mensal.cdfilial) AS regiao, "
        "vrfatliq, vrconsumo, vrmdo, vrdespesas, vrestoque");
    const QString sql = QStringList{firstOfIndex(columns.arg(0), rankingExpression(db), true, 0),
                                    firstOfIndex(columns.arg(1), rankingExpression(db), false, 1),
                                    firstOfIndex(columns.arg(2), stockExpression(db), true, 2)}
                            .join(QStringLiteral(" UNION ALL "));
    const QVariant first = db.dateValue(month);
    MonthLists out;
    db.forEachRow(sql, {first, first, first}, [&](const Database::Row& row) {
        Branch b;
        b.code = row.integer(1);
        b.region = QString::fromUtf8(row.text(2)).trimmed();
        b.revenue = row.real(3);
        b.consumption = row.real(4);
        b.labour = row.real(5);
        b.expenses = row.real(6);
        if (!row.isNull(7))
            b.stock = row.real(7);
        const qint64 list = row.integer(0);
        (list == 0 ? out.best : list == 1 ? out.worst : out.stock).push_back(std::move(b));
    });
    return out;
}

// The lists, with the names of the branches they show read in one statement.
void fillLists(Database& db, MonthLists& lists, cockpit::MonthFigures& out)
{
    QList<Branch*> shown;
    for (auto* list : {&lists.best, &lists.worst, &lists.stock})
        for (Branch& b : *list)
            shown << &b;
    readNames(db, shown);

    const double days = out.month.daysInMonth();
    const auto fill = [&](QVector<cockpit::ListedBranch>& to, const std::vector<Branch>& list, bool stock) {
        for (size_t i = 0; i < list.size(); ++i)
            to.append({list[i].region, list[i].name,
                       oneDecimal(stock ? *stockDays(list[i], days) : *resultShare(list[i])), static_cast<int>(i) + 1});
    };
    fill(out.top10, lists.best, false);
    fill(out.bottom10, lists.worst, false);
    fill(out.stock, lists.stock, true);
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
QMap<cockpit::RefMonth, RegionSums> monthTotals(Database& db, IndicResultQuery::Source source, const cockpit::RefMonth& first,
                                                const cockpit::RefMonth& last)
{
    QMap<cockpit::RefMonth, RegionSums> months;
    const bool summary = source == IndicResultQuery::Source::MonthlySummary;
    const QString sql = summary
        ? QStringLiteral("SELECT mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas "
                         "FROM movimento_regional_mensal WHERE mes >= ? AND mes <= ? AND qtfiliais > 0 ORDER BY mes, cdareagere")
        : QStringLiteral("SELECT %1, f.cdareagere, COUNT(DISTINCT d.cdfilial), SUM(d.vrfatliq), SUM(d.vrconsumo), "
                         "SUM(d.vrmdo), SUM(d.vrdespesas) FROM movimento_diario d JOIN filial f ON f.cdfilial = d.cdfilial "
                         "WHERE d.dtmovimento >= ? AND d.dtmovimento < ? GROUP BY 1, 2")
              .arg(monthOf(db, QStringLiteral("d.dtmovimento")));
    db.forEachRow(sql, {db.dateValue(first), db.dateValue(summary ? last : last.next())}, [&](const Database::Row& row) {
        RegionSums& month = months[row.month(0)];
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
std::vector<Branch> branchRegions(Database& db, IndicResultQuery::Source source, const cockpit::RefMonth& month)
{
    const bool summary = source == IndicResultQuery::Source::MonthlySummary;
    const QString sql = summary
        ? QStringLiteral("SELECT m.cdfilial, f.cdareagere FROM movimento_mensal m JOIN filial f ON f.cdfilial = m.cdfilial "
                         "WHERE m.mes = ? AND m.qtdias > 0")
        : QStringLiteral("SELECT DISTINCT d.cdfilial, f.cdareagere FROM movimento_diario d JOIN filial f ON f.cdfilial = d.cdfilial "
                         "WHERE d.dtmovimento >= ? AND d.dtmovimento < ?");
    QVariantList params{db.dateValue(month)};
    if (!summary)
        params << db.dateValue(month.next());
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
QMap<QString, double> revenueUpTo(Database& db, IndicResultQuery::Source source, const cockpit::RefMonth& month, int lastDay)
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
    db.forEachRow(sql, {db.dateValue(month), db.dateValue(month.next())}, [&](const Database::Row& row) {
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

// Each month's Top 10 and Bottom 10 by result share, as codes: the first rows of the ranking index (ties to
// the lower code, branches without a share left out, as the lists of the month shown), every list in one
// statement; or ranked here from the branches summed from the daily rows.
struct Lists {
    QList<qint64> best;
    QList<qint64> worst;
};

QMap<cockpit::RefMonth, Lists> listsOf(Database& db, IndicResultQuery::Source source, const QList<cockpit::RefMonth>& months)
{
    QMap<cockpit::RefMonth, Lists> out;
    if (months.isEmpty())
        return out;
    if (source == IndicResultQuery::Source::DailyRows) {
        for (const cockpit::RefMonth& month : months) {
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
    QString sql;
    QVariantList params;
    if (db.isPostgres()) {
        // One small statement whatever the number of months: PostgreSQL plans a statement of twenty-two
        // parts anew on each of a connection's first calls, at a cost above that of reading them.
        QStringList days;
        for (const cockpit::RefMonth& month : months)
            days << month.firstDay().toString(Qt::ISODate);
        const QString part = QStringLiteral("(SELECT %1 AS lista, cdfilial FROM movimento_mensal WHERE mes = m.mes AND pcresultado "
                                            "IS NOT NULL AND EXISTS (SELECT 1 FROM filial f WHERE f.cdfilial = movimento_mensal.cdfilial) "
                                            "ORDER BY pcresultado %2, cdfilial LIMIT %3)");
        sql = QStringLiteral("SELECT l.lista, m.mes, l.cdfilial FROM unnest(?::date[]) AS m(mes) CROSS JOIN LATERAL (%1 UNION ALL %2) AS l")
                  .arg(part.arg(1).arg(QStringLiteral("DESC")).arg(kListSize), part.arg(0).arg(QStringLiteral("ASC")).arg(kListSize));
        params << QVariant(QLatin1Char('{') + days.join(QLatin1Char(',')) + QLatin1Char('}'));
    } else {
        QStringList parts;
        for (const cockpit::RefMonth& month : months) {
            for (const bool best : {true, false}) {
                parts << firstOfIndex(QStringLiteral("%1 AS lista, mes, cdfilial").arg(best ? 1 : 0), rankingExpression(db), best,
                                      int(parts.size()));
                params << db.dateValue(month);
            }
        }
        sql = parts.join(QStringLiteral(" UNION ALL "));
    }
    db.forEachRow(sql, params, [&](const Database::Row& row) {
        Lists& lists = out[row.month(1)];
        (row.integer(0) == 1 ? lists.best : lists.worst) << row.integer(2);
    });
    return out;
}

// The months of the year in which each branch of this month's lists was in the same list.
std::vector<Targets::Listed> chronicCases(Database& db, IndicResultQuery::Source source, const cockpit::RefMonth& month,
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
    for (int place = 0; place < best.size(); ++place)
        counts[best[place]].placeTop = place + 1;
    for (int place = 0; place < worst.size(); ++place)
        counts[worst[place]].placeBottom = place + 1;
    QList<cockpit::RefMonth> before;
    for (cockpit::RefMonth back = month.previous(); before.size() < 11; back = back.previous())
        before << back;
    QMap<cockpit::RefMonth, Lists> year = listsOf(db, source, before);
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

cockpit::MonthFigures IndicResultQuery::figures(const cockpit::RefMonth& month)
{
    cockpit::MonthFigures out;
    out.month = month;
    const cockpit::RefMonth yearBefore = month.yearBefore();
    const bool summary = m_source == Source::MonthlySummary;

    // The thirteen months ending with this one, this one's totals among them. From the summaries a month
    // is read from its region totals and the first rows of its ranking indexes, never branch by branch;
    // from the daily rows every branch is summed and ranked here.
    const QMap<cockpit::RefMonth, RegionSums> history = monthTotals(m_db, m_source, yearBefore, month);
    std::vector<Branch> branches;
    if (!summary)
        branches = readBranches(m_db, m_source, month);
    const bool hasFigures = summary ? history.contains(month) : !branches.empty();
    QList<qint64> best, worst;
    if (hasFigures) {
        MonthLists lists;
        if (summary) {
            lists = listsFromIndexes(m_db, month);
        } else {
            readStock(m_db, month, branches);
            lists = listsFromBranches(branches, month);
        }
        out.lastLoad = lastLoad(m_db);
        fillTotals(summary ? history.value(month) : regionTotals(branches), out);
        fillLists(m_db, lists, out);
        for (const Branch& b : lists.best)
            best << b.code;
        for (const Branch& b : lists.worst)
            worst << b.code;
    }
    // What the month's figures mean: the company's targets (or its branches' budgets added up), the last
    // day with figures, the listed branches' budgets and how often they were listed, and the year's months.
    // Branch budgets to add up are the one reason to read a month's every branch from the summary.
    QMap<cockpit::RefMonth, Targets> targets = Targets::readMonths(m_db, yearBefore, month, m_targets);
    for (auto it = history.cbegin(); it != history.cend(); ++it) {
        Targets& budgets = targets[it.key()];
        if (!budgets.needsBranchSums())
            continue;
        budgets.addBranchSums(!summary && it.key() == month ? branches : branchRegions(m_db, m_source, it.key()));
    }
    const Targets& own = targets[month];
    const QDate lastFigures = hasFigures ? lastDayWithFigures(m_db, month) : QDate();
    out.targets = own.rows(lastFigures, {}, hasFigures ? chronicCases(m_db, m_source, month, best, worst)
                                                       : std::vector<Targets::Listed>());
    // Last year's pace: only while this month is partial.
    QMap<QString, double> paceYearBefore;
    if (history.contains(yearBefore) && lastFigures.isValid() && lastFigures.day() != lastFigures.daysInMonth())
        paceYearBefore = revenueUpTo(m_db, m_source, yearBefore, std::min(lastFigures.day(), yearBefore.daysInMonth()));
    for (auto it = history.cbegin(); hasFigures && it != history.cend(); ++it) {
        const Targets& budgets = targets[it.key()];
        const auto write = [&](const QString& scope, const Sums& s) {
            const Targets::Row goal = budgets.scopes.value(scope);
            cockpit::HistoryMonth h;
            h.month = it.key();
            h.scope = scope;
            h.values = shownValues(s);
            h.revenue = exactMillions(s.revenue);
            h.result = exactMillions(s.result());
            h.revenueTarget = goal[0];
            h.resultTarget = goal[4];
            const auto pace = paceYearBefore.constFind(scope);
            if (it.key() == yearBefore && pace != paceYearBefore.cend())
                h.revenueToDay = exactMillions(pace.value());
            out.history.append(h);
        };
        write(QLatin1String(cockpit::kCompanyCode), it.value().total);
        for (auto region = it.value().regions.cbegin(); region != it.value().regions.cend(); ++region)
            write(region.key(), region.value());
    }
    return out;
}

CkpData IndicResultQuery::run(const cockpit::RefMonth& month)
{
    auto f = std::make_shared<const cockpit::MonthFigures>(figures(month));
    cockpit::EncodedMonth p = cockpit::EncodeMonth(*f);
    CkpData data;
    data.month = f->month;
    data.figures = f;
    data.indicadores = std::move(p.indicadores);
    data.top10 = std::move(p.top10);
    data.bottom10 = std::move(p.bottom10);
    data.grafPizza = std::move(p.grafPizza);
    data.quinto = std::move(p.metas);
    data.sexto = std::move(p.comparacoes);
    data.diasEstoque = std::move(p.diasEstoque);
    return data;
}

} // namespace appserver
