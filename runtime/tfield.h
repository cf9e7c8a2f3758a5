#pragma once

#include "datapacket.h"

#include <QObject>
#include <QVariant>

class TClientDataSet;

// A persistent field object of a client dataset: it names a column of the packets the dataset loads and
// gives it a title, a display format and a read-only flag. Its value is that of the dataset's current
// record (or of the record a grid is painting).
class TField : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString FieldName READ FieldName CONSTANT)
    Q_PROPERTY(QString DisplayLabel READ DisplayLabel WRITE SetDisplayLabel)
    Q_PROPERTY(QString DisplayFormat READ DisplayFormat WRITE SetDisplayFormat)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_PROPERTY(int Size READ Size CONSTANT)
public:
    TField(TClientDataSet* dataSet, const QString& fieldName, TFieldType type, int size = 0);

    TClientDataSet* DataSet() const { return m_dataSet; }
    QString FieldName() const { return m_fieldName; }
    TFieldType DataType() const { return m_type; }
    int Size() const { return m_size; }
    int Index() const;

    QString DisplayLabel() const { return m_displayLabel.isEmpty() ? m_fieldName : m_displayLabel; }
    void SetDisplayLabel(const QString& label) { m_displayLabel = label; }
    QString DisplayFormat() const { return m_displayFormat; }
    void SetDisplayFormat(const QString& format) { m_displayFormat = format; }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }

    bool IsNumeric() const { return m_type == TFieldType::ftFloat || m_type == TFieldType::ftInteger; }
    Qt::Alignment Alignment() const { return IsNumeric() ? Qt::AlignRight : Qt::AlignLeft; }

    QVariant Value() const;
    bool IsNull() const { return Value().isNull(); }
    double AsFloat() const;       // empty → 0
    QString AsString() const;     // empty → ""; numbers in the general form of FloatToStr
    QString DisplayText() const;  // AsString, or the value in its display format

    // Text and number of an arbitrary value of this field, for grids and charts painting other rows.
    QString DisplayTextOf(const QVariant& value) const;
    static double ToFloat(const QVariant& value);

private:
    TClientDataSet* m_dataSet;
    QString m_fieldName;
    TFieldType m_type;
    int m_size;
    QString m_displayLabel;
    QString m_displayFormat;
    bool m_readOnly = false;
};
