#pragma once

#include <QJsonValue>
#include <QStringList>

// Where two cockpit documents differ, as readable paths ("$.gauges.indicFatR4.needleColor: ..."). A row
// colour the desktop could not see (null: the row lies below the grid's visible part) is not compared, and
// the slices' colours and shares, which only the view carries, are not looked for on the desktop's side.
void JsonDifferences(const QJsonValue& desktop, const QJsonValue& view, const QString& path, QStringList& out);
