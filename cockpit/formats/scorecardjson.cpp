#include "scorecardjson.h"

#include <algorithm>
#include <limits>

namespace cockpit {

namespace {

double orNull(const std::optional<double>& v) { return v.value_or(std::numeric_limits<double>::quiet_NaN()); }

const char* kindKey(ScopeKind kind)
{
    switch (kind) {
    case ScopeKind::Company: return "empresa";
    case ScopeKind::Region: return "regional";
    case ScopeKind::Branch: return "filial";
    }
    return "";
}

void stringOrNull(JsonText& out, const QString& text)
{
    if (text.isEmpty())
        out.number(std::numeric_limits<double>::quiet_NaN());
    else
        out.string(text);
}

} // namespace

void WriteScorecardPeriod(JsonText& out, const Scorecard& card)
{
    out.key("month");
    out.string(card.month.key());
    out.key("monthTitle");
    out.string(card.month.title());
    out.key("partialUntil");
    stringOrNull(out, card.partialUntil.toString(Qt::ISODate));
    out.key("daysElapsed");
    out.number(card.daysElapsed);
    out.key("daysInMonth");
    out.number(card.month.isValid() ? card.month.daysInMonth() : 0);
}

void WriteScopeFields(JsonText& out, const Scope& scope)
{
    out.key("kind");
    out.string(QLatin1String(kindKey(scope.kind)));
    out.key("code");
    out.string(scope.code);
    out.key("name");
    out.string(scope.name);
}

void WriteMeasureFields(JsonText& out, Indicator indicator, const Measure& m)
{
    out.key("figure");
    out.number(orNull(m.figure));
    out.key("target");
    out.number(orNull(m.target));
    out.key("source");
    stringOrNull(out, SourceKey(m.source));
    out.key("proRated");
    out.boolean(m.proRated);
    out.key("gap");
    out.number(orNull(m.gap));
    out.key("gapPercent");
    out.number(orNull(m.gapPercent));
    out.key("zone");
    stringOrNull(out, ZoneWord(m.zone));
    out.key("color");
    out.number(m.figure ? ZoneColor(m.zone) : clGray);
    out.key("targetText");
    const QString target = TargetText(indicator, m);
    out.string(target);
    out.key("verdict");
    out.string(VerdictText(m, target));
    out.key("previous");
    out.number(orNull(m.previous));
    out.key("lastYear");
    out.number(orNull(m.lastYear));
    out.key("notes");
    out.open('[');
    for (const QString& n : m.notes)
        out.string(n);
    out.close(']');
    // Twelve months only where there is a history (a branch's card has none).
    if (std::any_of(m.trend.begin(), m.trend.end(), [](const std::optional<double>& v) { return v.has_value(); })) {
        out.key("trend");
        out.open('[');
        for (const std::optional<double>& v : m.trend)
            out.number(orNull(v));
        out.close(']');
        out.key("trendProjected");
        out.boolean(m.trendProjected);
    }
}

void WriteOutlookFields(JsonText& out, const Scorecard& card, const ScopeCard& scope)
{
    out.key("projection");
    if (const std::optional<Projection>& p = scope.projection) {
        out.open('{');
        out.key("value");
        out.number(p->value);
        out.key("target");
        out.number(orNull(p->target));
        out.key("profile");
        stringOrNull(out, p->profile.isValid() ? p->profile.key() : QString());
        out.key("text");
        out.string(ProjectionText(*p));
        out.key("method");
        out.string(ProjectionMethod(*p, card));
        out.close('}');
    } else {
        out.number(std::numeric_limits<double>::quiet_NaN());
    }
    out.key("yearToDate");
    const YearToDate& ytd = scope.yearToDate;
    if (ytd.months == 0) {
        out.number(std::numeric_limits<double>::quiet_NaN());
        return;
    }
    out.open('{');
    out.key("months");
    out.number(ytd.months);
    for (const Indicator i : {Indicator::Revenue, Indicator::Result}) {
        out.key(info(i).key);
        out.open('{');
        WriteMeasureFields(out, i, i == Indicator::Result ? ytd.result : ytd.revenue);
        out.key("text");
        out.string(YearToDateText(i, ytd));
        out.close('}');
    }
    out.close('}');
}

void WriteScorecard(JsonText& out, const Scorecard& card)
{
    out.open('{');
    WriteScorecardPeriod(out, card);
    out.key("scopes");
    out.open('[');
    for (const ScopeCard& c : card.scopes) {
        out.open('{');
        WriteScopeFields(out, c.scope);
        for (const IndicatorInfo& i : kIndicators) {
            out.key(i.key);
            out.open('{');
            WriteMeasureFields(out, i.id, c[i.id]);
            out.close('}');
        }
        if (c.scope.kind != ScopeKind::Branch)
            WriteOutlookFields(out, card, c);
        out.close('}');
    }
    out.close(']');
    out.close('}');
}

} // namespace cockpit
