#include "tfield.h"

#include "floattostr.h"
#include "tclientdataset.h"

#include <QDateTime>

TField::TField(TClientDataSet* dataSet, const QString& fieldName, TFieldType type, int size)
    : QObject(dataSet), m_dataSet(dataSet), m_fieldName(fieldName), m_type(type), m_size(size)
{
    setObjectName(dataSet->objectName() + fieldName);
}

int TField::Index() const { return static_cast<int>(m_dataSet->Fields().indexOf(const_cast<TField*>(this))); }

QVariant TField::Value() const { return m_dataSet->CurrentValue(Index()); }

double TField::ToFloat(const QVariant& value)
{
    if (value.isNull())
        return 0.0;
    bool ok = false;
    const double d = value.toDouble(&ok);
    return ok ? d : 0.0;
}

double TField::AsFloat() const { return ToFloat(Value()); }

QString TField::AsString() const
{
    const QVariant v = Value();
    if (v.isNull())
        return {};
    if (IsNumeric())
        return FloatToStr(ToFloat(v));
    if (m_type == TFieldType::ftDateTime)
        return QLocale().toString(v.toDateTime(), QStringLiteral("dd/MM/yyyy"));
    return v.toString();
}

QString TField::DisplayTextOf(const QVariant& value) const
{
    if (value.isNull())
        return {};
    if (IsNumeric())
        return m_displayFormat.isEmpty() ? FloatToStr(ToFloat(value)) : FormatFloat(m_displayFormat, ToFloat(value));
    if (m_type == TFieldType::ftDateTime)
        return QLocale().toString(value.toDateTime(), QStringLiteral("dd/MM/yyyy"));
    return value.toString();
}

QString TField::DisplayText() const { return DisplayTextOf(Value()); }
