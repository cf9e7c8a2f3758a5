#pragma once

#include <QPointer>
#include <QString>

#include "tfield.h"

// A grid column: the field it shows (bound by name), its width and the alignment of its title.
class TColumn
{
public:
    TColumn(const QString& fieldName, int width, Qt::Alignment titleAlignment = Qt::AlignLeft)
        : m_fieldName(fieldName), m_width(width), m_titleAlignment(titleAlignment)
    {
    }

    QString FieldName() const { return m_fieldName; }
    int Width() const { return m_width; }
    Qt::Alignment TitleAlignment() const { return m_titleAlignment; }

    // The bound field of the grid's dataset; nullptr while the grid has no dataset or it lacks the field.
    TField* Field() const { return m_field; }
    void SetField(TField* field) { m_field = field; }

private:
    QString m_fieldName;
    int m_width;
    Qt::Alignment m_titleAlignment;
    QPointer<TField> m_field;
};
