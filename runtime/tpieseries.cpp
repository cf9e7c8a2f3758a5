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
    const TColor color = PieSliceColor(index, m_seriesColor);
    return ToQColor(m_substitutes.value(color, color));
}

void TPieSeries::SetColorSubstitutes(const QHash<TColor, TColor>& substitutes)
{
    if (m_substitutes == substitutes)
        return;
    m_substitutes = substitutes;
    Rebuild();
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
    QList<double> values;
    values.reserve(m_slices.size());
    for (const TPieSlice& s : m_slices)
        values.append(s.value);
    return PieFractions(values);
}
