#pragma once

#include "monthsums.h"
#include "refmonth.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QVariantList>

#include <memory>
#include <optional>
#include <vector>

namespace appserver {

class Database;

namespace figures {

inline constexpr int kListSize = 10;

/// The company's and its regions' sums of a month.
struct RegionSums {
    Sums total;
    QMap<QString, Sums> regions;   // ordered by code
};

/// The month's three lists, each branch with its figures: the best and worst ten by result share, and the
/// ten with the most days of stock (month-end stock over the month's average daily consumption).
struct MonthLists {
    std::vector<Branch> best;
    std::vector<Branch> worst;
    std::vector<Branch> stock;
};

/// A month's Top 10 and Bottom 10, as branch codes in list order.
struct Lists {
    QList<qint64> best;
    QList<qint64> worst;
};

/// Where a month's sums come from. Two implementations give the same figures: the monthly summaries
/// (`SummarySource`: a month's totals from the kept region totals, its lists from the first rows of the
/// ranking indexes, never branch by branch) and the daily rows summed (`DailyRowsSource`: a database
/// without the summaries, and the reference the summaries are measured against). Throws DatabaseError.
class MonthSource {
public:
    virtual ~MonthSource() = default;
    static std::unique_ptr<MonthSource> create(Database& db, bool summaries);

    /// The sums of each month from first to last that has figures.
    virtual QMap<cockpit::RefMonth, RegionSums> totals(const cockpit::RefMonth& first, const cockpit::RefMonth& last) = 0;

    /// A month with figures: its sums, its lists, and its every branch where this source read them.
    struct Month {
        RegionSums totals;
        MonthLists lists;
        std::vector<Branch> branches;
    };
    /// The month asked, or none without figures; `totals` are those totals() gave for its year.
    virtual std::optional<Month> month(const cockpit::RefMonth& month, const QMap<cockpit::RefMonth, RegionSums>& totals) = 0;
    /// A month's branches with figures, with their regions only: what adding up their budgets needs.
    virtual std::vector<Branch> branchRegions(const cockpit::RefMonth& month) = 0;
    /// Each region's revenue from the month's first day up to and including lastDay, and the company's
    /// (kCompanyCode); empty unless every day of the month has figures (a pace read from a month with gaps
    /// would mislead).
    virtual QMap<QString, double> revenueUpTo(const cockpit::RefMonth& month, int lastDay) = 0;
    /// Each month's Top 10 and Bottom 10 by result share (ties to the lower code, branches without a share
    /// left out, as the lists of the month shown).
    virtual QMap<cockpit::RefMonth, Lists> lists(const QList<cockpit::RefMonth>& months) = 0;
    /// A region's branches with figures, with code, name and sums (not its stock), in no set order.
    virtual std::vector<Branch> regionBranches(const cockpit::RefMonth& month, const QString& region) = 0;

protected:
    explicit MonthSource(Database& db) : m_db(db) {}
    // Rows of (month, region, branches, revenue, consumption, labour, expenses), added up per month.
    QMap<cockpit::RefMonth, RegionSums> readTotals(const QString& sql, const QVariantList& params);
    // Rows of (branch, region).
    std::vector<Branch> readBranchRegions(const QString& sql, const QVariantList& params);
    // Rows of (day, region, revenue) over the month.
    QMap<QString, double> readRevenueUpTo(const QString& sql, const cockpit::RefMonth& month, int lastDay);
    // Rows of (branch, name, revenue, consumption, labour, expenses).
    std::vector<Branch> readBranchSums(const QString& sql, const QVariantList& params);

    Database& m_db;
};

/// A branch's result in per cent of its revenue; none for a revenue of nothing or less.
std::optional<double> resultShare(const Branch& b);
/// A branch's days of stock: its month-end stock over its average daily consumption; none without either.
std::optional<double> stockDays(const Branch& b, double days);

} // namespace figures

} // namespace appserver
