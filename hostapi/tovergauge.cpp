#include "tovergauge.h"

#include "presentation.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace {

// The dial is drawn in a fixed logical box of 200 x 100, scaled uniformly into the target rectangle
// and centred there, so the 107 x 54 and the 68 x 34 gauges come from the same drawing. The centre sits
// above the bottom edge so that a hub of the usual size still fits inside the box.
constexpr double kBoxW = 200.0;
constexpr double kBoxH = 100.0;
constexpr double kCx = 100.0;
constexpr double kCy = 88.0;
constexpr double kRadius = 84.0;
// Radii of the dial's track, the ring the zones usually cover.
constexpr double kTrackInner = 0.7;
constexpr double kTrackOuter = 1.0;
// Radii are limited so a wild setting still stays recognisable; the clip keeps it inside anyway.
constexpr double kMaxRadius = 1.2;

// Angle (degrees, counter-clockwise from the positive x axis, as QPainterPath takes it) of a position
// along the arc: 0 is the left end, 1 the right end, 0.5 the top.
double angleOf(double fraction) { return 180.0 - 180.0 * fraction; }

double sane(double v, double lo, double hi, double fallback)
{
    if (!std::isfinite(v))
        return fallback;
    return std::clamp(v, lo, hi);
}

QRectF circleRect(double r) { return QRectF(kCx - r, kCy - r, 2 * r, 2 * r); }

// Ring sector between radii r1 < r2 from position f1 to f2 (0..1 along the arc).
QPainterPath ringSector(double f1, double f2, double r1, double r2)
{
    const double a1 = angleOf(f1);
    const double a2 = angleOf(f2);
    QPainterPath path;
    path.arcMoveTo(circleRect(r2), a1);
    path.arcTo(circleRect(r2), a1, a2 - a1);
    if (r1 > 0.0)
        path.arcTo(circleRect(r1), a2, a1 - a2);
    else
        path.lineTo(kCx, kCy);
    path.closeSubpath();
    return path;
}

// A colour that stands just apart from the background: the empty part of the dial.
QColor trackColor(TColor back)
{
    const QColor b = ToQColor(back);
    return b.lightness() < 128 ? QColor::fromRgb(0x2a, 0x2a, 0x2a) : b.darker(115);
}

QColor tickColor(TColor back)
{
    const QColor b = ToQColor(back);
    return b.lightness() < 128 ? QColor::fromRgb(0x9a, 0x9a, 0x9a) : QColor::fromRgb(0x40, 0x40, 0x40);
}

} // namespace

TOverGauge::TOverGauge(QWidget* parent) : QWidget(parent), m_zones(3)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TOverGauge::~TOverGauge() = default;

QSize TOverGauge::sizeHint() const { return QSize(107, 54); }

// ---- Zones -------------------------------------------------------------------------------------------

void TOverGauge::SetAnnulars(int count)
{
    count = std::clamp(count, 1, MaxAnnulars);
    if (count == Annulars())
        return;
    m_zones.resize(static_cast<size_t>(count));
    if (m_selected >= count)
        m_selected = count - 1;
    scheduleRepaint();
}

void TOverGauge::SetAnnularID(int id)
{
    // A number that names no zone would leave the zone properties without a target. The selection is not
    // drawn, so it needs no repaint.
    if (id >= 0 && id < Annulars())
        m_selected = id;
}

void TOverGauge::SetAnnularColor(TColor color)
{
    assign(zone().color, color & 0xFFFFFF);
}

void TOverGauge::SetAnnularStartValue(double value)
{
    assign(zone().start, value);
}

void TOverGauge::SetAnnularStopValue(double value)
{
    assign(zone().stop, value);
}

void TOverGauge::SetAnnularInnerRadius(double radius)
{
    assign(zone().inner, radius);
}

void TOverGauge::SetAnnularouterRadius(double radius)
{
    assign(zone().outer, radius);
}

// ---- Range and value ---------------------------------------------------------------------------------

void TOverGauge::SetMinValue(double value)
{
    assign(m_min, value);
}

void TOverGauge::SetMaxValue(double value)
{
    assign(m_max, value);
}

void TOverGauge::SetProgress(double value)
{
    // A value beyond the dial rests at the nearer end, so the needle and the zone that colours it read
    // that end; the true figure is the caller's to show beside the dial.
    assign(m_progress, ValueOnDial(m_min, m_max, value));
}

void TOverGauge::SetGhostValue(double value)
{
    if (std::isnan(value) && std::isnan(m_ghost))
        return;
    assign(m_ghost, value);
}

bool TOverGauge::rangeUsable() const
{
    return std::isfinite(m_min) && std::isfinite(m_max) && m_min != m_max && std::isfinite(m_max - m_min);
}

double TOverGauge::fraction(double value) const
{
    if (!rangeUsable())
        return 0.0;
    const double f = (value - m_min) / (m_max - m_min);
    if (std::isnan(f))
        return 0.0;
    return std::clamp(f, 0.0, 1.0);
}

// ---- Needle, background, text ------------------------------------------------------------------------

void TOverGauge::SetBackColor(TColor color)
{
    assign(m_backColor, color & 0xFFFFFF);
}

void TOverGauge::SetNeedleCOlor(TColor color)
{
    assign(m_needleColor, color & 0xFFFFFF);
}

void TOverGauge::SetNeedleLength(double length)
{
    assign(m_needleLength, length);
}

void TOverGauge::SetNeedleWidth(double width)
{
    assign(m_needleWidth, width);
}

void TOverGauge::SetNeedleHubCOlor(TColor color)
{
    assign(m_hubColor, color & 0xFFFFFF);
}

void TOverGauge::SetNeedleHubRadius(double radius)
{
    assign(m_hubRadius, radius);
}

void TOverGauge::SetTextStyle(TTextStyle style)
{
    assign(m_textStyle, style);
}

void TOverGauge::SetTextUnit(const QString& unit)
{
    assign(m_textUnit, unit);
}

void TOverGauge::SetTextPrecicsion(int decimals)
{
    assign(m_textPrecision, decimals);
}

void TOverGauge::SetTextPointLeft(int left)
{
    assign(m_textLeft, left);
}

void TOverGauge::SetFontColor(TColor color)
{
    assign(m_fontColor, color & 0xFFFFFF);
}

void TOverGauge::SetParentFont(bool parentFont)
{
    if (parentFont == m_parentFont)
        return;
    m_parentFont = parentFont;
    if (parentFont) {
        // An empty font resolves nothing of its own, so the parent's font shows through again.
        m_applyingParentFont = true;
        setFont(QFont());
        m_applyingParentFont = false;
    }
    scheduleRepaint();
}

void TOverGauge::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange && !m_applyingParentFont && testAttribute(Qt::WA_SetFont))
        m_parentFont = false;
    QWidget::changeEvent(event);
}

QString TOverGauge::ValueText() const
{
    const int decimals = std::clamp(m_textPrecision, 0, 15);
    const QLocale& locale = BrazilLocale();
    switch (m_textStyle) {
    case tsNone:
        return QString();
    case tsValue:
        return locale.toString(m_progress, 'f', decimals) + m_textUnit;
    case tsPercent:
        return locale.toString(fraction(m_progress) * 100.0, 'f', decimals) + QLatin1Char('%');
    }
    return QString();
}

// ---- Painting ----------------------------------------------------------------------------------------

void TOverGauge::scheduleRepaint()
{
    // Configuring a gauge is a burst of setter calls (twenty for the three zones); one request covers them.
    if (m_repaintRequested)
        return;
    m_repaintRequested = true;
    update();
}

void TOverGauge::paintEvent(QPaintEvent*)
{
    m_repaintRequested = false;
    QPainter painter(this);
    paint(painter, QRectF(rect()));
}

void TOverGauge::SetColorSubstitutes(const QHash<TColor, TColor>& substitutes)
{
    if (m_substitutes == substitutes)
        return;
    m_substitutes = substitutes;
    scheduleRepaint();
}

void TOverGauge::paint(QPainter& painter, const QRectF& rect) const
{
    if (rect.isEmpty())
        return;
    const auto ToQColor = [this](TColor c) { return ::ToQColor(m_substitutes.value(c, c)); };

    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.fillRect(rect, ToQColor(m_backColor));
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    const double scale = std::min(rect.width() / kBoxW, rect.height() / kBoxH);
    const QPointF origin(rect.left() + (rect.width() - kBoxW * scale) / 2.0,
                         rect.top() + (rect.height() - kBoxH * scale) / 2.0);
    painter.translate(origin);
    painter.scale(scale, scale);
    painter.setPen(Qt::NoPen);

    // The empty dial, so the arc reads even where no zone covers it.
    painter.setBrush(trackColor(m_backColor));
    painter.drawPath(ringSector(0.0, 1.0, kTrackInner * kRadius, kTrackOuter * kRadius));

    // Zones in number order: a later zone lies over an earlier one where they overlap. Values beyond
    // the range are clipped to the arc's ends.
    if (rangeUsable()) {
        for (const TGaugeZone& z : m_zones) {
            const double f1 = std::min(fraction(z.start), fraction(z.stop));
            const double f2 = std::max(fraction(z.start), fraction(z.stop));
            double r1 = sane(z.inner, 0.0, kMaxRadius, kTrackInner);
            double r2 = sane(z.outer, 0.0, kMaxRadius, kTrackOuter);
            if (r1 > r2)
                std::swap(r1, r2);
            if (f2 <= f1 || r2 <= r1 || std::isnan(z.start) || std::isnan(z.stop))
                continue;
            painter.setBrush(ToQColor(z.color));
            painter.drawPath(ringSector(f1, f2, r1 * kRadius, r2 * kRadius));
        }
    }

    // Scale marks at the ends, the quarters and the middle, just inside the track.
    {
        QPen pen(tickColor(m_backColor));
        pen.setWidthF(std::max(1.2 / scale, 2.0));
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        for (int i = 0; i <= 4; ++i) {
            const double a = qDegreesToRadians(angleOf(i / 4.0));
            const double ri = (kTrackInner - (i % 2 == 0 ? 0.1 : 0.06)) * kRadius;
            const double ro = (kTrackInner - 0.02) * kRadius;
            painter.drawLine(QPointF(kCx + ri * std::cos(a), kCy - ri * std::sin(a)),
                             QPointF(kCx + ro * std::cos(a), kCy - ro * std::sin(a)));
        }
        painter.setPen(Qt::NoPen);
    }

    // Value text, written in device pixels so the font keeps its size at any scale.
    if (m_textStyle != tsNone) {
        const QString text = ValueText();
        const QTransform toDevice = painter.transform();
        painter.save();
        painter.resetTransform();
        const QPointF anchor = toDevice.map(QPointF(kCx, kCy - 0.38 * kRadius));
        const double x = rect.left() + rect.width() * std::clamp(m_textLeft, 0, 100) / 100.0;
        painter.setFont(font());
        painter.setPen(ToQColor(m_fontColor));
        const QFontMetricsF fm(font());
        const QRectF box(x - fm.horizontalAdvance(text) / 2.0, anchor.y() - fm.height() / 2.0,
                         fm.horizontalAdvance(text), fm.height());
        painter.drawText(box, Qt::AlignCenter, text);
        painter.restore();
    }

    // Needle: a tapered blade from the centre, turned to the value; values beyond the range rest on the
    // arc's ends. The earlier value's needle goes under it, a thin grey line.
    const double length = sane(m_needleLength, 0.0, kMaxRadius, 0.65) * kRadius;
    if (!std::isnan(m_ghost) && length > 0.0) {
        painter.save();
        painter.translate(kCx, kCy);
        painter.rotate(-angleOf(fraction(ValueOnDial(m_min, m_max, m_ghost))));
        painter.setPen(QPen(ToQColor(clGhostNeedle), kRadius * 0.035, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0.0, 0.0), QPointF(length, 0.0));
        painter.restore();
    }
    const double width = sane(m_needleWidth, 0.0, 1.0, 0.14) * kRadius;
    if (length > 0.0 && width > 0.0) {
        painter.save();
        painter.translate(kCx, kCy);
        painter.rotate(-angleOf(fraction(m_progress)));
        const QPolygonF blade{QPointF(0.0, -width / 2.0), QPointF(length - width / 4.0, -width / 8.0),
                              QPointF(length, 0.0), QPointF(length - width / 4.0, width / 8.0),
                              QPointF(0.0, width / 2.0)};
        painter.setBrush(ToQColor(m_needleColor));
        painter.drawPolygon(blade);
        painter.restore();
    }

    const double hub = sane(m_hubRadius, 0.0, 1.0, 0.14) * kRadius;
    if (hub > 0.0) {
        painter.setBrush(ToQColor(m_hubColor));
        painter.drawEllipse(QPointF(kCx, kCy), hub, hub);
    }

    painter.restore();
}
