#pragma once

#include "presentation.h"

namespace cockpit {

// Zone colours of a dashboard gauge, by zone number: red for bad, yellow for close, green for met.
constexpr TColor kZoneColors[3] = {clRed, clYellow, clGreen};

// The colour a grid row is painted with: the whole number nearest ROWNUM (a half going to the even
// neighbour; empty or not finite reads as 0), grey when even, black when odd.
TColor StripeColor(double rowNum);

} // namespace cockpit
