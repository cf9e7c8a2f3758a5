#include "regionformats.h"

#include "jsontext.h"
#include "presentation.h"
#include "scorecardjson.h"

#include <cmath>

namespace cockpit {

QByteArray RegionCsv(const RegionView& view)
{
    QList<QList<QVariant>> rows;
    for (const QVector<RegionCell>& row : view.rows) {
        QList<QVariant> values;
        for (const RegionCell& c : row)
            values << c.number;
        rows << values;
    }
    return CsvText(view.columns, rows);
}

QByteArray RegionJsonText(const RegionView& view)
{
    JsonText out;
    out.open('{');
    out.key("month");
    out.string(view.month.firstDay().toString(Qt::ISODate));
    out.key("region");
    out.string(view.region);
    out.key("title");
    out.string(view.title);
    out.key("columns");
    out.open('[');
    for (const QString& c : view.columns)
        out.string(c);
    out.close(']');
    out.key("rows");
    out.open('[');
    for (const QVector<RegionCell>& row : view.rows) {
        out.open('[');
        for (const RegionCell& c : row) {
            out.open('{');
            out.key("text");
            out.string(c.text);
            out.key("number");
            if (c.number.isNull())
                out.number(std::nan(""));
            else if (c.number.typeId() == QMetaType::QString)
                out.string(c.number.toString());
            else
                out.number(c.number.toDouble());
            out.key("color");
            out.number(c.color);
            // The zone's colour as text on the black and grey rows, from the one screen palette.
            out.key("textColor");
            out.number(ScreenTextColor(c.color));
            if (!c.verdict.isEmpty()) {
                out.key("verdict");
                out.string(c.verdict);
            }
            out.close('}');
        }
        out.close(']');
    }
    out.close(']');
    out.key("rowColors");
    out.open('[');
    for (int c : view.rowColors)
        out.number(c);
    out.close(']');
    out.key("scorecard");
    WriteScorecard(out, view.scorecard);
    out.close('}');
    return out.text();
}

} // namespace cockpit
