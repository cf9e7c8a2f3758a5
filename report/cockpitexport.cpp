#include "cockpitexport.h"

#include "cockpitview.h"
#include "scorecardjson.h"

#include "tcolor.h"
#include "tdbchart.h"
#include "tpieseries.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QTableView>
#include <QWidget>

#include <cmath>

namespace {

QJsonObject gaugeOf(QObject* gauge)
{
    QJsonObject g;
    g[QStringLiteral("min")] = gauge->property("MinValue").toDouble();
    g[QStringLiteral("max")] = gauge->property("MaxValue").toDouble();
    g[QStringLiteral("value")] = gauge->property("Progress").toDouble();
    g[QStringLiteral("needleColor")] = gauge->property("NeedleColor").toInt();
    g[QStringLiteral("hubColor")] = gauge->property("needleHubCOlor").toInt();
    const double ghost = gauge->property("GhostValue").toDouble();
    g[QStringLiteral("ghost")] = std::isfinite(ghost) ? QJsonValue(ghost) : QJsonValue();
    // Reading a zone means selecting it; the gauge keeps the zone it had selected.
    const QVariant selected = gauge->property("AnnularID");
    QJsonArray zones;
    const int count = gauge->property("Annulars").toInt();
    for (int i = 0; i < count; ++i) {
        gauge->setProperty("AnnularID", i);
        QJsonObject z;
        z[QStringLiteral("color")] = gauge->property("AnnularColor").toInt();
        z[QStringLiteral("start")] = gauge->property("AnnularStartValue").toDouble();
        z[QStringLiteral("stop")] = gauge->property("AnnularStopValue").toDouble();
        zones.append(z);
    }
    gauge->setProperty("AnnularID", selected);
    g[QStringLiteral("zones")] = zones;
    return g;
}

QJsonObject gridOf(QTableView* grid)
{
    QJsonObject out;
    QAbstractItemModel* model = grid->model();
    QJsonArray titles, rows, colors;
    if (model) {
        const QHeaderView* header = grid->horizontalHeader();
        QList<int> columns;
        for (int v = 0; v < header->count(); ++v) {
            const int logical = header->logicalIndex(v);
            if (!grid->isColumnHidden(logical))
                columns.append(logical);
        }
        for (int c : columns)
            titles.append(model->headerData(c, Qt::Horizontal).toString());
        // The colour a row is painted with is read off the grid itself, as the user sees it.
        const QImage image = grid->viewport()->grab().toImage();
        for (int r = 0; r < model->rowCount(); ++r) {
            QJsonArray cells;
            for (int c : columns)
                cells.append(model->index(r, c).data().toString());
            rows.append(cells);
            const QRect rect = grid->visualRect(model->index(r, columns.value(0, 0)));
            if (rect.isValid() && image.rect().contains(QPoint(1, rect.center().y())))
                colors.append(FromQColor(image.pixelColor(QPoint(1, rect.center().y()))));
            else
                colors.append(QJsonValue());
        }
    }
    out[QStringLiteral("titles")] = titles;
    out[QStringLiteral("rows")] = rows;
    out[QStringLiteral("rowColors")] = colors;
    // The mark a branch that keeps its place in a ranking carries, as the window draws it.
    if (const QVariant marks = grid->property("recurrence"); marks.isValid())
        out[QStringLiteral("recurrence")] = QJsonArray::fromStringList(marks.toStringList());
    return out;
}

QJsonObject chartOf(const TDBChart* chart)
{
    QJsonObject out;
    out[QStringLiteral("title")] = chart->Title();
    QJsonArray slices;
    if (const TPieSeries* series = chart->Series()) {
        for (const TPieSlice& slice : series->Slices()) {
            QJsonObject s;
            s[QStringLiteral("label")] = slice.label;
            s[QStringLiteral("value")] = std::isfinite(slice.value) ? QJsonValue(slice.value) : QJsonValue();
            slices.append(s);
        }
    }
    out[QStringLiteral("slices")] = slices;
    return out;
}

bool isPanelName(const QString& name)
{
    return name.startsWith(QLatin1String("pnl")) || name.startsWith(QLatin1String("Panel"));
}

} // namespace

QJsonObject ExportCockpit(QWidget* dashboard, const QStringList& messages)
{
    QJsonObject labels, panels, notes, gauges, grids, charts;
    if (dashboard) {
        const auto children = dashboard->findChildren<QWidget*>();
        for (QWidget* w : children) {
            const QString name = w->objectName();
            // The window's own components: not those of a region window it owns, nor its refresh time.
            if (name.isEmpty() || w->window() != dashboard || w->inherits("TStatusLabel"))
                continue;
            if (w->inherits("TOverGauge"))
                gauges[name] = gaugeOf(w);
            else if (auto* grid = qobject_cast<QTableView*>(w))
                grids[name] = gridOf(grid);
            else if (auto* chart = qobject_cast<TDBChart*>(w))
                charts[name] = chartOf(chart);
            else if (auto* label = qobject_cast<QLabel*>(w))
                (isPanelName(name) ? panels : labels)[name] = label->text();
            else if (isPanelName(name))
                panels[name] = w->property("Caption").toString();
            // The view's notes on the figure, which its tooltip shows after the verdict.
            if (const QStringList shown = w->property("notes").toStringList(); isPanelName(name) && !shown.isEmpty())
                notes[name] = QJsonArray::fromStringList(shown);
        }
    }
    QJsonObject root;
    // The month whose figures the window shows, which after a failed refresh is not the month asked for.
    root[QStringLiteral("refDate")] =
        dashboard ? cockpit::ShownView(dashboard).month.firstDay().toString(Qt::ISODate) : QString();
    root[QStringLiteral("labels")] = labels;
    root[QStringLiteral("panels")] = panels;
    root[QStringLiteral("notes")] = notes;
    root[QStringLiteral("gauges")] = gauges;
    root[QStringLiteral("grids")] = grids;
    root[QStringLiteral("charts")] = charts;
    root[QStringLiteral("messages")] = QJsonArray::fromStringList(messages);
    return root;
}

QByteArray ExportCockpitText(QWidget* dashboard, const QStringList& messages)
{
    QByteArray text = QJsonDocument(ExportCockpit(dashboard, messages)).toJson(QJsonDocument::Indented);
    if (!dashboard)
        return text;
    // What the figures on screen mean, as the window judged them: the scorecard of the view it drew, written
    // by the scorecard's one writer as the document's last member.
    cockpit::JsonText card;
    cockpit::WriteScorecard(card, cockpit::ShownView(dashboard).scorecard);
    const qsizetype end = text.lastIndexOf("\n}");
    if (end >= 0)
        text.insert(end, ",\n    \"scorecard\": " + card.text());
    return text;
}
