#pragma once

#include "datapacket.h"
#include "figurescodec.h"

namespace kpd::rpc {
class InvokeReply;
}

namespace cockpit {

// `packet` when it carries the fields of `layout`; otherwise an empty packet of that layout. For the
// packets a client can do without: a server that sends none is shown as it was before it had them. Only
// the first `required` fields are asked for where a layout grew (-1: all of them).
TDataPacket OptionalPacket(const TDataPacket& packet, const QVector<TPacketFieldDef>& layout, int required = -1);

// The packets of a successful getCkpData reply; throws WireError (Portuguese message) for a reply that
// carries a failure, misses a packet or whose packets do not have the fields of their layouts.
CockpitPackets PacketsFromReply(const kpd::rpc::InvokeReply& reply);

} // namespace cockpit
