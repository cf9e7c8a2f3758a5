#pragma once

class TOverGauge;

// The two rules below apply the cockpit's own (gaugerules_shared.h) to the desktop's gauge widget.

// Gives the gauge the range and the three zones of target `T`: red for bad, yellow for close to the
// target, green for at or beyond it. With `higherIsBetter` the dial runs from 0.5·T to 1.5·T with red
// [0.5T, 0.9T], yellow [0.9T, T], green [T, 1.5T]; otherwise green [0.5T, T], yellow [T, 1.1T], red
// [1.1T, 1.5T]. For a negative target the ends are exchanged so the dial still runs upwards. The range
// is changed min-first or max-first so that no single assignment inverts it; with T = 0 the range is
// kept and all three zones become [0, 0]. Leaves zone 2 selected.
void ConfigureGaugeZones(TOverGauge* gauge, bool higherIsBetter, double T);

// Colours the needle and its hub with the colour of the zone holding the gauge's value (ends count as
// inside; on a border the higher-numbered zone wins). A value in no zone leaves both colours as they
// were. The zone where the search stopped (or zone 0) stays selected.
void ColorNeedleByZone(TOverGauge* gauge);

// Exchanges the two values.
void SwapValues(double& a, double& b);
