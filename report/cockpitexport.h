#pragma once

#include <QJsonObject>
#include <QStringList>

class QWidget;

// What the dashboard shows, as JSON: labels and panels by name with their captions, gauges with range,
// value, needle and zones, grids with titles, cell texts and the colour each row is painted with,
// charts with title and slices, and refDate, the month whose figures the window shows (empty for none).
// Colours are 0x00BBGGRR integers.
QJsonObject ExportCockpit(QWidget* dashboard, const QStringList& messages);

// The same document as text, with "scorecard": what the figures on screen mean, as the window judged them.
QByteArray ExportCockpitText(QWidget* dashboard, const QStringList& messages);
