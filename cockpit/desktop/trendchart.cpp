#include "trendchart.h"

#include "cockpitfields.h"
#include "presentation.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace cockpit {

namespace {

QColor colorOf(int c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// The company in cyan, which no region has; a region in the colour its slice has in the pies, so a region
// reads the same everywhere.
constexpr int kCompanyLine = 0xFFFF00;
int seriesColor(int region)
{
    return region < 0 ? kCompanyLine : PieSliceColor(region, kPieSeriesColor);
}

// A line's colour on a page: the company's turns black, the others as the pack prints them.
int onPage(int color) { return color == kCompanyLine ? 0x000000 : PrintColor(color); }

QString shortMonth(const QDate& first)
{
    static const char* names[] = {"jan", "fev", "mar", "abr", "mai", "jun", "jul", "ago", "set", "out", "nov", "dez"};
    return QString::fromLatin1(names[first.month() - 1]) + QLatin1Char('/') + QString::number(first.year() % 100).rightJustified(2, QLatin1Char('0'));
}

void drawChart(QPainter& p, const QRectF& area, const TrendChart& chart, const RefMonth& last, bool light)
{
    const IndicatorInfo& i = info(chart.indicator);
    const QColor ink = light ? Qt::black : Qt::white;
    const QColor rule = light ? QColor(0xC0, 0xC0, 0xC0) : QColor(0x40, 0x40, 0x40);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(std::max(8, qRound(area.height() * 0.05)));
    QFont bold = font;
    bold.setPixelSize(std::max(9, qRound(area.height() * 0.065)));
    bold.setBold(true);
    p.save();
    p.setFont(bold);
    p.setPen(light ? Qt::black : QColor(0xFF, 0xFF, 0x00));
    const QRectF head(area.left(), area.top(), area.width(), area.height() * 0.12);
    p.drawText(head, Qt::AlignLeft | Qt::AlignVCenter, QLatin1String(i.title) + (i.share ? QString() : QStringLiteral(" (M)")));
    p.setFont(font);

    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const TrendSeries& s : chart.series)
        for (const std::optional<double>& v : s.values)
            if (v) {
                lo = std::min(lo, *v);
                hi = std::max(hi, *v);
            }
    const double labelWidth = area.width() * 0.16;
    const QRectF plot(area.left() + labelWidth, head.bottom() + area.height() * 0.03, area.width() - labelWidth - area.width() * 0.02,
                      area.height() * 0.70);
    p.setPen(rule);
    p.drawRect(plot);
    if (!std::isfinite(lo)) {
        p.setPen(ink);
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("Sem meses com números"));
        p.restore();
        return;
    }
    if (hi - lo < 1e-9) {
        lo -= 1.0;
        hi += 1.0;
    }
    const double pad = (hi - lo) * 0.08;
    lo -= pad;
    hi += pad;
    const auto x = [&](int k) { return plot.left() + plot.width() * (k + 0.5) / kTrendMonths; };
    const auto y = [&](double v) { return plot.bottom() - plot.height() * (v - lo) / (hi - lo); };
    const QLocale& br = BrazilLocale();
    p.setPen(ink);
    for (const double v : {hi - pad, (hi + lo) / 2.0, lo + pad}) {
        p.setPen(rule);
        p.drawLine(QPointF(plot.left(), y(v)), QPointF(plot.right(), y(v)));
        p.setPen(ink);
        p.drawText(QRectF(area.left(), y(v) - font.pixelSize(), labelWidth * 0.92, font.pixelSize() * 2.0),
                   Qt::AlignRight | Qt::AlignVCenter, br.toString(v, 'f', i.share ? 1 : 2));
    }
    for (int k = kTrendMonths - 1; k >= 0; k -= 3)
        p.drawText(QRectF(x(k) - plot.width() / 8.0, plot.bottom() + 2, plot.width() / 4.0, area.bottom() - plot.bottom() - 2),
                   Qt::AlignHCenter | Qt::AlignTop, shortMonth(last.firstDay().addMonths(k + 1 - kTrendMonths)));

    p.setRenderHint(QPainter::Antialiasing);
    const double width = std::max(1.0, area.height() * 0.012);
    for (const TrendSeries& s : chart.series) {
        QPen pen(colorOf(s.color), s.label == QLatin1String("Total") ? width * 1.8 : width);
        p.setPen(pen);
        p.setBrush(colorOf(s.color));
        QPainterPath path;
        bool open = false;
        for (int k = 0; k < kTrendMonths; ++k) {
            const std::optional<double>& v = s.values[size_t(k)];
            const bool dashed = s.projected && k == kTrendMonths - 1;
            if (!v || dashed) {
                open = false;
                continue;
            }
            const QPointF at(x(k), y(*v));
            if (open)
                path.lineTo(at);
            else
                path.moveTo(at);
            open = true;
            p.drawEllipse(at, width, width);
        }
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        const std::optional<double>& lastValue = s.values.back();
        const std::optional<double>& before = s.values[kTrendMonths - 2];
        if (s.projected && lastValue) {
            pen.setStyle(Qt::DashLine);
            p.setPen(pen);
            if (before)
                p.drawLine(QPointF(x(kTrendMonths - 2), y(*before)), QPointF(x(kTrendMonths - 1), y(*lastValue)));
            p.drawEllipse(QPointF(x(kTrendMonths - 1), y(*lastValue)), width * 1.5, width * 1.5);
        }
    }
    p.restore();
}

} // namespace

TrendCharts TrendChartsOf(const Scorecard& card)
{
    TrendCharts out;
    out.last = card.month;
    for (const IndicatorInfo& i : kIndicators) {
        TrendChart chart;
        chart.indicator = i.id;
        int region = 0;
        for (const ScopeCard& c : card.scopes) {
            if (c.scope.kind == ScopeKind::Branch)
                continue;
            const bool company = c.scope.kind == ScopeKind::Company;
            const Measure& m = c[i.id];
            chart.series << TrendSeries{company ? QStringLiteral("Total") : c.scope.code, m.trend, m.trendProjected,
                                        seriesColor(company ? -1 : region++)};
        }
        out.charts << chart;
    }
    return out;
}

void DrawTrendCharts(QPainter& painter, const QRectF& area, const TrendCharts& charts, bool light)
{
    // Three charts above, two below beside the legend.
    const double w = area.width() / 3.0, h = area.height() / 2.0;
    for (int n = 0; n < charts.charts.size() && n < 5; ++n) {
        TrendChart chart = charts.charts[n];
        if (light)
            for (TrendSeries& s : chart.series)
                s.color = onPage(s.color);
        const QRectF cell(area.left() + (n % 3) * w, area.top() + (n / 3) * h, w, h);
        drawChart(painter, cell.adjusted(w * 0.02, h * 0.02, -w * 0.02, -h * 0.02), chart, charts.last, light);
    }
    if (charts.charts.isEmpty())
        return;
    const QRectF legend(area.left() + 2 * w + w * 0.1, area.top() + h + h * 0.1, w * 0.8, h * 0.8);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(std::max(8, qRound(h * 0.055)));
    painter.save();
    painter.setFont(font);
    const QVector<TrendSeries>& series = charts.charts.front().series;
    const double line = font.pixelSize() * 1.6;
    for (int s = 0; s < series.size(); ++s) {
        const double top = legend.top() + s * line;
        const int color = light ? onPage(series[s].color) : series[s].color;
        painter.fillRect(QRectF(legend.left(), top + line * 0.3, line * 0.8, line * 0.4), colorOf(color));
        painter.setPen(light ? Qt::black : Qt::white);
        painter.drawText(QRectF(legend.left() + line, top, legend.width() - line, line), Qt::AlignLeft | Qt::AlignVCenter,
                         series[s].label);
    }
    painter.setPen(light ? Qt::black : Qt::white);
    painter.drawText(QRectF(legend.left(), legend.top() + series.size() * line + line * 0.5, legend.width(), line * 3),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QStringLiteral("Meses sem números ficam em branco; tracejado: previsão do mês em curso."));
    painter.restore();
}

} // namespace cockpit
