#include "tfield.h"

#include "presentation.h"
#include "tclientdataset.h"


TField::TField(TClientDataSet* dataSet, const QString& fieldName, TFieldType type, int size)
    : QObject(dataSet), m_dataSet(dataSet), m_fieldName(fieldName), m_type(type), m_size(size)
{
    setObjectName(dataSet->objectName() + fieldName);
}

int TField::Index() const { return static_cast<int>(m_dataSet->Fields().indexOf(const_cast<TField*>(this))); }

QVariant TField::Value() const { return m_dataSet->CurrentValue(Index()); }

double TField::ToFloat(const QVariant& value) { return FieldFloat(value); }

double TField::AsFloat() const { return ToFloat(Value()); }

QString TField::AsString() const { return FieldText(Value(), m_type, QLocale()); }

QString TField::DisplayTextOf(const QVariant& value) const
{
    return FieldText(value, m_type, QLocale(), IsNumeric() ? m_displayFormat : QString());
}

QString TField::DisplayText() const { return DisplayTextOf(Value()); }
