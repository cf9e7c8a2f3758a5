#pragma once

#include "figurescodec.h"
#include "gaugestate.h"
#include "scorecard.h"

#include <QDate>
#include <QStringList>
#include <QVector>

// What a region's window shows: its branches with each figure in the colour of the zone the region's
// scorecard gives it (neutral where it has no target). Computed once; the desktop and the browser draw it.
namespace cockpit {

struct RegionCell {
    QString text;       // as shown ("1,25", "40,5%")
    QVariant number;    // the figure itself, null for none (for sorting and for a spreadsheet)
    int color = 0xFFFFFF;
    QString verdict;    // the zone in words with its target ("situação: verde (meta 45,0% · −3,0 p.p.)")
};

struct RegionView {
    RefMonth month;
    QString region;
    QString title;                     // "Regional NO — Junho/2026"
    QStringList columns;               // the grid's titles
    QVector<QVector<RegionCell>> rows;
    QVector<int> rowColors;            // stripes, as the cockpit's grids
    Scorecard scorecard;               // the region and its branches, as judged
};

RegionView ComputeRegionView(const RegionFigures& figures);
// The same from getRegionData's packets, decoded once.
RegionView ComputeRegionView(const RegionReply& packets);

} // namespace cockpit
