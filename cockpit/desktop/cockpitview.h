#pragma once

#include "datapacket.h"
#include "gaugestate.h"
#include "presentation.h"
#include "monthpage.h"
#include "packets.h"
#include "scorecard.h"

#include <QDate>
#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QHash>
#include <QStringList>
#include <QVector>

// What the desktop window shows, by its components' names: the month's page (monthpage.h) put on the
// components the window definition names, through the desktop's one table of names (cockpitfields.h), with
// the definition's own captions and stored gauges for what the page does not touch. The window, its
// export and the board pack draw this value and decide nothing of their own.
namespace cockpit {

// A grid's and a chart's content are the page's lists' and pies' own.
struct GridView {
    QStringList titles;
    QVector<QStringList> rows;   // cell texts as the grid shows them
    QVector<int> rowColors;      // the colour each row is painted with
    QStringList recurrence;      // per row: "9 de 12 meses" for a branch that is no news in the list
};
using SliceView = PageSlice;
struct ChartView {
    QString title;
    QVector<PageSlice> slices;
};

// Components by the names the dashboard's window definition gives them. Colours are 0x00BBGGRR.
struct CockpitView {
    RefMonth month;   // the month the figures are of; none when a failure left nothing to show
    QHash<QString, QString> labels;
    QHash<QString, QString> panels;
    QHash<QString, GaugeState> gauges;
    QHash<QString, GridView> grids;
    QHash<QString, ChartView> charts;
    // What a panel's figure means beside its dial, a line each: its change against the month before and
    // the same month a year before, and how its target was set where that is not plain.
    QHash<QString, QStringList> notes;
    QStringList messages;   // errors to report once the view is drawn (more than five regions)
    Scorecard scorecard;    // what the figures mean, by scope and indicator; empty after a failure

    // The header's notice ("Sem dados para Junho/2008"); empty when the month has figures.
    QString notice() const;
};

// The label in the dashboard's header that carries the notice.
inline constexpr const char* kNoticeLabel = "lblAviso";

// The view of a month. A gauge without a figure (an empty one, a percentage of a revenue that is zero or
// negative, a row with no region this month) is not judged: grey needle and hub at the dial's minimum.
// A target the company set (Metas) replaces the fixed one; in a month whose last load falls before its
// last day (partial) a revenue target counts only the days elapsed. The month before gives each dial its
// ghost needle, and both comparison months give the panels their notes.
CockpitView ComputeView(const MonthFigures& figures);
// The same from a reply's packets, decoded once.
CockpitView ComputeView(const CockpitPackets& packets);
// The view after a refresh that failed with nothing on screen: no month in the title, every gauge grey,
// every panel empty, and the notice "Sem dados: " with the failure's message.
CockpitView FailedView(const QString& message);

// The header's notice while a month's figures stay on screen after a refresh that failed: the time they
// were fetched (with the day when it was not the failure's) and the time of the failure. Drawn in
// kStaleNoticeColor, so a screen nobody answers never shows old figures as if they were current.
QString StaleNotice(const QDateTime& fetched, const QDateTime& failed);
inline constexpr TColor kStaleNoticeColor = clRed;

// The view a window shows, carried on the window itself (the property "cockpitView") as the value it is,
// for a host that prints, exports or mails what the window shows: nobody reads it back from text.
void SetShownView(QObject* window, const CockpitView& view);
// The view the window shows; an empty one (no month) where it shows none.
CockpitView ShownView(const QObject* window);

} // namespace cockpit

Q_DECLARE_METATYPE(cockpit::CockpitView)
