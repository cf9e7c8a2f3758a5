#include "cockpitjson.h"

#include "jsontext.h"
#include "pagejson.h"
#include "scorecardjson.h"


namespace cockpit {

QByteArray CockpitJsonText(const CockpitView& view)
{
    JsonText out;
    out.open('{');
    out.key("refDate");
    out.string(view.month.firstDay().toString(Qt::ISODate));
    out.key("labels");
    out.strings(view.labels);
    out.key("panels");
    out.strings(view.panels);
    out.key("notes");
    out.open('{');
    for (auto it = view.notes.cbegin(); it != view.notes.cend(); ++it) {
        out.key(it.key());
        out.open('[');
        for (const QString& line : it.value())
            out.string(line);
        out.close(']');
    }
    out.close('}');
    out.key("gauges");
    out.open('{');
    for (auto it = view.gauges.cbegin(); it != view.gauges.cend(); ++it) {
        out.key(it.key());
        WriteDial(out, it.value());
    }
    out.close('}');

    out.key("grids");
    out.open('{');
    for (auto it = view.grids.cbegin(); it != view.grids.cend(); ++it) {
        out.key(it.key());
        out.open('{');
        WriteRows(out, it.value().titles, it.value().rows, it.value().rowColors, it.value().recurrence);
        out.close('}');
    }
    out.close('}');

    out.key("charts");
    out.open('{');
    for (auto it = view.charts.cbegin(); it != view.charts.cend(); ++it) {
        out.key(it.key());
        out.open('{');
        WriteSlices(out, it.value().title, it.value().slices);
        out.close('}');
    }
    out.close('}');

    out.key("scorecard");
    WriteScorecard(out, view.scorecard);

    out.key("messages");
    out.open('[');
    for (const QString& m : view.messages)
        out.string(m);
    out.close(']');
    out.close('}');
    return out.text();
}

} // namespace cockpit
