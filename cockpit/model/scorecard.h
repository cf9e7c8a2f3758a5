#pragma once

#include "indicators.h"
#include "monthfigures.h"
#include "presentation.h"
#include "refmonth.h"

#include <QHash>
#include <QStringList>
#include <QVector>

#include <array>
#include <optional>

// What a month's figures mean, for every scope (the company, a region, a branch) and indicator: the
// figure or none, the target and where it comes from, the gap, the zone, and the figures to compare with.
// Worked out once from the month's figures; every face (the desktop, the region window, the browser, the
// wall, the board pack, the JSON and the CSV) reads it and judges nothing of its own.
namespace cockpit {

enum class ScopeKind { Company, Region, Branch };

struct Scope {
    ScopeKind kind = ScopeKind::Company;
    QString code;   // "TOTAL", a region's code, a branch's number
    QString name;   // a branch's name; empty otherwise
};

// Where a target comes from. A figure is judged only against a target.
enum class TargetSource {
    None,            // nothing to judge against: no zone
    Budget,          // a row of meta_mensal for the scope
    BranchBudgets,   // the revenue budgets of every branch with figures, added up
    FixedRule,       // the cockpit's own rule for a share (40, 45, 15, 5 %)
    // The company's or a region's revenue without a budget: the gauge's own rule takes the figure itself as
    // target, so the needle stands green on the yellow/green edge. Not a budget: there is no gap, and the
    // words say that no target was set.
    OwnFigure,
};

enum class Zone { None, Red, Yellow, Green };

struct Measure {
    std::optional<double> figure;        // millions for revenue, per cent of revenue for a share
    std::optional<double> target;        // in the figure's unit, over the days with figures when proRated
    TargetSource source = TargetSource::None;
    bool proRated = false;               // a revenue target counted over the days with figures only
    std::optional<double> gap;           // figure − target: millions, or percentage points
    std::optional<double> gapPercent;    // revenue only: the gap in per cent of the target
    Zone zone = Zone::None;              // only where there are both a figure and a target
    std::optional<double> previous;      // the month before, as comparable (same pace in a partial month)
    std::optional<double> lastYear;      // the same month a year before, likewise
    QStringList notes;                   // what the figure means, a line each, in Portuguese
    // The last twelve months, oldest first, this one last; none for a month without figures (a gap, not a
    // zero). A partial month's revenue is its projection (trendProjected), not the month so far.
    std::array<std::optional<double>, 12> trend;
    bool trendProjected = false;
};

// Where a partial month's revenue will end: at the pace of the days with figures, shaped by the same month
// a year before where its every day has figures (weekends, month-end peaks), else in a straight line.
struct Projection {
    double value = 0.0;               // millions at the month's end
    std::optional<double> target;     // the whole month's revenue target, where there is one
    RefMonth profile;                 // the month whose days shaped it; no month: a straight line
};

// January to the month shown. Each figure is set against the targets of the months that have one, and
// judged on those same months' figures, so a year budgeted from March is not judged on January.
struct YearToDate {
    int months = 0;                   // months with figures from January
    Measure revenue, result;          // figure over every month; target, gap and zone over the budgeted ones
    int revenueBudgetMonths = 0, resultBudgetMonths = 0;
    // The figures of the budgeted months alone, where they are not all of them: what the gaps measure.
    std::optional<double> revenueBudgeted, resultBudgeted;
};

// A branch's place in a ranked list and how often it held one there.
struct Recurrence {
    int months = 0;   // of the twelve months ending with this one, those the branch was in the same list
};
inline constexpr int kTrendMonths = 12;
inline constexpr int kChronicMonths = 6;   // from here a branch's place in a list is no news

struct ScopeCard {
    Scope scope;
    std::array<Measure, kIndicatorCount> measures;
    std::optional<Projection> projection;   // revenue of a partial month
    YearToDate yearToDate;
    const Measure& operator[](Indicator i) const { return measures[static_cast<size_t>(i)]; }
    Measure& operator[](Indicator i) { return measures[static_cast<size_t>(i)]; }
};

struct Scorecard {
    RefMonth month;
    QDate partialUntil;      // the last day with figures of a month still open; invalid when closed
    int daysElapsed = 0;     // days up to partialUntil
    QString lastLoad;        // the day of the last load, dd/MM/yyyy; empty when none
    bool anyFigure = false;
    QVector<ScopeCard> scopes;   // the company (where there is one), its regions, then branches
    // Top 10 / Bottom 10 by their positions (ROWNUM): how often their branches held a place in that list.
    QHash<int, Recurrence> top10, bottom10;

    bool partial() const { return partialUntil.isValid(); }
    const ScopeCard* find(ScopeKind kind, const QString& code) const;
    QVector<const ScopeCard*> ofKind(ScopeKind kind) const;
};

// A month's scorecard: the company and each region, in the figures' order.
Scorecard MonthScorecard(const MonthFigures& figures);
// A region's scorecard: the region (where it has figures) and each of its branches, in the figures' order.
// A branch's revenue is judged against its own budget only; its shares against the region's budget, then
// the company's, then the fixed rule.
Scorecard RegionScorecard(const RegionFigures& figures);

// The zone a figure falls in on the dial of `target`, by the gauges' own rules.
Zone ZoneOf(Indicator indicator, double figure, double target);
// A zone's word ("vermelho", "amarelo", "verde"; empty for none) and its colour (the neutral colour for none).
QString ZoneWord(Zone zone);
int ZoneColor(Zone zone);
// The colour of a figure that has no target to be judged against, and of a dial's zones then.
inline constexpr int kNeutralColor = clNeutral;
inline constexpr int kNeutralZoneColor = clNeutralZone;
// The source's key in JSON ("orcamento", "filiais", "regra"; empty for none).
QString SourceKey(TargetSource source);

// A figure as a panel writes it: "12,50 M", "40,5%".
QString FigureText(Indicator indicator, double figure);
// A figure's target and gap ("meta 89,50 M · +1,2 %",
// "meta 40,0% · −1,9 p.p."); "sem meta definida" for a revenue judged against itself; empty without a target.
QString TargetText(Indicator indicator, const Measure& measure);
// The verdict in words, for whoever does not tell the zones' colours apart: "situação: vermelho (meta
// 40,0% · +2,0 p.p.)"; empty without a zone.
QString VerdictText(Indicator indicator, const Measure& measure);
// The same, from the measure's TargetText already made (a page of thousands of branches makes both).
QString VerdictText(const Measure& measure, const QString& targetText);

// "previsão 91,20 M · meta 89,50 M", and how it was projected ("pelo perfil diário de Dezembro/2025",
// "em linha reta, ritmo de 7 de 31 dias").
QString ProjectionText(const Projection& projection);
QString ProjectionMethod(const Projection& projection, const Scorecard& card);
// "no ano 812,40 M · meta 800,00 M · +1,6 %"; where only some months have a target, the figure of those too
// ("no ano 10,00 M; em 1 de 2 meses com meta: 8,00 M · meta 10,00 M · −20,0 %"); empty without figures.
QString YearToDateText(Indicator indicator, const YearToDate& ytd);
// "9 de 12 meses" from kChronicMonths on; empty below.
QString RecurrenceText(const Recurrence& recurrence);

} // namespace cockpit
