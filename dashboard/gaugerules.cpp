#include "gaugerules.h"

#include "tovergauge.h"

namespace {

// The red/yellow edge factors are held in extended precision and the product rounded once to double,
// so the edge is the double nearest to the exact product (1.1 * 40 gives exactly 44).
constexpr long double kMidBetter = 0.9L;
constexpr long double kMidWorse = 1.1L;

double extendedProduct(long double factor, double value)
{
    return static_cast<double>(factor * static_cast<long double>(value));
}

} // namespace

void SwapValues(double& a, double& b)
{
    const double t = a;
    a = b;
    b = t;
}

void ConfigureGaugeZones(TOverGauge* gauge, bool higherIsBetter, double T)
{
    if (!gauge)
        return;

    double lo, mid, hi;
    if (higherIsBetter) {
        lo = 0.5 * T;
        mid = extendedProduct(kMidBetter, T);
        hi = 1.5 * T;
    } else {
        lo = 1.5 * T;
        mid = extendedProduct(kMidWorse, T);
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
        if (gauge->MaxValue() > lo) {
            gauge->SetMinValue(lo);
            gauge->SetMaxValue(hi);
        } else {
            gauge->SetMaxValue(hi);
            gauge->SetMinValue(lo);
        }
    }

    gauge->SetAnnulars(3);
    const double starts[3] = {swapped ? mid : lo, swapped ? T : mid, swapped ? lo : T};
    const double stops[3] = {swapped ? hi : mid, swapped ? mid : T, swapped ? T : hi};
    for (int i = 0; i < 3; ++i) {
        gauge->SetAnnularID(i);
        gauge->SetAnnularInnerRadius(0.7);
        gauge->SetAnnularouterRadius(1);
        gauge->SetAnnularColor(GaugeZoneColors[i]);
        gauge->SetAnnularStartValue(starts[i]);
        gauge->SetAnnularStopValue(stops[i]);
    }
}

void ColorNeedleByZone(TOverGauge* gauge)
{
    if (!gauge)
        return;

    const double v = gauge->Progress();
    for (int i = gauge->Annulars() - 1; i >= 0; --i) {
        gauge->SetAnnularID(i);
        const double s = gauge->AnnularStartValue();
        const double e = gauge->AnnularStopValue();
        const TColor color = gauge->AnnularColor();
        if ((s <= v && v <= e) || (e <= v && v <= s)) {
            gauge->SetNeedleCOlor(color);
            gauge->SetNeedleHubCOlor(color);
            return;
        }
    }
}
