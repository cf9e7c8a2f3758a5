#pragma once

#include "gaugestate.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace cockpit {

struct GridDefinition {
    QString dataSource;    // dtsTop10, ...
    QStringList columns;   // field names, in order
};

struct ChartDefinition {
    QString title;
    QString dataSet;       // cdsGrafPizza
    QString valuesField;
    QString labelsField;
    int seriesColor = 0x0000FF;
};

// The dashboard's window definition as the view needs it: the captions it stores, the gauges as the
// definition leaves them before any refresh, the grids' columns and the charts' sources. Read from the
// same .ui file the desktop window is built from (compiled into this library), so a caption or a
// default changed there changes both faces.
struct DashboardDefinition {
    QHash<QString, QString> labels;   // TLabel captions by name
    QHash<QString, QString> panels;   // TPanel captions by name
    QHash<QString, GaugeState> gauges;
    QHash<QString, GridDefinition> grids;
    QHash<QString, ChartDefinition> charts;

    // Parsed once; the definition is part of the program.
    static const DashboardDefinition& Get();
};

} // namespace cockpit
