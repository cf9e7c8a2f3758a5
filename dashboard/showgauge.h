#pragma once

namespace cockpit {
class GaugeState;
}
class TOverGauge;

// Puts on the gauge the state the cockpit's view computed for it: range, zones, value, ghost, needle and
// hub. The range moves the end that goes away from the other first, so no single assignment inverts it;
// the value comes after the range, which limits it.
void ShowGaugeState(TOverGauge* gauge, const cockpit::GaugeState& state);
