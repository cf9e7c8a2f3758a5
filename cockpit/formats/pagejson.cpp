#include "pagejson.h"

#include "jsontext.h"
#include "scorecardjson.h"

#include <limits>

namespace cockpit {

void WriteDial(JsonText& out, const GaugeState& g)
{
    out.open('{');
    out.key("min");
    out.number(g.MinValue());
    out.key("max");
    out.number(g.MaxValue());
    out.key("value");
    out.number(g.Progress());
    out.key("needleColor");
    out.number(g.NeedleColor());
    out.key("hubColor");
    out.number(g.NeedleHubColor());
    out.key("ghost");
    out.number(g.GhostValue());
    out.key("zones");
    out.open('[');
    for (const GaugeZone& z : g.Zones()) {
        out.open('{');
        out.key("color");
        out.number(z.color);
        out.key("start");
        out.number(z.start);
        out.key("stop");
        out.number(z.stop);
        out.close('}');
    }
    out.close(']');
    out.close('}');
}

void WriteRows(JsonText& out, const QStringList& titles, const QVector<QStringList>& rows, const QVector<int>& rowColors,
               const QStringList& recurrence)
{
    out.key("titles");
    out.open('[');
    for (const QString& t : titles)
        out.string(t);
    out.close(']');
    out.key("rows");
    out.open('[');
    for (const QStringList& row : rows) {
        out.open('[');
        for (const QString& cell : row)
            out.string(cell);
        out.close(']');
    }
    out.close(']');
    out.key("rowColors");
    out.open('[');
    for (int c : rowColors)
        out.number(c);
    out.close(']');
    out.key("recurrence");
    out.open('[');
    for (const QString& r : recurrence)
        out.string(r);
    out.close(']');
}

void WriteSlices(JsonText& out, const QString& title, const QVector<PageSlice>& slices)
{
    out.key("title");
    out.string(title);
    out.key("slices");
    out.open('[');
    for (const PageSlice& s : slices) {
        out.open('{');
        out.key("label");
        out.string(s.label);
        out.key("value");
        out.number(s.value);
        out.key("color");
        out.number(s.color);
        out.key("fraction");
        out.number(s.fraction);
        out.close('}');
    }
    out.close(']');
}

QByteArray MonthPageJsonText(const MonthPage& page)
{
    JsonText out;
    out.open('{');
    WriteScorecardPeriod(out, page.scorecard);
    out.key("title");
    out.string(page.title);
    out.key("branches");
    out.string(page.branches);
    out.key("lastLoad");
    out.string(page.lastLoad);
    out.key("notice");
    out.string(page.notice);
    out.key("indicators");
    out.open('[');
    for (const IndicatorInfo& i : kIndicators) {
        out.open('{');
        out.key("key");
        out.string(QLatin1String(i.key));
        out.key("title");
        out.string(QLatin1String(i.title));
        out.close('}');
    }
    out.close(']');

    out.key("scopes");
    out.open('[');
    for (int s = 0; s < page.scopes.size(); ++s) {
        const PageScope& shown = page.scopes[s];
        const ScopeCard& card = page.scorecard.scopes[s];
        out.open('{');
        WriteScopeFields(out, shown.scope);
        for (const IndicatorInfo& i : kIndicators) {
            const PageMeasure& m = shown.measures[static_cast<size_t>(i.id)];
            out.key(i.key);
            out.open('{');
            WriteMeasureFields(out, i.id, card[i.id]);
            out.key("text");
            out.string(m.text);
            out.key("dial");
            if (m.hasDial)
                WriteDial(out, m.dial);
            else
                out.number(std::numeric_limits<double>::quiet_NaN());
            out.close('}');
        }
        WriteOutlookFields(out, page.scorecard, card);
        out.close('}');
    }
    out.close(']');

    out.key("lists");
    out.open('{');
    for (const PageList& list : page.lists) {
        out.key(list.key);
        out.open('{');
        out.key("title");
        out.string(list.title);
        WriteRows(out, list.titles, list.rows, list.rowColors, list.recurrence);
        out.close('}');
    }
    out.close('}');

    out.key("pies");
    out.open('{');
    for (const PagePie& pie : page.pies) {
        out.key(pie.key);
        out.open('{');
        WriteSlices(out, pie.title, pie.slices);
        out.close('}');
    }
    out.close('}');
    out.close('}');
    return out.text();
}

} // namespace cockpit
