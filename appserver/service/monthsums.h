#pragma once

#include "indicators.h"
#include "monthfigures.h"

#include <QDate>
#include <QMap>
#include <QSet>
#include <QString>

#include <array>
#include <vector>

#include <cmath>
#include <optional>

namespace appserver {

class Database;

// A month's figures as the data module sums and shows them, written once for every method that does.
namespace figures {


// The month's figures of one branch, in currency units.
struct Branch {
    qint64 code = 0;
    QString name;
    QString region;
    double revenue = 0;
    double consumption = 0;
    double labour = 0;
    double expenses = 0;
    std::optional<double> stock;   // month-end stock, when there is one
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

// A share of a revenue that is zero or negative (returns beyond sales) means nothing: against a negative
// revenue a loss would read as a gain.
inline std::optional<double> rawPercent(double part, double whole)
{
    if (!cockpit::HasShareBase(whole))
        return std::nullopt;
    return part * 100.0 / whole;
}

// Scaled before rounding so that exact decimal inputs round as written (47.5 → 48, not 47.4999…).
inline std::optional<double> percent(double part, double whole)
{
    if (!cockpit::HasShareBase(whole))
        return std::nullopt;
    return std::round(part * 1000.0 / whole) / 10.0;
}

inline double oneDecimal(double value)
{
    return std::round(value * 10.0) / 10.0;
}

inline double millions(double value)
{
    return std::round(value / 10000.0) / 100.0;
}

// A scope's figures as the cockpit shows them: revenue in millions, the shares of revenue in per cent.
inline cockpit::IndicatorValues shownValues(const Sums& s)
{
    return {millions(s.revenue), percent(s.consumption, s.revenue), percent(s.labour, s.revenue),
            percent(s.expenses, s.revenue), percent(s.result(), s.revenue)};
}

inline cockpit::ScopeFigures scopeFigures(const QString& code, const Sums& s)
{
    return {code, double(s.branches), shownValues(s)};
}

// The day of the latest data load as the indicators show it; empty when there was none.
QString lastLoad(Database& db);

// The last day of the month that has figures; invalid when none has.
QDate lastDayWithFigures(Database& db, const cockpit::RefMonth& month);

// The month's targets as meta_mensal holds them, each indicator in its figure's unit (revenue in millions):
// by scope ("TOTAL" or a region), and the branches' revenue budgets by branch code.
struct Targets {
    using Row = std::array<std::optional<double>, 5>;
    QMap<QString, Row> scopes;
    QMap<qint64, Row> branches;
    QSet<QString> summed;   // scopes whose revenue target is their branches' budgets added up

    // Reads the month's rows; none when the database has no targets to read.
    static Targets read(Database& db, const cockpit::RefMonth& month, bool targets);
    // The same for every month from first to last, in one statement: months without rows
    // are left out.
    static QMap<cockpit::RefMonth, Targets> readMonths(Database& db, const cockpit::RefMonth& first, const cockpit::RefMonth& last,
                                                       bool targets);
    // Where the company or a region has no revenue target of its own but every one of its branches with
    // figures has a budget, their sum becomes its target.
    // The company's sum only from all of its branches: a region's call passes that region's alone.
    enum Sums { CompanyAndRegions, RegionsOnly };
    void addBranchSums(const std::vector<Branch>& withFigures, Sums which = CompanyAndRegions);
    // The scopes whose revenue target is not their own and that have branch budgets to add up: only then
    // do a month's branches need reading.
    bool needsBranchSums() const { return !branches.isEmpty(); }
    // A branch of the month's lists, with the months of the year in which it was in each.
    struct Listed {
        qint64 code = 0;
        int monthsTop = 0;
        int monthsBottom = 0;
        int placeTop = 0;      // its place in this month's Top 10 (ROWNUM); 0 when not there
        int placeBottom = 0;
    };
    // The rows of targets a reply carries: TOTAL always (with the last day with figures), the scopes, the
    // given branches' rows ('#' and the code) where they have budgets, and a row for each listed branch
    // whether or not it has any.
    QVector<cockpit::ScopeTargets> rows(const QDate& lastFigures, const std::vector<Branch>& branchRows = {},
                                        const std::vector<Listed>& listed = {}) const;
};

} // namespace figures

} // namespace appserver
