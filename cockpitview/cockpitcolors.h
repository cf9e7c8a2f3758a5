#pragma once

// Colours of the cockpit as the window definitions hold them: 0x00BBGGRR. The desktop's TColor values
// are the same numbers; they are repeated here so that the view needs no Qt Gui.
namespace cockpit {

constexpr int kBlack = 0x000000;
constexpr int kRed = 0x0000FF;
constexpr int kYellow = 0x00FFFF;
constexpr int kGreen = 0x008000;
constexpr int kGray = 0x808080;
constexpr int kRowGrey = 0x1D1D1D;

// Zone colours of a dashboard gauge, by zone number.
constexpr int kZoneColors[3] = {kRed, kYellow, kGreen};

// The colour a grid row is painted with: the whole number nearest ROWNUM (a half going to the even
// neighbour; empty or not finite reads as 0), grey when even, black when odd.
int StripeColor(double rowNum);

} // namespace cockpit
