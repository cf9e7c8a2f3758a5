#pragma once

#include "monthsource.h"

namespace appserver::figures {

/// A month's sums from the monthly summaries: the kept region totals (a few dozen rows a month) and the
/// first rows of the ranking indexes, some thirty rows whatever the number of branches.
class SummarySource : public MonthSource {
public:
    explicit SummarySource(Database& db) : MonthSource(db) {}

    QMap<cockpit::RefMonth, RegionSums> totals(const cockpit::RefMonth& first, const cockpit::RefMonth& last) override;
    std::optional<Month> month(const cockpit::RefMonth& month, const QMap<cockpit::RefMonth, RegionSums>& totals) override;
    std::vector<Branch> branchRegions(const cockpit::RefMonth& month) override;
    QMap<QString, double> revenueUpTo(const cockpit::RefMonth& month, int lastDay) override;
    QMap<cockpit::RefMonth, Lists> lists(const QList<cockpit::RefMonth>& months) override;
    std::vector<Branch> regionBranches(const cockpit::RefMonth& month, const QString& region) override;
};

} // namespace appserver::figures
