#include "packetbuilder.h"

#include <stdexcept>

namespace appserver {

PacketBuilder& PacketBuilder::string(const char* name, int size, bool readOnly)
{
    kpd::rpc::FieldDef* field = m_packet.add_fields();
    field->set_name(name);
    field->set_type(kpd::rpc::FIELD_STRING);
    field->set_size(size);
    field->set_read_only(readOnly);
    return *this;
}

PacketBuilder& PacketBuilder::floating(const char* name, bool readOnly)
{
    kpd::rpc::FieldDef* field = m_packet.add_fields();
    field->set_name(name);
    field->set_type(kpd::rpc::FIELD_FLOAT);
    field->set_size(0);
    field->set_read_only(readOnly);
    return *this;
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
    const QString fitted = field.size() > 0 ? value.left(field.size()) : value;
    cell->set_text_value(fitted.toStdString());
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

} // namespace appserver
