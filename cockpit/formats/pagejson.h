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

// A dial as the documents carry it.
class JsonText;
void WriteDial(JsonText& out, const GaugeState& dial);

} // namespace cockpit
