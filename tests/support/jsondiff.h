#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

// Where two cockpit documents differ, as readable paths ("$.gauges.indicFatR4.needleColor: ..."). A row
// colour the desktop could not see (null: the row lies below the grid's visible part) is not compared, and
// the slices' colours and shares, which only the view carries, are not looked for on the desktop's side.
void JsonDifferences(const QJsonValue& desktop, const QJsonValue& view, const QString& path, QStringList& out);

// The browser's page of a month (/api/cockpit) in the desktop's words: what the desktop's export shows of
// the same month by its components' names, for what the page carries: the header's texts, the gauges,
// panels and notes of the company and of the first five regions, the lists and the pies.
QJsonObject PageInDesktopNames(const QJsonObject& page);
// The desktop's export cut to the components `like` names (the captions the window's definition keeps,
// and the rows of regions the month does not have, are the desktop's own); its notes all stay.
QJsonObject DesktopPart(const QJsonObject& desktop, const QJsonObject& like);
