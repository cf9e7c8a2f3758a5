#include "indicresultquery.h"

#include "figurescodec.h"
#include "database.h"
#include "monthsource.h"
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

// TOTAL and one row per region in the indicators; one slice per region in the pie.
void fillTotals(const RegionSums& sums, cockpit::MonthFigures& out)
{
    out.scopes.append(scopeFigures(QLatin1String(cockpit::kCompanyCode), sums.total));
    for (auto it = sums.regions.cbegin(); it != sums.regions.cend(); ++it) {
        out.scopes.append(scopeFigures(it.key(), it.value()));
        out.slices.append({it.key(), millions(it.value().revenue), millions(it.value().cost()), millions(it.value().result())});
    }
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

// The months of the year in which each branch of this month's lists was in the same list.
std::vector<Targets::Listed> chronicCases(MonthSource& source, const cockpit::RefMonth& month,
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
    QMap<cockpit::RefMonth, Lists> year = source.lists(before);
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
    const std::unique_ptr<MonthSource> source = MonthSource::create(m_db, m_source == Source::MonthlySummary);

    // The thirteen months ending with this one, this one's totals among them.
    const QMap<cockpit::RefMonth, RegionSums> history = source->totals(yearBefore, month);
    std::optional<MonthSource::Month> read = source->month(month, history);
    QList<qint64> best, worst;
    if (read) {
        out.lastLoad = lastLoad(m_db);
        fillTotals(read->totals, out);
        fillLists(m_db, read->lists, out);
        for (const Branch& b : read->lists.best)
            best << b.code;
        for (const Branch& b : read->lists.worst)
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
        budgets.addBranchSums(read && it.key() == month && !read->branches.empty() ? read->branches
                                                                                    : source->branchRegions(it.key()));
    }
    const Targets& own = targets[month];
    const QDate lastFigures = read ? lastDayWithFigures(m_db, month) : QDate();
    out.targets = own.rows(lastFigures, {}, read ? chronicCases(*source, month, best, worst) : std::vector<Targets::Listed>());
    // Last year's pace: only while this month is partial.
    QMap<QString, double> paceYearBefore;
    if (history.contains(yearBefore) && lastFigures.isValid() && lastFigures.day() != lastFigures.daysInMonth())
        paceYearBefore = source->revenueUpTo(yearBefore, std::min(lastFigures.day(), yearBefore.daysInMonth()));
    for (auto it = history.cbegin(); read && it != history.cend(); ++it) {
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
