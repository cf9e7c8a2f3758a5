#include "datapacket.h"

QString FieldTypeName(TFieldType type)
{
    switch (type) {
    case TFieldType::ftString: return QStringLiteral("texto");
    case TFieldType::ftInteger: return QStringLiteral("inteiro");
    case TFieldType::ftFloat: return QStringLiteral("número");
    case TFieldType::ftBoolean: return QStringLiteral("lógico");
    case TFieldType::ftDateTime: return QStringLiteral("data");
    case TFieldType::ftUnknown: break;
    }
    return QStringLiteral("desconhecido");
}

int TDataPacket::fieldIndex(const QString& name) const
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}
