#include "tdbchart.h"

#include "tclientdataset.h"
#include "tpieseries.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace
{

constexpr double kPi = 3.14159265358979323846;

QPointF onEllipse(const QRectF& e, double degrees)
{
    const double a = degrees * kPi / 180.0;
    return {e.center().x() + e.width() / 2.0 * std::cos(a), e.center().y() - e.height() / 2.0 * std::sin(a)};
}

} // namespace

TDBChart::TDBChart(QWidget* parent) : QWidget(parent), m_series(new TPieSeries(this))
{
    // A chart only shows: no clicks, no keys, no focus.
    setEnabled(false);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_titleFont = font();
    m_legendFont = font();
    connect(m_series, &TPieSeries::changed, this, qOverload<>(&QWidget::update));
}

void TDBChart::SetTitle(const QString& title)
{
    m_title = title;
    update();
}
void TDBChart::SetTitleFont(const QFont& font)
{
    m_titleFont = font;
    update();
}
void TDBChart::SetTitleFontColor(TColor color)
{
    m_titleFontColor = color;
    update();
}
void TDBChart::SetColor(TColor color)
{
    m_color = color;
    update();
}
void TDBChart::SetLegendVisible(bool visible)
{
    m_legendVisible = visible;
    update();
}
void TDBChart::SetLegendFont(const QFont& font)
{
    m_legendFont = font;
    update();
}
void TDBChart::SetLegendFontColor(TColor color)
{
    m_legendFontColor = color;
    update();
}
void TDBChart::SetLegendColorWidth(int width)
{
    m_legendColorWidth = qMax(0, width);
    update();
}
void TDBChart::SetLegendTopPos(int percent)
{
    m_legendTopPos = qBound(0, percent, 100);
    update();
}
void TDBChart::SetChart3DPercent(int percent)
{
    m_3dPercent = qBound(0, percent, 100);
    update();
}
void TDBChart::SetElevation(int degrees)
{
    m_elevation = degrees;
    update();
}
void TDBChart::SetRotation(int degrees)
{
    m_rotation = degrees;
    update();
}
void TDBChart::SetZoom(double zoom)
{
    if (zoom <= 0.0 || zoom == m_zoom)
        return;
    m_zoom = zoom;
    update();
}

QString TDBChart::SeriesName() const
{
    return m_series->objectName();
}
void TDBChart::SetSeriesName(const QString& name)
{
    m_series->setObjectName(name);
}
void TDBChart::SetColorSubstitutes(const QHash<TColor, TColor>& substitutes) { m_series->SetColorSubstitutes(substitutes); }

TColor TDBChart::SeriesColor() const
{
    return m_series->SeriesColor();
}
void TDBChart::SetSeriesColor(TColor color)
{
    m_series->SetSeriesColor(color);
}
QString TDBChart::YValuesSource() const
{
    return m_series->YValuesSource();
}
void TDBChart::SetYValuesSource(const QString& field)
{
    m_series->SetYValuesSource(field);
}
QString TDBChart::XLabelsSource() const
{
    return m_series->XLabelsSource();
}
void TDBChart::SetXLabelsSource(const QString& field)
{
    m_series->SetXLabelsSource(field);
}

bool TDBChart::LinkDataSet(const QObject* owner)
{
    if (!owner || m_dataSetName.isEmpty())
        return false;
    const auto sets = owner->findChildren<TClientDataSet*>();
    for (TClientDataSet* ds : sets)
        if (ds->objectName().compare(m_dataSetName, Qt::CaseInsensitive) == 0) {
            m_series->SetDataSource(ds);
            return true;
        }
    return false;
}

double TDBChart::titleHeight() const
{
    return m_title.isEmpty() ? 0.0 : QFontMetricsF(m_titleFont).height() + 6.0 * m_zoom;
}

double TDBChart::legendRowHeight() const
{
    return QFontMetricsF(m_legendFont).height() + 2.0 * m_zoom;
}

TDBChart::Geometry TDBChart::layout(const QRectF& rect) const
{
    Geometry g;
    const double z = m_zoom;
    QRectF plot = rect.adjusted(4.0 * z, titleHeight() + 2.0 * z, -4.0 * z, -4.0 * z);
    if (m_legendVisible && m_series->Count() > 0) {
        const QFontMetricsF fm(m_legendFont);
        double textWidth = 0.0;
        for (const TPieSlice& s : m_series->Slices())
            textWidth = std::max(textWidth, fm.horizontalAdvance(s.label));
        const double width = (4.0 + m_legendColorWidth + 4.0 + 4.0) * z + textWidth;
        const double top = rect.top() + rect.height() * m_legendTopPos / 100.0;
        g.legend = QRectF(rect.left() + 2.0 * z, top, width, legendRowHeight() * m_series->Count() + 4.0 * z);
        plot.setLeft(g.legend.right() + 4.0 * z);
    }
    if (plot.width() < 4.0 * z || plot.height() < 4.0 * z)
        return g;

    // Looking down at the pie flattens its top face; the rim hangs below it by the 3-D depth.
    double tilt = std::fmod(360.0 - m_elevation, 360.0);
    if (tilt <= 0.0)
        tilt = 90.0;
    const double flatten = std::clamp(std::sin(tilt * kPi / 180.0), 0.15, 1.0);
    const double depthRatio = m_3dPercent / 100.0 * (1.0 - flatten + 0.3);
    // Fit the width and the height (top face plus rim) into the plot area.
    const double rx =
        std::min(plot.width() / 2.0, plot.height() / (2.0 * flatten + 2.0 * flatten * depthRatio));
    const double ry = rx * flatten;
    g.depth = 2.0 * ry * depthRatio;
    const QPointF c(plot.center().x(), plot.center().y() - g.depth / 2.0);
    g.top = QRectF(c.x() - rx, c.y() - ry, 2.0 * rx, 2.0 * ry);
    return g;
}

QRectF TDBChart::PieRect(const QRectF& rect) const
{
    const QList<double> fractions = m_series->Fractions();
    const bool any = std::any_of(fractions.begin(), fractions.end(), [](double f) { return f > 0.0; });
    return any ? layout(rect).top : QRectF();
}

QRectF TDBChart::LegendRect(const QRectF& rect) const
{
    return layout(rect).legend;
}

void TDBChart::paint(QPainter& p, const QRectF& rect) const
{
    p.save();
    p.setClipRect(rect);
    p.fillRect(rect, ToQColor(m_color));
    p.setRenderHint(QPainter::Antialiasing, true);

    if (!m_title.isEmpty()) {
        p.setFont(m_titleFont);
        p.setPen(ToQColor(m_titleFontColor));
        p.drawText(QRectF(rect.left(), rect.top() + 2.0 * m_zoom, rect.width(), titleHeight() - 2.0 * m_zoom),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, m_title);
    }

    const Geometry g = layout(rect);
    const QList<TPieSlice>& slices = m_series->Slices();

    if (!g.legend.isEmpty()) {
        p.setFont(m_legendFont);
        const double row = legendRowHeight();
        const QFontMetricsF fm(m_legendFont);
        for (int i = 0; i < slices.size(); ++i) {
            const double y = g.legend.top() + 2.0 * m_zoom + i * row;
            const QRectF box(g.legend.left() + 4.0 * m_zoom, y + (row - fm.ascent()) / 2.0,
                             m_legendColorWidth * m_zoom, fm.ascent() - m_zoom);
            p.setPen(Qt::NoPen);
            p.fillRect(box, slices[i].color);
            p.setPen(ToQColor(m_legendFontColor));
            p.drawText(QRectF(box.right() + 4.0 * m_zoom, y, g.legend.right() - box.right() - 4.0 * m_zoom, row),
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, slices[i].label);
        }
    }

    const QList<double> fractions = m_series->Fractions();
    struct Span {
        int slice;
        double from, to; // degrees, counter-clockwise
    };
    QList<Span> spans;
    double angle = std::fmod(static_cast<double>(m_rotation), 360.0);
    for (int i = 0; i < fractions.size(); ++i) {
        if (fractions[i] <= 0.0)
            continue;
        const double sweep = fractions[i] * 360.0;
        spans.append({i, angle, angle + sweep});
        angle += sweep;
    }

    if (!spans.isEmpty() && !g.top.isEmpty()) {
        const QRectF bottom = g.top.translated(0.0, g.depth);
        const QPen edge(QColor(0, 0, 0, 110), 0.8);

        // Only the front half of the rim (180 to 360 degrees) can be seen; the pieces farthest from the
        // front are drawn first, so nearer ones cover them.
        struct Wall {
            int slice;
            double from, to;
        };
        QList<Wall> walls;
        for (const Span& s : spans)
            for (double base : {-360.0, 0.0, 360.0}) {
                const double from = std::max(s.from, base + 180.0);
                const double to = std::min(s.to, base + 360.0);
                if (to > from)
                    walls.append({s.slice, from, to});
            }
        auto distance = [](const Wall& w) {
            const double mid = std::fmod((w.from + w.to) / 2.0 + 720.0, 360.0);
            return std::abs(mid - 270.0);
        };
        std::sort(walls.begin(), walls.end(),
                  [&](const Wall& a, const Wall& b) { return distance(a) > distance(b); });
        for (const Wall& w : walls) {
            QPainterPath path(onEllipse(g.top, w.from));
            path.arcTo(g.top, w.from, w.to - w.from);
            path.lineTo(onEllipse(bottom, w.to));
            path.arcTo(bottom, w.to, -(w.to - w.from));
            path.closeSubpath();
            p.setPen(edge);
            p.setBrush(slices[w.slice].color.darker(170));
            p.drawPath(path);
        }

        for (const Span& s : spans) {
            QPainterPath path(g.top.center());
            path.arcTo(g.top, s.from, s.to - s.from);
            path.closeSubpath();
            p.setPen(spans.size() > 1 ? edge : Qt::NoPen);
            p.setBrush(slices[s.slice].color);
            p.drawPath(path);
        }
    }
    p.restore();
}

void TDBChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, rect());
}
