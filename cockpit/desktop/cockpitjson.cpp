#include "cockpitjson.h"

#include "jsontext.h"
#include "pagejson.h"
#include "scorecardjson.h"

#include <QJsonDocument>

namespace cockpit {

QByteArray CockpitJsonText(const CockpitView& view)
{
    JsonText out;
    out.open('{');
    out.key("refDate");
    out.string(view.month.toString(Qt::ISODate));
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
        const GridView& grid = it.value();
        out.key(it.key());
        out.open('{');
        out.key("titles");
        out.open('[');
        for (const QString& title : grid.titles)
            out.string(title);
        out.close(']');
        out.key("rows");
        out.open('[');
        for (const QStringList& row : grid.rows) {
            out.open('[');
            for (const QString& cell : row)
                out.string(cell);
            out.close(']');
        }
        out.close(']');
        out.key("rowColors");
        out.open('[');
        for (int color : grid.rowColors)
            out.number(color);
        out.close(']');
        out.close('}');
    }
    out.close('}');

    out.key("charts");
    out.open('{');
    for (auto it = view.charts.cbegin(); it != view.charts.cend(); ++it) {
        out.key(it.key());
        out.open('{');
        out.key("title");
        out.string(it.value().title);
        out.key("slices");
        out.open('[');
        for (const SliceView& s : it.value().slices) {
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

QJsonObject CockpitJson(const CockpitView& view)
{
    return QJsonDocument::fromJson(CockpitJsonText(view)).object();
}

} // namespace cockpit
