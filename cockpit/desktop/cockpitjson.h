#pragma once

#include "cockpitview.h"

#include <QByteArray>

// The month's view as the JSON document the browser draws and kpd-host --export-json writes.
namespace cockpit {

// The view as JSON, in the shape of kpd-host's --export-json: refDate, labels, panels, notes, gauges (with
// the ghost needle's value or null), grids (titles, rows, rowColors), charts (title, slices) and messages. Slices also carry what the desktop
// export leaves out and a browser needs to draw them: their colour and their share of the pie.
QByteArray CockpitJsonText(const CockpitView& view);

// The month's view as JSON in one step, as the browser face serves it.
inline QByteArray CockpitJsonText(const CockpitPackets& packets) { return CockpitJsonText(ComputeView(packets)); }

} // namespace cockpit
