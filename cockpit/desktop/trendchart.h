#pragma once

#include "scorecard.h"

#include <QRectF>
#include <QString>
#include <QVector>

class QPainter;

// The last twelve months of every indicator, the company's and each region's line on one chart per
// indicator: what the desktop's trend window and the board pack's trend page draw, from the same scorecard.
namespace cockpit {

struct TrendSeries {
    QString label;   // "Total" or the region's code
    std::array<std::optional<double>, kTrendMonths> values;   // oldest first; none is a gap, not a zero
    bool projected = false;   // the last value is a partial month's projection (drawn dashed)
    int color = 0;            // 0x00BBGGRR: the company white, each region its pies' colour
};

struct TrendChart {
    Indicator indicator = Indicator::Revenue;
    QVector<TrendSeries> series;
};

struct TrendCharts {
    RefMonth last;                 // the month the lines end at
    QVector<TrendChart> charts;    // one per indicator, in kIndicators' order
};

TrendCharts TrendChartsOf(const Scorecard& card);

// The five charts and their legend in `area`; `light` for a page (dark lines on white), else the cockpit's
// black ground.
void DrawTrendCharts(QPainter& painter, const QRectF& area, const TrendCharts& charts, bool light);

} // namespace cockpit
