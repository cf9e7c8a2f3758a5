#include "regionquery.h"

#include "figurescodec.h"
#include "database.h"
#include "databaseerror.h"
#include "monthsource.h"
#include "monthsums.h"
#include "indicators.h"
#include "refmonth.h"
#include "wiretext.h"

#include <algorithm>
#include <vector>

namespace appserver {

using namespace figures;

cockpit::RegionFigures RegionQuery::figures(const cockpit::RefMonth& month, const QString& code)
{
    cockpit::RegionFigures data;
    data.month = month;
    bool known = false;
    m_db.forEachRow(QStringLiteral("SELECT cdareagere FROM regional WHERE cdareagere = ?"), {code},
                    [&](const Database::Row&) { known = true; });
    if (!known)
        throw RegionNotFound(QStringLiteral("A regional \"%1\" não existe.").arg(WireText::Printable(code, 40)));
    data.region = code;

    std::vector<Branch> branches =
        MonthSource::create(m_db, m_source == IndicResultQuery::Source::MonthlySummary)->regionBranches(month, code);
    std::sort(branches.begin(), branches.end(), [](const Branch& a, const Branch& b) { return a.code < b.code; });
    if (!branches.empty()) {
        m_db.forEachRow(QStringLiteral("SELECT e.cdfilial, e.vrestoque FROM estoque_mensal e JOIN filial f ON f.cdfilial = e.cdfilial "
                                       "WHERE e.mes = ? AND f.cdareagere = ?"),
                        {m_db.dateValue(month), code}, [&](const Database::Row& row) {
                            const qint64 c = row.integer(0);
                            const auto it = std::lower_bound(branches.begin(), branches.end(), c,
                                                             [](const Branch& b, qint64 v) { return b.code < v; });
                            if (it != branches.end() && it->code == c && !row.isNull(1))
                                it->stock = row.real(1);
                        });
    }

    Sums sums;
    for (Branch& b : branches) {
        sums.add(b);
        b.region = code;
    }
    if (!branches.empty()) {
        data.own = scopeFigures(code, sums);
        data.lastLoad = lastLoad(m_db);
    }
    // The targets the region's figures and its branches' are judged against: the company's, the region's
    // (or its branches' budgets added up) and each branch's own.
    Targets targets = Targets::read(m_db, month, m_targets);
    targets.addBranchSums(branches, Targets::RegionsOnly);
    data.targets = targets.rows(branches.empty() ? QDate() : lastDayWithFigures(m_db, month), branches);

    // Ranked by result share; a branch without one after the others, by code (the sort is stable).
    std::stable_sort(branches.begin(), branches.end(), [](const Branch& a, const Branch& b) {
        const auto ra = rawPercent(a.result(), a.revenue), rb = rawPercent(b.result(), b.revenue);
        if (ra && rb)
            return *ra > *rb;
        return ra.has_value() && !rb.has_value();
    });
    const double days = month.daysInMonth();
    for (size_t i = 0; i < branches.size(); ++i) {
        const Branch& b = branches[i];
        std::optional<double> stockDays;
        if (b.stock && b.consumption > 0)
            stockDays = oneDecimal(*b.stock * days / b.consumption);
        Sums own;
        own.add(b);
        data.branches.append({b.code, b.name, shownValues(own), stockDays, static_cast<int>(i) + 1});
    }
    return data;
}

RegionData RegionQuery::run(const cockpit::RefMonth& month, const QString& region)
{
    auto f = std::make_shared<const cockpit::RegionFigures>(figures(month, region));
    cockpit::EncodedRegion p = cockpit::EncodeRegion(*f);
    return {f->month, f->region, std::move(p.regionRow), std::move(p.branches), std::move(p.metas), f};
}

} // namespace appserver
