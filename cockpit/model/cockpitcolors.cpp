#include "cockpitcolors.h"

#include <cmath>

namespace cockpit {

TColor StripeColor(double rowNum)
{
    const double whole = std::isfinite(rowNum) ? std::nearbyint(rowNum) : 0.0;
    return std::fmod(whole, 2.0) == 0.0 ? clRowGrey : clBlack;
}

} // namespace cockpit
