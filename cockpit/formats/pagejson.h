#pragma once

#include "monthpage.h"

#include <QByteArray>

namespace cockpit {

// The month's page as the browser draws it (/api/cockpit): month, monthTitle, partialUntil, daysElapsed,
// daysInMonth, title, branches, lastLoad, notice; indicators (key and heading, in order); scopes (the company, then every region), each with kind,
// code and, by indicator key, the scorecard's measure (figure, target, source, proRated, gap, gapPercent,
// zone, color, targetText, previous, lastYear, notes) with its text and its dial (min, max, value,
// needleColor, hubColor, ghost, zones; null where there is nothing to draw); lists by key (title, titles,
// rows, rowColors); pies by key (title, slices with label, value, color and fraction).
QByteArray MonthPageJsonText(const MonthPage& page);
inline QByteArray MonthPageJsonText(const CockpitPackets& packets) { return MonthPageJsonText(ComputePage(packets)); }

// The parts the documents share, inside an object the caller opened (the dial as a value): a dial; a
// table's titles, rows and stripes; a pie's title and slices.
class JsonText;
void WriteDial(JsonText& out, const GaugeState& dial);
// A list's "titles", "rows", "rowColors" and, for a ranking, each row's "recurrence".
void WriteRows(JsonText& out, const QStringList& titles, const QVector<QStringList>& rows, const QVector<int>& rowColors,
               const QStringList& recurrence);
void WriteSlices(JsonText& out, const QString& title, const QVector<PageSlice>& slices);

} // namespace cockpit
