#pragma once

#include "datapacket.h"
#include "monthfigures.h"

#include "kpd.pb.h"

#include <QDate>

// A month's figures in the packets of getCkpData and getRegionData, and back: the one place that knows the
// packets' field names and their order. The server encodes what it read with it; a client (the desktop, the
// server's own faces) decodes what came with it. The Parts' dashboard loads the same packets into its own
// datasets, whose fields wire/ckppackets.h defines.
namespace cockpit {

// The packets of a month's getCkpData reply, decoded.
struct CockpitPackets {
    QDate month;   // first day of the month the reply is for
    TDataPacket indicadores, top10, bottom10, grafPizza, diasEstoque;
    TDataPacket metas, comparacoes;   // may be empty: a server may have no targets or figures to compare
};

// The packets of a region's getRegionData reply, decoded.
struct RegionReply {
    QDate month;
    QString region;
    TDataPacket regionRow;   // the region's own row (indicators' layout); may be empty
    TDataPacket branches;    // its branches, ranked by result
    TDataPacket metas;       // the company's, the region's and its branches' targets; may be empty
};

// A month's packets as they leave the server, in getCkpData's argument order.
struct EncodedMonth {
    kpd::rpc::DataPacket indicadores, top10, bottom10, grafPizza, metas, comparacoes, diasEstoque;
};
struct EncodedRegion {
    kpd::rpc::DataPacket regionRow, branches, metas;
};

// A field a packet does not carry (a server from before it) reads as none. Throws WireError where one of the
// five packets every server sends lacks a field of its layout.
MonthFigures DecodeMonth(const CockpitPackets& packets);
RegionFigures DecodeRegion(const RegionReply& packets);

// Texts longer than their field are cut to it, as every client reads them.
EncodedMonth EncodeMonth(const MonthFigures& figures);
EncodedRegion EncodeRegion(const RegionFigures& figures);

} // namespace cockpit
