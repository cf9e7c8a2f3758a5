#pragma once

#include "tcolor.h"

#include <QFont>
#include <QWidget>

class TClientDataSet;
class TPieSeries;

// A chart with one pie series bound to a dataset, drawn as a tilted three-dimensional pie: title at the
// top, optional legend at the left (label and colour box per record), no axes, no walls. Slices with a
// zero, negative or non-finite value take no part of the pie but keep their legend entry. The chart takes
// no mouse or keyboard input.
class TDBChart : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)
    Q_PROPERTY(QFont TitleFont READ TitleFont WRITE SetTitleFont)
    Q_PROPERTY(int TitleFontColor READ TitleFontColor WRITE SetTitleFontColor)
    Q_PROPERTY(int Color READ Color WRITE SetColor)
    Q_PROPERTY(bool LegendVisible READ LegendVisible WRITE SetLegendVisible)
    Q_PROPERTY(QFont LegendFont READ LegendFont WRITE SetLegendFont)
    Q_PROPERTY(int LegendFontColor READ LegendFontColor WRITE SetLegendFontColor)
    Q_PROPERTY(int LegendColorWidth READ LegendColorWidth WRITE SetLegendColorWidth)
    // Top of the legend, in percent of the chart's height.
    Q_PROPERTY(int LegendTopPos READ LegendTopPos WRITE SetLegendTopPos)
    // Depth of the pie's rim, in percent of the pie's vertical radius.
    Q_PROPERTY(int Chart3DPercent READ Chart3DPercent WRITE SetChart3DPercent)
    // 360 minus the viewing angle above the pie's plane, in degrees (315 looks down at 45 degrees).
    Q_PROPERTY(int Elevation READ Elevation WRITE SetElevation)
    // Angle where the first slice starts, in degrees (0 and 360: the right-hand side).
    Q_PROPERTY(int Rotation READ Rotation WRITE SetRotation)
    Q_PROPERTY(QString SeriesName READ SeriesName WRITE SetSeriesName)
    Q_PROPERTY(int SeriesColor READ SeriesColor WRITE SetSeriesColor)
    // Name of the window's dataset; bound by LinkDataSet once the window's components exist.
    Q_PROPERTY(QString DataSetName READ DataSetName WRITE SetDataSetName)
    Q_PROPERTY(QString YValuesSource READ YValuesSource WRITE SetYValuesSource)
    Q_PROPERTY(QString XLabelsSource READ XLabelsSource WRITE SetXLabelsSource)
    // The scale the chart is drawn at (DesignScale): its margins and the legend's colour boxes are the
    // definition's times this (fonts and the pie follow the chart's size and fonts by themselves).
    Q_PROPERTY(double Zoom READ Zoom WRITE SetZoom STORED false)
public:
    explicit TDBChart(QWidget* parent = nullptr);

    TPieSeries* Series() const { return m_series; }
    // Slice and swatch colours drawn instead of the palette's (a printed page's darker ones).
    void SetColorSubstitutes(const QHash<TColor, TColor>& substitutes);

    QString Title() const { return m_title; }
    void SetTitle(const QString& title);
    QFont TitleFont() const { return m_titleFont; }
    void SetTitleFont(const QFont& font);
    TColor TitleFontColor() const { return m_titleFontColor; }
    void SetTitleFontColor(TColor color);
    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    bool LegendVisible() const { return m_legendVisible; }
    void SetLegendVisible(bool visible);
    QFont LegendFont() const { return m_legendFont; }
    void SetLegendFont(const QFont& font);
    TColor LegendFontColor() const { return m_legendFontColor; }
    void SetLegendFontColor(TColor color);
    int LegendColorWidth() const { return m_legendColorWidth; }
    void SetLegendColorWidth(int width);
    int LegendTopPos() const { return m_legendTopPos; }
    void SetLegendTopPos(int percent);
    int Chart3DPercent() const { return m_3dPercent; }
    void SetChart3DPercent(int percent);
    int Elevation() const { return m_elevation; }
    void SetElevation(int degrees);
    int Rotation() const { return m_rotation; }
    void SetRotation(int degrees);

    double Zoom() const { return m_zoom; }
    void SetZoom(double zoom);

    QString SeriesName() const;
    void SetSeriesName(const QString& name);
    TColor SeriesColor() const;
    void SetSeriesColor(TColor color);
    QString DataSetName() const { return m_dataSetName; }
    void SetDataSetName(const QString& name) { m_dataSetName = name; }
    QString YValuesSource() const;
    void SetYValuesSource(const QString& field);
    QString XLabelsSource() const;
    void SetXLabelsSource(const QString& field);

    // Binds the series to the dataset named DataSetName among the owner's components, ignoring letter
    // case. Returns false when there is none.
    bool LinkDataSet(const QObject* owner);

    // Draws the whole chart into the rectangle; paintEvent and snapshots share it.
    void paint(QPainter& painter, const QRectF& rect) const;

    // Where the pie's top face lies within a chart drawn into rect (empty without a drawn slice);
    // the legend's area likewise (empty when hidden).
    QRectF PieRect(const QRectF& rect) const;
    QRectF LegendRect(const QRectF& rect) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Geometry {
        QRectF legend;
        QRectF top; // the top face's ellipse
        double depth = 0.0;
    };
    Geometry layout(const QRectF& rect) const;
    double titleHeight() const;
    double legendRowHeight() const;

    TPieSeries* m_series;
    QString m_title;
    QFont m_titleFont;
    TColor m_titleFontColor = clWhite;
    TColor m_color = clBlack;
    bool m_legendVisible = true;
    QFont m_legendFont;
    TColor m_legendFontColor = clWhite;
    int m_legendColorWidth = 20;
    int m_legendTopPos = 18;
    int m_3dPercent = 45;
    int m_elevation = 315;
    int m_rotation = 360;
    QString m_dataSetName;
    double m_zoom = 1.0;
};
