#pragma once

#include "cockpitcolors.h"

// The dashboard's gauge rules, written once for any gauge with the dial gauge's interface: the desktop's
// widget and the view's GaugeState both follow them.
namespace cockpit {

namespace detail {
// The red/yellow edge is the double nearest the exact product (1.1 * 40 gives exactly 44): the factor is
// held in extended precision and the product rounded once.
inline double extendedProduct(long double factor, double value)
{
    return static_cast<double>(factor * static_cast<long double>(value));
}
} // namespace detail

// Exchanges the two values: how the dial's ends are put back in order for a target whose direction
// runs the other way.
inline void SwapValues(double& a, double& b)
{
    const double t = a;
    a = b;
    b = t;
}

// Gives the gauge the range and the three zones of target `T`: red for bad, yellow for close to the
// target, green for at or beyond it. With `higherIsBetter` the dial runs from 0.5·T to 1.5·T with red
// [0.5T, 0.9T], yellow [0.9T, T], green [T, 1.5T]; otherwise green [0.5T, T], yellow [T, 1.1T], red
// [1.1T, 1.5T]. For a negative target the ends are exchanged so the dial still runs upwards. The range
// is changed min-first or max-first so that no single assignment inverts it; with T = 0 the range is
// kept and all three zones become [0, 0]. Leaves zone 2 selected.
template <typename Gauge>
void ConfigureGaugeZones(Gauge& gauge, bool higherIsBetter, double T)
{
    double lo, mid, hi;
    if (higherIsBetter) {
        lo = 0.5 * T;
        mid = detail::extendedProduct(0.9L, T);
        hi = 1.5 * T;
    } else {
        lo = 1.5 * T;
        mid = detail::extendedProduct(1.1L, T);
        hi = 0.5 * T;
    }

    bool swapped = false;
    if (!(hi >= lo)) {
        SwapValues(lo, hi);
        swapped = true;
    }

    // A gauge may refuse an assignment that would put its minimum at or above its maximum, so the end
    // that moves away from the other goes first.
    if (hi != lo) {
        if (gauge.MaxValue() > lo) {
            gauge.SetMinValue(lo);
            gauge.SetMaxValue(hi);
        } else {
            gauge.SetMaxValue(hi);
            gauge.SetMinValue(lo);
        }
    }

    gauge.SetAnnulars(3);
    const double starts[3] = {swapped ? mid : lo, swapped ? T : mid, swapped ? lo : T};
    const double stops[3] = {swapped ? hi : mid, swapped ? mid : T, swapped ? T : hi};
    for (int i = 0; i < 3; ++i) {
        gauge.SetAnnularID(i);
        gauge.SetAnnularInnerRadius(0.7);
        gauge.SetAnnularouterRadius(1);
        gauge.SetAnnularColor(kZoneColors[i]);
        gauge.SetAnnularStartValue(starts[i]);
        gauge.SetAnnularStopValue(stops[i]);
    }
}

// Colours the needle and its hub with the colour of the zone holding the gauge's value (ends count as
// inside; on a border the higher-numbered zone wins). A value in no zone leaves both colours as they
// were. The zone where the search stopped (or zone 0) stays selected.
template <typename Gauge>
void ColorNeedleByZone(Gauge& gauge)
{
    const double v = gauge.Progress();
    for (int i = gauge.Annulars() - 1; i >= 0; --i) {
        gauge.SetAnnularID(i);
        const double s = gauge.AnnularStartValue();
        const double e = gauge.AnnularStopValue();
        const int color = gauge.AnnularColor();
        if ((s <= v && v <= e) || (e <= v && v <= s)) {
            gauge.SetNeedleCOlor(color);
            gauge.SetNeedleHubCOlor(color);
            return;
        }
    }
}

} // namespace cockpit
