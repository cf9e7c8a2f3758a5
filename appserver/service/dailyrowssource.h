#pragma once

#include "monthsource.h"

namespace appserver::figures {

/// A month's sums added up from the daily rows, every branch read and ranked here: a database without the
/// monthly summaries, and the reference the summaries are measured against.
class DailyRowsSource : public MonthSource {
public:
    explicit DailyRowsSource(Database& db) : MonthSource(db) {}

    QMap<cockpit::RefMonth, RegionSums> totals(const cockpit::RefMonth& first, const cockpit::RefMonth& last) override;
    std::optional<Month> month(const cockpit::RefMonth& month, const QMap<cockpit::RefMonth, RegionSums>& totals) override;
    std::vector<Branch> branchRegions(const cockpit::RefMonth& month) override;
    QMap<QString, double> revenueUpTo(const cockpit::RefMonth& month, int lastDay) override;
    QMap<cockpit::RefMonth, Lists> lists(const QList<cockpit::RefMonth>& months) override;
    std::vector<Branch> regionBranches(const cockpit::RefMonth& month, const QString& region) override;

private:
    // The month's branches in code order, each with its region and sums, on the daily rows' index.
    std::vector<Branch> branches(const cockpit::RefMonth& month);
};

} // namespace appserver::figures
