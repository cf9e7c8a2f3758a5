#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVector>

enum class TFieldType { ftUnknown, ftString, ftInteger, ftFloat, ftBoolean, ftDateTime };

QString FieldTypeName(TFieldType type);

struct TPacketFieldDef {
    QString name;
    TFieldType type = TFieldType::ftUnknown;
    int size = 0;
    bool readOnly = false;
};

// A whole dataset as the server sends it: field definitions and rows. A row holds one QVariant per
// field in definition order; a null QVariant is an empty field.
struct TDataPacket {
    QVector<TPacketFieldDef> fields;
    QVector<QVector<QVariant>> rows;

    int fieldIndex(const QString& name) const; // ignoring letter case; -1 when absent
};

Q_DECLARE_METATYPE(TDataPacket)
