#pragma once

#include "datapacket.h"

#include <QDate>
#include <QJsonObject>
#include <QStringList>

namespace kpd::rpc {
class InvokeReply;
}

// What the dashboard shows for a month, computed without widgets from the five packets of getCkpData:
// the same captions, number texts (pt-BR), gauge ranges, zones and needle colours, grid rows with their
// stripes and pie slices as a freshly opened dashboard shows after its refresh. The app server serves it
// to the browser; the desktop keeps its own refresh, and a test holds the two equal.
namespace cockpit {

struct CockpitPackets {
    QDate month;   // first day of the month the reply is for
    TDataPacket indicadores, top10, bottom10, grafPizza, diasEstoque;
};

// The packets of a successful getCkpData reply; throws WireError (Portuguese message) for a reply that
// carries a failure, misses a packet or whose packets do not have the fields of their layouts.
CockpitPackets PacketsFromReply(const kpd::rpc::InvokeReply& reply);

// The view as JSON, in the shape of kpd-host's --export-json: refDate, labels, panels, gauges, grids
// (titles, rows, rowColors), charts (title, slices) and messages. Slices also carry what the desktop
// export leaves out and a browser needs to draw them: their colour and their share of the pie.
QByteArray CockpitJsonText(const CockpitPackets& packets);
// The same, parsed; for tests and callers that want to look inside.
QJsonObject CockpitJson(const CockpitPackets& packets);

} // namespace cockpit
