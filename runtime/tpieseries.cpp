#include "tpieseries.h"

#include "tclientdataset.h"

#include <cmath>

bool TPieSlice::Drawn() const
{
    return std::isfinite(value) && value > 0.0;
}

TPieSeries::TPieSeries(QObject* parent) : QObject(parent) {}

void TPieSeries::SetDataSource(TClientDataSet* dataSet)
{
    if (m_dataSet == dataSet)
        return;
    disconnect(m_connection);
    m_dataSet = dataSet;
    if (dataSet)
        m_connection = connect(dataSet, &TClientDataSet::contentReplaced, this, &TPieSeries::Rebuild);
    Rebuild();
}

void TPieSeries::SetYValuesSource(const QString& fieldName)
{
    m_valuesField = fieldName;
    Rebuild();
}

void TPieSeries::SetXLabelsSource(const QString& fieldName)
{
    m_labelsField = fieldName;
    Rebuild();
}

void TPieSeries::SetSeriesColor(TColor color)
{
    m_seriesColor = color;
    Rebuild();
}

QColor TPieSeries::SliceColor(int index) const
{
    // The chart palette, without black: a black slice would vanish on the black chart.
    static const TColor palette[] = {0x0000FF, 0x008000, 0x00FFFF, 0xFF0000, 0xFFFFFF,
                                     0x808080, 0xFF00FF, 0x808000, 0x800000, 0x000080,
                                     0x00FF00, 0x008080, 0x800080, 0xC0C0C0, 0xFFFF00};
    constexpr int n = static_cast<int>(sizeof(palette) / sizeof(palette[0]));
    if (index <= 0)
        return ToQColor(m_seriesColor);
    // The series colour takes the palette's place of the first slice, so it is not repeated.
    int start = 0;
    for (int i = 0; i < n; ++i)
        if (palette[i] == m_seriesColor)
            start = i;
    return ToQColor(palette[(start + index) % n]);
}

void TPieSeries::Rebuild()
{
    m_slices.clear();
    TClientDataSet* ds = m_dataSet;
    if (ds && ds->Active()) {
        const TField* valueField = ds->FindField(m_valuesField);
        const TField* labelField = ds->FindField(m_labelsField);
        for (int row = 0; row < ds->RecordCount(); ++row) {
            TPieSlice s;
            if (valueField) {
                const QVariant v = ds->ValueAt(row, valueField->Index());
                s.value = v.isNull() ? 0.0 : TField::ToFloat(v);
            }
            if (labelField)
                s.label = labelField->DisplayTextOf(ds->ValueAt(row, labelField->Index()));
            s.color = SliceColor(row);
            m_slices.append(s);
        }
    }
    emit changed();
}

QList<double> TPieSeries::Fractions() const
{
    // Scaled by the largest value first, so that a sum of huge values cannot overflow to infinity.
    double largest = 0.0;
    for (const TPieSlice& s : m_slices)
        if (s.Drawn())
            largest = std::max(largest, s.value);
    QList<double> out;
    double sum = 0.0;
    for (const TPieSlice& s : m_slices) {
        const double f = (largest > 0.0 && s.Drawn()) ? s.value / largest : 0.0;
        out.append(f);
        sum += f;
    }
    if (sum > 0.0)
        for (double& f : out)
            f /= sum;
    return out;
}
