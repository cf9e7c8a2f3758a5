#pragma once

#include "tcolor.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include "tclientdataset.h"

// One slice of a pie: its label, value and colour. A slice whose value is zero, negative, NaN or infinite
// is kept (the legend lists it) but takes no part of the pie.
struct TPieSlice {
    QString label;
    double value = 0.0;
    QColor color;
    bool Drawn() const;
};

// A pie series fed directly by a dataset: one slice per record of the dataset's current view, in its
// order, the value from the field YValuesSource and the label from XLabelsSource. The slices are rebuilt
// whenever the dataset's content is replaced; a closed dataset gives no slices.
class TPieSeries : public QObject
{
    Q_OBJECT
public:
    explicit TPieSeries(QObject* parent = nullptr);

    TClientDataSet* DataSource() const { return m_dataSet; }
    void SetDataSource(TClientDataSet* dataSet);
    QString YValuesSource() const { return m_valuesField; }
    void SetYValuesSource(const QString& fieldName);
    QString XLabelsSource() const { return m_labelsField; }
    void SetXLabelsSource(const QString& fieldName);
    // The colour of the first slice; the following slices take the palette's next colours.
    TColor SeriesColor() const { return m_seriesColor; }
    void SetSeriesColor(TColor color);

    const QList<TPieSlice>& Slices() const { return m_slices; }
    int Count() const { return static_cast<int>(m_slices.size()); }
    // Fraction of the pie each slice takes (0 for slices left out); sums to 1 unless nothing is drawn.
    QList<double> Fractions() const;

    // Palette colour of the slice at an index: SeriesColor first, then the chart palette in turn.
    QColor SliceColor(int index) const;
    // Colours drawn instead of the palette's (a printed page's darker ones); none by default.
    void SetColorSubstitutes(const QHash<TColor, TColor>& substitutes);

    void Rebuild();

signals:
    void changed();

private:
    QPointer<TClientDataSet> m_dataSet;
    QMetaObject::Connection m_connection;
    QString m_valuesField;
    QString m_labelsField;
    TColor m_seriesColor = clRed;
    QHash<TColor, TColor> m_substitutes;
    QList<TPieSlice> m_slices;
};
