#pragma once

#include "datapacket.h"

#include "kpd.pb.h"

#include <QDate>
#include <QString>

#include <optional>

// Builds a data packet straight into its wire message, for a server that has no use for TDataPacket: the
// field definitions come from a layout, then rows are filled left to right. Texts longer than their field
// are cut to the field's size, counted in characters as the client counts them, so the packet always
// matches its own definitions. A cell outside a row or past the last field throws std::logic_error.
class PacketBuilder {
public:
    explicit PacketBuilder(const QVector<TPacketFieldDef>& layout);

    /// Starts a new row; the cells that follow fill it in field order.
    PacketBuilder& row();
    PacketBuilder& text(const QString& value);
    /// A number, or an empty (null) cell when there is none.
    PacketBuilder& number(std::optional<double> value);
    PacketBuilder& null();
    /// A whole day, as the host's date-time.
    PacketBuilder& date(const QDate& day);

    int rowCount() const { return m_packet.rows_size(); }
    const kpd::rpc::DataPacket& packet() const { return m_packet; }
    kpd::rpc::DataPacket take() { return std::move(m_packet); }

private:
    kpd::rpc::Variant* nextCell();

    kpd::rpc::DataPacket m_packet;
};
