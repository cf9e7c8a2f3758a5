#include "scorecard.h"

#include "cockpitcolors.h"
#include "gaugerules_shared.h"
#include "gaugestate.h"
#include "presentation.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace cockpit {

namespace {

QString L(const char* s) { return QString::fromLatin1(s); }

// A month's history looked up by scope and month: a year of history is looked up hundreds of times a page.
class History {
public:
    explicit History(const QVector<HistoryMonth>& months)
    {
        for (const HistoryMonth& h : months)
            m_rows.insert({h.scope, h.month.firstDay()}, &h);   // the first row of a scope and month stands
    }
    const HistoryMonth* find(const QString& scope, const RefMonth& month) const
    {
        return m_rows.value({scope, month.firstDay()}, nullptr);
    }

private:
    QHash<std::pair<QString, QDate>, const HistoryMonth*> m_rows;
};

// A figure of a row: none for a share of a revenue of nothing or less (a share of a negative revenue would
// read a loss as a gain). Revenue comes in millions.
std::optional<double> figureOf(const IndicatorValues& values, Indicator i)
{
    const std::optional<double> v = values[size_t(i)];
    if (!v || !info(i).share)
        return v;
    const std::optional<double> revenue = values[size_t(Indicator::Revenue)];
    if (!revenue || !HasShareBase(*revenue * 1e6))
        return std::nullopt;
    return v;
}

std::optional<double> figureOf(const HistoryMonth* h, Indicator i)
{
    return h ? figureOf(h->values, i) : std::nullopt;
}

QDate dayOf(const QString& text)
{
    return QDate::fromString(text.trimmed(), QStringLiteral("dd/MM/yyyy"));
}

// A month is open until figures of its last day exist or a load came after it; its days elapsed are the
// days up to the last day that has figures, not the day of the load (a nightly load on the 9th brings the
// 8th). A server that does not say which day has figures leaves the load's day to tell.
void setPeriod(Scorecard& card, const QString& lastLoad, const ScopeTargets* company, bool toldFigures)
{
    card.lastLoad = lastLoad;
    const QDate loaded = dayOf(lastLoad);
    const QDate last = card.month.lastDay();
    QDate until;
    if (toldFigures && company && company->lastFigures.isValid()) {
        const QDate figures = company->lastFigures;
        const bool closed = !card.month.contains(figures) || figures >= last || (loaded.isValid() && loaded > last);
        if (!closed)
            until = figures;
    } else if (card.month.contains(loaded) && loaded < last) {
        until = loaded;
    }
    card.partialUntil = until;
    card.daysElapsed = until.isValid() ? until.day() : 0;
}

QString change(const IndicatorInfo& i, double now, const std::optional<double>& before)
{
    if (!before)
        return {};
    double amount = now - *before;
    QString unit = QStringLiteral(" p.p.");
    if (!i.share) {
        if (!(*before > 0.0))
            return {};
        amount = amount / *before * 100.0;
        unit = QStringLiteral(" %");
    }
    const QString text = BrazilLocale().toString(std::abs(amount), 'f', 1);
    const bool flat = text == BrazilLocale().toString(0.0, 'f', 1);
    return (flat ? QStringLiteral("=") : amount > 0 ? QStringLiteral("▲") : QStringLiteral("▼")) + QLatin1Char(' ') + text + unit;
}

// Judges a measure whose figure, target and comparisons are set, and writes what it means.
void judge(Measure& m, const IndicatorInfo& i, const Scorecard& card)
{
    const bool budget = m.source == TargetSource::Budget || m.source == TargetSource::BranchBudgets;
    if (m.target && card.partial() && !i.share && budget) {
        *m.target = *m.target * card.daysElapsed / card.month.daysInMonth();
        m.proRated = true;
    }
    if (m.source == TargetSource::OwnFigure) {
        m.zone = ZoneOf(i.id, *m.figure, *m.target);
    } else if (m.figure && m.target) {
        m.zone = ZoneOf(i.id, *m.figure, *m.target);
        m.gap = *m.figure - *m.target;
        if (!i.share && *m.target > 0.0)
            m.gapPercent = *m.gap / *m.target * 100.0;
    }
    // A partial month's revenue so far is set beside the same share of a whole month.
    const auto comparable = [&](std::optional<double> v) {
        if (v && !i.share && card.partial())
            *v = *v * card.daysElapsed / card.month.daysInMonth();
        return v;
    };
    m.previous = m.figure ? comparable(m.previous) : std::nullopt;
    m.lastYear = m.figure ? comparable(m.lastYear) : std::nullopt;
    if (m.figure) {
        const QString pace = !i.share && card.partial() ? QStringLiteral(", no mesmo ritmo") : QString();
        if (const QString c = change(i, *m.figure, m.previous); !c.isEmpty())
            m.notes << c + QStringLiteral(" vs mês anterior") + pace;
        if (const QString c = change(i, *m.figure, m.lastYear); !c.isEmpty())
            m.notes << c + QStringLiteral(" vs ") + card.month.yearBefore().title() + pace;
    }
    if (m.source == TargetSource::BranchBudgets)
        m.notes << QStringLiteral("meta: soma das metas das filiais");
    if (m.proRated)
        m.notes << QStringLiteral("meta proporcional a %1 de %2 dias").arg(card.daysElapsed).arg(card.month.daysInMonth());
}

// The company's and a region's revenue gauge take their own figure as target where no budget was set: the
// dashboard's rule since its first day, which a company without budgets expects to see. A revenue of
// nothing or less stays unjudged; a branch's revenue has no such gauge and is not passed here.
void judgeByOwnFigureWithoutBudget(Measure& m, const IndicatorInfo& i)
{
    if (i.share || m.target || !m.figure || !(*m.figure > 0.0))
        return;
    m.target = m.figure;
    m.source = TargetSource::OwnFigure;
}

// The target a scope's row of targets sets for an indicator, and where it comes from.
bool budgetOf(const ScopeTargets* targets, const IndicatorInfo& i, Measure& m)
{
    const std::optional<double> t = targets ? targets->targets[size_t(i.id)] : std::nullopt;
    if (!t)
        return false;
    m.target = t;
    m.source = !i.share && targets->revenueFromBranches ? TargetSource::BranchBudgets : TargetSource::Budget;
    return true;
}

// The revenue of a month in millions, unrounded where the server sends it so, else as shown.
std::optional<double> revenueOf(const HistoryMonth* h)
{
    if (!h)
        return std::nullopt;
    return h->revenue ? h->revenue : h->values[size_t(Indicator::Revenue)];
}

// A partial month's revenue at its end: the figures so far, scaled by how much of the same month a year
// before had come in by the same day, where every day of that month has figures; else by the days.
std::optional<Projection> project(const History& history, const QString& code, const Scorecard& card,
                                  const Measure& revenue, std::optional<double> wholeTarget)
{
    if (!card.partial() || !revenue.figure)
        return std::nullopt;
    const std::optional<double> sofar = revenueOf(history.find(code, card.month));
    const double figure = sofar.value_or(*revenue.figure);
    Projection p;
    p.target = wholeTarget;
    const RefMonth before = card.month.yearBefore();
    const HistoryMonth* then = history.find(code, before);
    const std::optional<double> whole = revenueOf(then);
    const std::optional<double> byDay = then ? then->revenueToDay : std::nullopt;
    if (whole && byDay && *whole > 0.0 && *byDay > 0.0) {
        p.value = figure * *whole / *byDay;
        p.profile = before;
    } else {
        p.value = figure * card.month.daysInMonth() / card.daysElapsed;
    }
    return p;
}

// The twelve months ending with this one, from the rows of the months compared and this month's figure.
void fillTrend(Measure& m, const History& history, const QString& code, const IndicatorInfo& i,
               const Scorecard& card, const std::optional<Projection>& projection)
{
    for (int k = 0; k + 1 < kTrendMonths; ++k)
        m.trend[size_t(k)] = figureOf(history.find(code, RefMonth(card.month.firstDay().addMonths(k + 1 - kTrendMonths))), i.id);
    m.trend.back() = m.figure;
    if (!i.share && projection) {
        m.trend.back() = projection->value;
        m.trendProjected = true;
    }
}

// January to this month, from the rows of the months compared (a server that does not send the months'
// exact sums and budgets gives nothing to add up).
YearToDate yearToDate(const History& history, bool told, const QString& code, const Scorecard& card)
{
    YearToDate ytd;
    if (!told)
        return ytd;
    double revenue = 0, result = 0, coveredRevenue = 0, revenueTarget = 0;
    double resultBase = 0, resultCovered = 0, resultTargetWeighted = 0;
    for (int month = 1; month <= card.month.firstDay().month(); ++month) {
        const QDate first(card.month.firstDay().year(), month, 1);
        const HistoryMonth* h = history.find(code, RefMonth(first));
        const std::optional<double> rev = h ? h->revenue : std::nullopt;
        const std::optional<double> res = h ? h->result : std::nullopt;
        if (!h || !rev || !res)
            continue;
        ++ytd.months;
        revenue += *rev;
        result += *res;
        if (std::optional<double> t = h->revenueTarget) {
            // This month's budget counts over its days with figures, as the month's own gauge does.
            if (first == card.month.firstDay() && card.partial())
                *t = *t * card.daysElapsed / card.month.daysInMonth();
            ++ytd.revenueBudgetMonths;
            revenueTarget += *t;
            coveredRevenue += *rev;
        }
        if (const std::optional<double> t = h->resultTarget) {
            ++ytd.resultBudgetMonths;
            resultBase += *rev;
            resultCovered += *res;
            resultTargetWeighted += *t * *rev;
        }
    }
    if (ytd.months == 0)
        return ytd;
    Measure& r = ytd.revenue;
    r.figure = revenue;
    if (ytd.revenueBudgetMonths > 0) {
        r.target = revenueTarget;
        r.source = TargetSource::Budget;
        r.gap = coveredRevenue - revenueTarget;
        if (revenueTarget > 0.0)
            r.gapPercent = *r.gap / revenueTarget * 100.0;
        r.zone = ZoneOf(Indicator::Revenue, coveredRevenue, revenueTarget);
        if (ytd.revenueBudgetMonths < ytd.months)
            ytd.revenueBudgeted = coveredRevenue;
    }
    Measure& s = ytd.result;
    if (HasShareBase(revenue * 1e6))
        s.figure = result / revenue * 100.0;
    if (ytd.resultBudgetMonths > 0 && HasShareBase(resultBase * 1e6)) {
        s.target = resultTargetWeighted / resultBase;
        s.source = TargetSource::Budget;
        const double covered = resultCovered / resultBase * 100.0;
        s.gap = covered - *s.target;
        s.zone = ZoneOf(Indicator::Result, covered, *s.target);
        if (ytd.resultBudgetMonths < ytd.months)
            ytd.resultBudgeted = covered;
    }
    return ytd;
}

// How often the branches of this month's Top 10 and Bottom 10 held a place in the same list.
void readRecurrence(Scorecard& card, const QVector<ScopeTargets>& targets)
{
    for (const ScopeTargets& t : targets) {
        if (!t.scope.startsWith(QLatin1Char(kBranchScopeMark)))
            continue;
        const auto place = [](const std::optional<double>& p, const std::optional<double>& n, QHash<int, Recurrence>& list) {
            if (p && n)
                list.insert(int(*p), Recurrence{int(*n)});
        };
        place(t.placeTop, t.monthsTop, card.top10);
        place(t.placeBottom, t.monthsBottom, card.bottom10);
    }
}

} // namespace

Zone ZoneOf(Indicator indicator, double figure, double target)
{
    if (!std::isfinite(figure) || !std::isfinite(target))
        return Zone::None;
    // A target of 0 leaves the dial without zones to speak of: a figure of 0 has met it.
    if (target == 0.0)
        return figure == 0.0 ? Zone::Green : Zone::None;
    GaugeState dial;
    ConfigureGaugeZones(dial, info(indicator).higherIsBetter, target);
    dial.SetProgress(figure);
    dial.SetNeedleCOlor(clBlack);
    ColorNeedleByZone(dial);
    switch (dial.NeedleColor()) {
    case clRed: return Zone::Red;
    case clYellow: return Zone::Yellow;
    case clGreen: return Zone::Green;
    default: return Zone::None;
    }
}

QString ZoneWord(Zone zone)
{
    switch (zone) {
    case Zone::Red: return QStringLiteral("vermelho");
    case Zone::Yellow: return QStringLiteral("amarelo");
    case Zone::Green: return QStringLiteral("verde");
    case Zone::None: break;
    }
    return {};
}

int ZoneColor(Zone zone)
{
    switch (zone) {
    case Zone::Red: return kZoneColors[0];
    case Zone::Yellow: return kZoneColors[1];
    case Zone::Green: return kZoneColors[2];
    case Zone::None: break;
    }
    return kNeutralColor;
}

QString SourceKey(TargetSource source)
{
    switch (source) {
    case TargetSource::Budget: return QStringLiteral("orcamento");
    case TargetSource::BranchBudgets: return QStringLiteral("filiais");
    case TargetSource::FixedRule: return QStringLiteral("regra");
    case TargetSource::OwnFigure: return QStringLiteral("propria");
    case TargetSource::None: break;
    }
    return {};
}

QString FigureText(Indicator indicator, double figure)
{
    const bool share = info(indicator).share;
    return BrazilLocale().toString(figure, 'f', share ? 1 : 2) + (share ? QStringLiteral("%") : QStringLiteral(" M"));
}

QString TargetText(Indicator indicator, const Measure& m)
{
    if (!m.target)
        return {};
    if (m.source == TargetSource::OwnFigure)
        return QStringLiteral("sem meta definida");
    const QLocale& br = BrazilLocale();
    const bool share = info(indicator).share;
    QString text = QStringLiteral("meta ") + br.toString(*m.target, 'f', share ? 1 : 2) + (share ? QStringLiteral("%") : QStringLiteral(" M"));
    const auto signedText = [&](double v, int decimals) {
        const QString t = br.toString(std::abs(v), 'f', decimals);
        // Rounded to nothing: only zeros and the decimal comma.
        const QChar point = br.decimalPoint().front();
        const bool zero = std::all_of(t.begin(), t.end(), [&](QChar c) { return c == QLatin1Char('0') || c == point; });
        return (zero ? QString() : v > 0 ? QStringLiteral("+") : QStringLiteral("−")) + t;
    };
    if (share && m.gap)
        text += QStringLiteral(" · ") + signedText(*m.gap, 1) + QStringLiteral(" p.p.");
    else if (m.gapPercent)
        text += QStringLiteral(" · ") + signedText(*m.gapPercent, 1) + QStringLiteral(" %");
    return text;
}

QString VerdictText(Indicator indicator, const Measure& m)
{
    return m.zone == Zone::None ? QString() : VerdictText(m, TargetText(indicator, m));
}

QString VerdictText(const Measure& m, const QString& targetText)
{
    if (m.zone == Zone::None)
        return {};
    return QStringLiteral("situação: %1 (%2)").arg(ZoneWord(m.zone), targetText);
}

const ScopeCard* Scorecard::find(ScopeKind kind, const QString& code) const
{
    for (const ScopeCard& c : scopes)
        if (c.scope.kind == kind && c.scope.code == code)
            return &c;
    return nullptr;
}

QVector<const ScopeCard*> Scorecard::ofKind(ScopeKind kind) const
{
    QVector<const ScopeCard*> out;
    for (const ScopeCard& c : scopes)
        if (c.scope.kind == kind)
            out << &c;
    return out;
}

Scorecard MonthScorecard(const MonthFigures& figures)
{
    Scorecard card;
    card.month = figures.month;
    const History history(figures.history);
    const QString company = L(kCompanyCode);
    setPeriod(card, figures.lastLoad, figures.targetsOf(company), figures.toldLastFigures);

    const auto [previous, yearBefore] = card.month.comparisons();
    const auto add = [&](ScopeKind kind, const ScopeFigures* row) {
        ScopeCard c;
        c.scope = {kind, kind == ScopeKind::Company ? company : row->code, {}};
        const ScopeTargets* budgets = figures.targetsOf(c.scope.code);
        for (const IndicatorInfo& i : kIndicators) {
            Measure& m = c[i.id];
            m.figure = row ? figureOf(row->values, i.id) : std::nullopt;
            card.anyFigure = card.anyFigure || m.figure.has_value();
            if (!budgetOf(budgets, i, m) && i.share) {
                m.target = i.fixedTarget;
                m.source = TargetSource::FixedRule;
            }
            m.previous = figureOf(history.find(c.scope.code, previous), i.id);
            m.lastYear = figureOf(history.find(c.scope.code, yearBefore), i.id);
            if (!i.share)
                c.projection = project(history, c.scope.code, card, m, m.target);
            judgeByOwnFigureWithoutBudget(m, i);
            judge(m, i, card);
            fillTrend(m, history, c.scope.code, i, card, c.projection);
        }
        c.yearToDate = yearToDate(history, figures.toldHistory, c.scope.code, card);
        card.scopes << c;
    };
    add(ScopeKind::Company, figures.scope(company));
    for (const QString& region : figures.regions())
        add(ScopeKind::Region, figures.scope(region));
    readRecurrence(card, figures.targets);
    return card;
}

Scorecard RegionScorecard(const RegionFigures& figures)
{
    Scorecard card;
    card.month = figures.month;
    const QString company = L(kCompanyCode);
    const QString& region = figures.region;
    setPeriod(card, figures.lastLoad, figures.targetsOf(company), figures.toldLastFigures);
    const ScopeTargets* regionBudgets = figures.targetsOf(region);
    const ScopeTargets* companyBudgets = figures.targetsOf(company);

    if (figures.own) {
        ScopeCard c;
        c.scope = {ScopeKind::Region, region, {}};
        for (const IndicatorInfo& i : kIndicators) {
            Measure& m = c[i.id];
            m.figure = figureOf(figures.own->values, i.id);
            card.anyFigure = card.anyFigure || m.figure.has_value();
            if (!budgetOf(regionBudgets, i, m) && i.share) {
                m.target = i.fixedTarget;
                m.source = TargetSource::FixedRule;
            }
            judgeByOwnFigureWithoutBudget(m, i);
            judge(m, i, card);
        }
        card.scopes << c;
    }
    for (const BranchFigures& b : figures.branches) {
        ScopeCard c;
        c.scope = {ScopeKind::Branch, b.code ? QString::number(*b.code) : QString(), b.name};
        const ScopeTargets* own = figures.targetsOf(QLatin1Char(kBranchScopeMark) + c.scope.code);
        for (const IndicatorInfo& i : kIndicators) {
            Measure& m = c[i.id];
            m.figure = figureOf(b.values, i.id);
            card.anyFigure = card.anyFigure || m.figure.has_value();
            // A branch's revenue is judged against its own budget only; its shares as its region's are.
            if (!i.share) {
                budgetOf(own, i, m);
            } else if (!budgetOf(regionBudgets, i, m) && !budgetOf(companyBudgets, i, m)) {
                m.target = i.fixedTarget;
                m.source = TargetSource::FixedRule;
            }
            judge(m, i, card);
        }
        card.scopes << c;
    }
    return card;
}

} // namespace cockpit

namespace cockpit {

QString ProjectionText(const Projection& p)
{
    const QLocale& br = BrazilLocale();
    QString text = QStringLiteral("previsão ") + br.toString(p.value, 'f', 2) + QStringLiteral(" M");
    if (p.target)
        text += QStringLiteral(" · meta ") + br.toString(*p.target, 'f', 2) + QStringLiteral(" M");
    return text;
}

QString ProjectionMethod(const Projection& p, const Scorecard& card)
{
    if (p.profile.isValid())
        return QStringLiteral("ritmo de %1 dias no perfil diário de %2").arg(card.daysElapsed).arg(p.profile.title());
    return QStringLiteral("em linha reta, ritmo de %1 de %2 dias").arg(card.daysElapsed).arg(card.month.daysInMonth());
}

QString YearToDateText(Indicator indicator, const YearToDate& ytd)
{
    const bool result = indicator == Indicator::Result;
    const Measure& m = result ? ytd.result : ytd.revenue;
    if (!m.figure)
        return {};
    const QLocale& br = BrazilLocale();
    const bool share = info(indicator).share;
    const auto figure = [&](double v) { return br.toString(v, 'f', share ? 1 : 2) + (share ? QStringLiteral("%") : QStringLiteral(" M")); };
    QString text = QStringLiteral("no ano ") + figure(*m.figure);
    if (!m.target)
        return text;
    // Where only some months have a target, the gap is that of those months: say which figure it measures.
    const std::optional<double>& budgeted = result ? ytd.resultBudgeted : ytd.revenueBudgeted;
    if (budgeted)
        text += QStringLiteral("; em %1 de %2 meses com meta: %3")
                    .arg(result ? ytd.resultBudgetMonths : ytd.revenueBudgetMonths)
                    .arg(ytd.months)
                    .arg(figure(*budgeted));
    return text + QStringLiteral(" · ") + TargetText(indicator, m);
}

QString RecurrenceText(const Recurrence& r)
{
    return r.months >= kChronicMonths ? QStringLiteral("%1 de %2 meses").arg(r.months).arg(kTrendMonths) : QString();
}

} // namespace cockpit
