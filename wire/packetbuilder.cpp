#include "packetbuilder.h"

#include "daycount.h"

#include "packetcodec.h"
#include "wiretext.h"

#include <stdexcept>

PacketBuilder::PacketBuilder(const QVector<TPacketFieldDef>& layout)
{
    for (const TPacketFieldDef& field : layout)
        PacketCodec::EncodeFieldDef(field, m_packet.add_fields());
}

PacketBuilder& PacketBuilder::row()
{
    m_packet.add_rows();
    return *this;
}

kpd::rpc::Variant* PacketBuilder::nextCell()
{
    if (m_packet.rows_size() == 0)
        throw std::logic_error("PacketBuilder: cell outside a row");
    kpd::rpc::Row* current = m_packet.mutable_rows(m_packet.rows_size() - 1);
    if (current->values_size() >= m_packet.fields_size())
        throw std::logic_error("PacketBuilder: more cells than fields");
    return current->add_values();
}

PacketBuilder& PacketBuilder::text(const QString& value)
{
    kpd::rpc::Variant* cell = nextCell();
    const kpd::rpc::FieldDef& field = m_packet.fields(m_packet.rows(m_packet.rows_size() - 1).values_size() - 1);
    const QString fitted = field.size() > 0 ? WireText::LeftCharacters(value, field.size()) : value;
    cell->set_text_value(fitted.toStdString());
    return *this;
}

PacketBuilder& PacketBuilder::date(const QDate& day)
{
    nextCell()->set_datetime_value(DayCount::fromDate(day));
    return *this;
}

PacketBuilder& PacketBuilder::number(std::optional<double> value)
{
    kpd::rpc::Variant* cell = nextCell();
    if (value)
        cell->set_double_value(*value);
    return *this;
}

PacketBuilder& PacketBuilder::null()
{
    nextCell();
    return *this;
}
