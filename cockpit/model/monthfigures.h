#pragma once

#include "indicators.h"
#include "refmonth.h"

#include <QDate>
#include <QMetaType>
#include <QString>
#include <QVector>

#include <array>
#include <optional>

// A month's figures as one value: what the service reads from its database and what a client decodes from
// a reply, before anything is judged. Revenue is in millions, the other indicators in per cent of revenue,
// each as the cockpit shows it (revenue to the hundredth, shares to the tenth); "none" is a figure that is
// not there, never a zero. The scorecard reads this, never a packet.
namespace cockpit {

// One value per indicator, in kIndicators' order.
using IndicatorValues = std::array<std::optional<double>, kIndicatorCount>;

// The company's (kCompanyCode) or a region's figures of the month.
struct ScopeFigures {
    QString code;
    std::optional<double> branches;   // branches with figures
    IndicatorValues values;
    friend bool operator==(const ScopeFigures&, const ScopeFigures&) = default;
};

// A branch in one of the month's lists.
struct ListedBranch {
    QString region;
    QString name;
    std::optional<double> value;   // its result share (Top 10, Bottom 10) or its days of stock
    int place = 0;                 // 1 for the first of the list
    friend bool operator==(const ListedBranch&, const ListedBranch&) = default;
};

// A region's slice of the month's pies, in millions.
struct RegionSlice {
    QString region;
    std::optional<double> revenue, cost, result;
    friend bool operator==(const RegionSlice&, const RegionSlice&) = default;
};

// The targets the company set for a scope: kCompanyCode, a region, or a branch (kBranchScopeMark and its
// code), each in its figure's unit.
struct ScopeTargets {
    QString scope;
    IndicatorValues targets;
    bool revenueFromBranches = false;   // the revenue target is the scope's branches' budgets added up
    QDate lastFigures;                  // the company's row: the last day of the month with figures
    // A branch of this month's Top 10 or Bottom 10: the months of the twelve ending with this one it was in
    // each list, and its place in this month's (none where it is not there).
    std::optional<double> monthsTop, monthsBottom, placeTop, placeBottom;
    friend bool operator==(const ScopeTargets&, const ScopeTargets&) = default;
};

// A month of the year's history of the company or a region.
struct HistoryMonth {
    RefMonth month;
    QString scope;
    IndicatorValues values;                  // as shown
    std::optional<double> revenue, result;   // millions, unrounded: what the year so far adds up
    std::optional<double> revenueTarget;     // millions
    std::optional<double> resultTarget;      // per cent
    // The same month a year before, while the month asked is partial: its revenue up to the same day.
    std::optional<double> revenueToDay;
    friend bool operator==(const HistoryMonth&, const HistoryMonth&) = default;
};

struct MonthFigures {
    RefMonth month;
    QString lastLoad;                        // the day of the last load as shown (dd/MM/yyyy); empty for none
    QVector<ScopeFigures> scopes;            // the company's first where there are figures, then each region
    QVector<ListedBranch> top10, bottom10, stock;
    QVector<RegionSlice> slices;
    QVector<ScopeTargets> targets;
    QVector<HistoryMonth> history;           // the thirteen months ending with this one, those with figures
    // What a server from before them does not say: the last day with figures, and the year's exact sums.
    bool toldLastFigures = true;
    bool toldHistory = true;

    const ScopeFigures* scope(const QString& code) const;
    const ScopeTargets* targetsOf(const QString& scope) const;
    // Every scope but the company's, in order.
    QStringList regions() const;
    friend bool operator==(const MonthFigures&, const MonthFigures&) = default;
};

// A branch of a region's month.
struct BranchFigures {
    std::optional<qint64> code;
    QString name;
    IndicatorValues values;
    std::optional<double> stockDays;
    int place = 0;   // in the region's ranking by result share
    friend bool operator==(const BranchFigures&, const BranchFigures&) = default;
};

// A region's month: its own figures and its branches'.
struct RegionFigures {
    RefMonth month;
    QString region;
    QString lastLoad;
    std::optional<ScopeFigures> own;   // none where the region has no figures this month
    QVector<BranchFigures> branches;   // ranked by result share
    QVector<ScopeTargets> targets;     // the company's, the region's and its branches'
    bool toldLastFigures = true;

    const ScopeTargets* targetsOf(const QString& scope) const;
    friend bool operator==(const RegionFigures&, const RegionFigures&) = default;
};

} // namespace cockpit

Q_DECLARE_METATYPE(cockpit::MonthFigures)
Q_DECLARE_METATYPE(cockpit::RegionFigures)
