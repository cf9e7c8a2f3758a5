#pragma once

#include "kpd.pb.h"

#include <QString>

#include <optional>

namespace appserver {

/// Builds a data packet: field definitions first, then rows filled left to right. Texts longer than
/// their field are cut to the field's size so the packet always matches its own definitions.
class PacketBuilder {
public:
    PacketBuilder& string(const char* name, int size, bool readOnly = false);
    PacketBuilder& floating(const char* name, bool readOnly = false);

    /// Starts a new row; the cells that follow fill it in field order.
    PacketBuilder& row();
    PacketBuilder& text(const QString& value);
    /// A number, or an empty (null) cell when there is none.
    PacketBuilder& number(std::optional<double> value);
    PacketBuilder& null();

    int rowCount() const { return m_packet.rows_size(); }
    const kpd::rpc::DataPacket& packet() const { return m_packet; }
    kpd::rpc::DataPacket take() { return std::move(m_packet); }

private:
    kpd::rpc::Variant* nextCell();

    kpd::rpc::DataPacket m_packet;
};

} // namespace appserver
