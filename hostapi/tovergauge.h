#pragma once

#include <limits>

#include "tcolor.h"

#include <QHash>
#include <QString>
#include <QWidget>
#include <cmath>
#include <type_traits>
#include <vector>

class QPainter;
class QRectF;

// One coloured zone ("annular") of a dial: a ring sector between two radii (fractions of the dial's
// radius) covering the values from `start` to `stop`.
struct TGaugeZone {
    TColor color = clBlack;
    double start = 0.0;
    double stop = 0.0;
    double inner = 0.7;
    double outer = 1.0;
};

// Dial gauge: a semicircular dial from MinValue (left end) over the top to MaxValue (right end), its
// coloured zones, and a needle with a hub pointing at Progress.
//
// Zones are numbered from 0; exactly one is selected (AnnularID) and the zone properties read and
// write that one only. Radii and needle sizes are fractions of the dial radius. Colours are TColor
// (0x00BBGGRR). A setter that changes what is drawn repaints by itself; one that changes nothing, or only
// the selection, does not, and a burst of changes gets one repaint.
//
// The properties are declared in the order a window definition must apply them: Annulars, then
// AnnularID, then the zone values (which land on the zone AnnularID selects), then the rest.
//
// Behaviour at the edges:
// - SetProgress limits the value to the range: below the minimum it becomes the minimum, above the
//   maximum the maximum, and Progress reads back the limited value. Without a usable range (empty or not
//   finite) or for NaN the value is held as given. Changing the range later does not move the value.
// - SetMinValue/SetMaxValue accept any value. With MinValue > MaxValue the dial runs from MinValue on
//   the left to MaxValue on the right; with MinValue == MaxValue (or a range that is not finite) the
//   needle rests on the left end and no zone is drawn. Nothing is ever drawn outside the widget.
// - SetAnnularID with a number outside 0 .. Annulars-1 is ignored: the selection stays as it was.
// - SetAnnulars keeps the existing zones and adds default ones (black, [0, 0], radii 0.7 to 1); the
//   count is limited to 1 .. MaxAnnulars, so that one zone is always selected. Dropping the selected
//   zone selects the last remaining one.
class TOverGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Annulars READ Annulars WRITE SetAnnulars)
    Q_PROPERTY(int AnnularID READ AnnularID WRITE SetAnnularID)
    Q_PROPERTY(int AnnularColor READ AnnularColor WRITE SetAnnularColor)
    Q_PROPERTY(double AnnularStartValue READ AnnularStartValue WRITE SetAnnularStartValue)
    Q_PROPERTY(double AnnularStopValue READ AnnularStopValue WRITE SetAnnularStopValue)
    Q_PROPERTY(double annularInner READ annularInner WRITE SetAnnularInnerRadius)
    Q_PROPERTY(double Annularouter READ Annularouter WRITE SetAnnularouterRadius)
    Q_PROPERTY(int BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(double MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(double MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(double Progress READ Progress WRITE SetProgress)
    Q_PROPERTY(double GhostValue READ GhostValue WRITE SetGhostValue)
    Q_PROPERTY(int NeedleColor READ NeedleColor WRITE SetNeedleCOlor)
    Q_PROPERTY(double NeedleLength READ NeedleLength WRITE SetNeedleLength)
    Q_PROPERTY(double NeedleWidth READ NeedleWidth WRITE SetNeedleWidth)
    Q_PROPERTY(int needleHubCOlor READ needleHubCOlor WRITE SetNeedleHubCOlor)
    Q_PROPERTY(double NeedleHubRadius READ NeedleHubRadius WRITE SetNeedleHubRadius)
    Q_PROPERTY(TTextStyle TextStyle READ TextStyle WRITE SetTextStyle)
    Q_PROPERTY(QString TextUnit READ TextUnit WRITE SetTextUnit)
    Q_PROPERTY(int TextPrecicsion READ TextPrecicsion WRITE SetTextPrecicsion)
    Q_PROPERTY(int TextPointLeft READ TextPointLeft WRITE SetTextPointLeft)
    Q_PROPERTY(int FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(bool ParentFont READ ParentFont WRITE SetParentFont)

public:
    // tsNone writes no value text; tsValue writes Progress with TextPrecicsion decimals and TextUnit;
    // tsPercent writes the needle's position within the range as a percentage.
    enum TTextStyle { tsNone, tsValue, tsPercent };
    Q_ENUM(TTextStyle)

    static constexpr int MaxAnnulars = 256;

    explicit TOverGauge(QWidget* parent = nullptr);
    ~TOverGauge() override;

    // ---- Zones ---------------------------------------------------------------------------------------
    int Annulars() const { return static_cast<int>(m_zones.size()); }
    virtual void SetAnnulars(int count);
    int AnnularID() const { return m_selected; }
    virtual void SetAnnularID(int id);
    TColor AnnularColor() const { return zone().color; }
    virtual void SetAnnularColor(TColor color);
    double AnnularStartValue() const { return zone().start; }
    virtual void SetAnnularStartValue(double value);
    double AnnularStopValue() const { return zone().stop; }
    virtual void SetAnnularStopValue(double value);
    double annularInner() const { return zone().inner; }
    virtual void SetAnnularInnerRadius(double radius);
    double Annularouter() const { return zone().outer; }
    virtual void SetAnnularouterRadius(double radius);
    // Every zone, in number order (for painting and inspection; does not change the selection).
    const std::vector<TGaugeZone>& Zones() const { return m_zones; }

    // ---- Range and value -----------------------------------------------------------------------------
    double MinValue() const { return m_min; }
    virtual void SetMinValue(double value);
    double MaxValue() const { return m_max; }
    virtual void SetMaxValue(double value);
    double Progress() const { return m_progress; }
    virtual void SetProgress(double value);
    // An earlier value to compare with, drawn as a thin grey needle (resting at the nearer end when beyond
    // the dial); NaN draws none.
    double GhostValue() const { return m_ghost; }
    void SetGhostValue(double value);

    // ---- Needle and background ---------------------------------------------------------------------
    TColor BackColor() const { return m_backColor; }
    void SetBackColor(TColor color);
    TColor NeedleColor() const { return m_needleColor; }
    virtual void SetNeedleCOlor(TColor color);
    double NeedleLength() const { return m_needleLength; }
    void SetNeedleLength(double length);
    double NeedleWidth() const { return m_needleWidth; }
    void SetNeedleWidth(double width);
    TColor needleHubCOlor() const { return m_hubColor; }
    virtual void SetNeedleHubCOlor(TColor color);
    double NeedleHubRadius() const { return m_hubRadius; }
    void SetNeedleHubRadius(double radius);

    // ---- Value text ----------------------------------------------------------------------------------
    TTextStyle TextStyle() const { return m_textStyle; }
    void SetTextStyle(TTextStyle style);
    QString TextUnit() const { return m_textUnit; }
    void SetTextUnit(const QString& unit);
    int TextPrecicsion() const { return m_textPrecision; }
    void SetTextPrecicsion(int decimals);
    // Horizontal centre of the value text, in percent of the gauge's width.
    int TextPointLeft() const { return m_textLeft; }
    void SetTextPointLeft(int left);
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor color);
    // True: the gauge uses its parent's font. Giving the gauge a font of its own turns it off.
    bool ParentFont() const { return m_parentFont; }
    void SetParentFont(bool parentFont);

    // ---- Setters under the names that code generated from a window definition calls ---------------
    // (set + property name); they forward to the setters above.
    void setAnnulars(int v) { SetAnnulars(v); }
    void setAnnularID(int v) { SetAnnularID(v); }
    void setAnnularColor(TColor v) { SetAnnularColor(v); }
    void setAnnularStartValue(double v) { SetAnnularStartValue(v); }
    void setAnnularStopValue(double v) { SetAnnularStopValue(v); }
    void setAnnularInner(double v) { SetAnnularInnerRadius(v); }
    void setAnnularouter(double v) { SetAnnularouterRadius(v); }
    void setBackColor(TColor v) { SetBackColor(v); }
    void setMinValue(double v) { SetMinValue(v); }
    void setMaxValue(double v) { SetMaxValue(v); }
    void setProgress(double v) { SetProgress(v); }
    void setNeedleColor(TColor v) { SetNeedleCOlor(v); }
    void setNeedleLength(double v) { SetNeedleLength(v); }
    void setNeedleWidth(double v) { SetNeedleWidth(v); }
    void setNeedleHubCOlor(TColor v) { SetNeedleHubCOlor(v); }
    void setNeedleHubRadius(double v) { SetNeedleHubRadius(v); }
    void setTextStyle(TTextStyle v) { SetTextStyle(v); }
    void setTextUnit(const QString& v) { SetTextUnit(v); }
    void setTextPrecicsion(int v) { SetTextPrecicsion(v); }
    void setTextPointLeft(int v) { SetTextPointLeft(v); }
    void setFontColor(TColor v) { SetFontColor(v); }
    void setParentFont(bool v) { SetParentFont(v); }

    // The value text as TextStyle writes it (empty for tsNone).
    QString ValueText() const;

    // Colours drawn instead of the gauge's own (a printed page's darker ones); none by default.
    void SetColorSubstitutes(const QHash<TColor, TColor>& substitutes);

    // Draws the whole gauge into `rect` of the painter's device. Nothing is drawn outside `rect`.
    void paint(QPainter& painter, const QRectF& rect) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    const TGaugeZone& zone() const { return m_zones[static_cast<size_t>(m_selected)]; }
    TGaugeZone& zone() { return m_zones[static_cast<size_t>(m_selected)]; }
    // Position of `value` along the arc: 0 = left end (MinValue), 1 = right end (MaxValue), clipped.
    double fraction(double value) const;
    bool rangeUsable() const;
    void scheduleRepaint();
    template <typename T>
    void assign(T& member, const T& value)
    {
        if constexpr (std::is_floating_point_v<T>) {
            if (member == value || (std::isnan(member) && std::isnan(value)))
                return;
        } else if (member == value) {
            return;
        }
        member = value;
        scheduleRepaint();
    }

    std::vector<TGaugeZone> m_zones;
    int m_selected = 0;
    double m_min = 0.0;
    double m_max = 100.0;
    double m_progress = 0.0;
    double m_ghost = std::numeric_limits<double>::quiet_NaN();
    TColor m_backColor = clBlack;
    TColor m_needleColor = clRed;
    double m_needleLength = 0.65;
    double m_needleWidth = 0.14;
    TColor m_hubColor = clRed;
    double m_hubRadius = 0.14;
    TTextStyle m_textStyle = tsNone;
    QString m_textUnit;
    int m_textPrecision = 0;
    int m_textLeft = 50;
    TColor m_fontColor = clWhite;
    QHash<TColor, TColor> m_substitutes;
    bool m_parentFont = true;
    bool m_applyingParentFont = false;
    bool m_repaintRequested = false;
};
