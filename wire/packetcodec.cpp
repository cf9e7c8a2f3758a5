#include "packetcodec.h"

#include "daycount.h"
#include "wiretext.h"

#include <QSet>
#include <cmath>
#include <limits>

namespace PacketCodec {

namespace {

[[noreturn]] void malformed(const QString& detail)
{
    throw WireError(QStringLiteral("O servidor de aplicação devolveu dados malformados: %1.").arg(detail));
}

QString toQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A field name as a message quotes it: it came from the other side and may hold anything.
QString quoted(const QString& name) { return QLatin1Char('\'') + WireText::Printable(name, 40) + QLatin1Char('\''); }

// NaN and the infinities are no figure a server computes: a reply that holds one is not to be shown.
double finite(double value, const QString& where)
{
    if (!std::isfinite(value))
        malformed(QStringLiteral("número não finito (%1)%2").arg(value).arg(where));
    return value;
}

std::string toStd(const QString& s)
{
    const QByteArray utf8 = s.toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}

// A cell of a row: a scalar that must fit the field's type. Null fits every field.
QVariant decodeCell(const kpd::rpc::Variant& v, const TPacketFieldDef& field, int row)
{
    using K = kpd::rpc::Variant;
    if (v.kind_case() == K::KIND_NOT_SET)
        return {};
    if (v.kind_case() == K::kPacketValue)
        malformed(QStringLiteral("a linha %1 traz um pacote no campo %2").arg(row + 1).arg(quoted(field.name)));
    bool fits = false;
    switch (field.type) {
    case TFieldType::ftString: fits = v.kind_case() == K::kTextValue; break;
    case TFieldType::ftInteger: fits = v.kind_case() == K::kIntValue; break;
    case TFieldType::ftFloat:
        if (v.kind_case() == K::kIntValue)
            return QVariant(static_cast<double>(v.int_value()));
        fits = v.kind_case() == K::kDoubleValue;
        // The message is only composed for a value that needs it: every number of a reply passes here.
        if (fits && std::isfinite(v.double_value()))
            return QVariant(v.double_value());
        if (fits)
            return finite(v.double_value(), QStringLiteral(" na linha %1, campo %2").arg(row + 1).arg(quoted(field.name)));
        break;
    case TFieldType::ftBoolean: fits = v.kind_case() == K::kBoolValue; break;
    case TFieldType::ftDateTime: fits = v.kind_case() == K::kDatetimeValue; break;
    case TFieldType::ftUnknown: fits = true; break; // a column of a type we do not know: carried as it is
    }
    if (!fits)
        malformed(QStringLiteral("a linha %1 traz um valor de tipo errado no campo %2 (%3)")
                      .arg(row + 1)
                      .arg(quoted(field.name), FieldTypeName(field.type)));
    return DecodeVariant(v);
}

} // namespace

void EncodeFieldDef(const TPacketFieldDef& field, kpd::rpc::FieldDef* out)
{
    out->set_name(toStd(field.name));
    out->set_type(ToWire(field.type));
    out->set_size(field.size);
    out->set_read_only(field.readOnly);
}

kpd::rpc::FieldType ToWire(TFieldType type)
{
    switch (type) {
    case TFieldType::ftString: return kpd::rpc::FIELD_STRING;
    case TFieldType::ftInteger: return kpd::rpc::FIELD_INTEGER;
    case TFieldType::ftFloat: return kpd::rpc::FIELD_FLOAT;
    case TFieldType::ftBoolean: return kpd::rpc::FIELD_BOOLEAN;
    case TFieldType::ftDateTime: return kpd::rpc::FIELD_DATETIME;
    case TFieldType::ftUnknown: break;
    }
    return kpd::rpc::FIELD_UNKNOWN;
}

TFieldType FromWire(kpd::rpc::FieldType type)
{
    switch (type) {
    case kpd::rpc::FIELD_STRING: return TFieldType::ftString;
    case kpd::rpc::FIELD_INTEGER: return TFieldType::ftInteger;
    case kpd::rpc::FIELD_FLOAT: return TFieldType::ftFloat;
    case kpd::rpc::FIELD_BOOLEAN: return TFieldType::ftBoolean;
    case kpd::rpc::FIELD_DATETIME: return TFieldType::ftDateTime;
    default: break;
    }
    return TFieldType::ftUnknown;
}

QDateTime DateTimeFromWire(double value)
{
    const QDateTime dt = DayCount::toWallClock(value);
    if (!dt.isValid())
        malformed(QStringLiteral("data fora do intervalo aceito (%1)").arg(value));
    return dt;
}

double DateTimeToWire(const QDateTime& value)
{
    if (!value.isValid())
        throw WireError(QStringLiteral("Data inválida não pode ser enviada ao servidor de aplicação."));
    return DayCount::fromDateTime(value.date(), value.time());
}

void EncodeVariant(const QVariant& value, kpd::rpc::Variant* out)
{
    out->Clear();
    if (!value.isValid() || value.isNull())
        return;
    switch (value.typeId()) {
    case QMetaType::Bool: out->set_bool_value(value.toBool()); return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort: out->set_int_value(value.toLongLong()); return;
    case QMetaType::ULongLong: {
        const qulonglong u = value.toULongLong();
        if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
            break;
        out->set_int_value(static_cast<qint64>(u));
        return;
    }
    case QMetaType::Double:
    case QMetaType::Float: out->set_double_value(value.toDouble()); return;
    case QMetaType::QString: out->set_text_value(toStd(value.toString())); return;
    case QMetaType::QDateTime: out->set_datetime_value(DateTimeToWire(value.toDateTime())); return;
    case QMetaType::QDate: {
        const QDate date = value.toDate();
        if (!date.isValid())
            throw WireError(QStringLiteral("Data inválida não pode ser enviada ao servidor de aplicação."));
        out->set_datetime_value(DayCount::fromDate(date));
        return;
    }
    default:
        if (value.typeId() == qMetaTypeId<TDataPacket>()) {
            EncodePacket(value.value<TDataPacket>(), out->mutable_packet_value());
            return;
        }
        break;
    }
    throw WireError(QStringLiteral("Valor do tipo %1 não pode ser enviado ao servidor de aplicação.")
                        .arg(QString::fromLatin1(value.typeName())));
}

QVariant DecodeVariant(const kpd::rpc::Variant& value)
{
    using K = kpd::rpc::Variant;
    switch (value.kind_case()) {
    case K::KIND_NOT_SET: return {};
    case K::kBoolValue: return QVariant(value.bool_value());
    case K::kIntValue: return QVariant(static_cast<qlonglong>(value.int_value()));
    case K::kDoubleValue: return QVariant(finite(value.double_value(), {}));
    case K::kTextValue: return QVariant(toQString(value.text_value()));
    case K::kDatetimeValue: return QVariant(DateTimeFromWire(value.datetime_value()));
    case K::kPacketValue: return QVariant::fromValue(DecodePacket(value.packet_value()));
    }
    malformed(QStringLiteral("valor de tipo desconhecido"));
}

void EncodePacket(const TDataPacket& packet, kpd::rpc::DataPacket* out)
{
    out->Clear();
    for (const TPacketFieldDef& f : packet.fields)
        EncodeFieldDef(f, out->add_fields());
    out->mutable_rows()->Reserve(static_cast<int>(packet.rows.size()));
    for (const auto& row : packet.rows) {
        auto* r = out->add_rows();
        r->mutable_values()->Reserve(static_cast<int>(row.size()));
        for (const QVariant& v : row) {
            if (v.typeId() == qMetaTypeId<TDataPacket>())
                throw WireError(QStringLiteral("Um pacote de dados não pode conter outro pacote."));
            EncodeVariant(v, r->add_values());
        }
    }
}

TDataPacket DecodePacket(const kpd::rpc::DataPacket& packet)
{
    TDataPacket result;
    result.fields.reserve(packet.fields_size());
    QSet<QString> names;
    for (const auto& def : packet.fields()) {
        TPacketFieldDef f;
        f.name = toQString(def.name());
        if (f.name.trimmed().isEmpty())
            malformed(QStringLiteral("campo sem nome no pacote"));
        if (names.contains(f.name.toUpper()))
            malformed(QStringLiteral("campo %1 repetido no pacote").arg(quoted(f.name)));
        names.insert(f.name.toUpper());
        if (def.size() < 0)
            malformed(QStringLiteral("tamanho negativo no campo %1").arg(quoted(f.name)));
        f.type = FromWire(def.type());
        f.size = def.size();
        f.readOnly = def.read_only();
        result.fields.append(f);
    }
    const int width = static_cast<int>(result.fields.size());
    result.rows.reserve(packet.rows_size());
    for (int r = 0; r < packet.rows_size(); ++r) {
        const auto& in = packet.rows(r);
        if (in.values_size() != width)
            malformed(QStringLiteral("a linha %1 do pacote tem %2 valores para %3 campos")
                          .arg(r + 1)
                          .arg(in.values_size())
                          .arg(width));
        QVector<QVariant> row;
        row.reserve(width);
        for (int c = 0; c < width; ++c)
            row.append(decodeCell(in.values(c), result.fields[c], r));
        result.rows.append(std::move(row));
    }
    return result;
}

} // namespace PacketCodec
