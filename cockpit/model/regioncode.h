#pragma once

#include <QString>

namespace cockpit {

// What keeps a text from being a region's code (regional.cdareagere).
enum class RegionCodeFault {
    None,
    Empty,
    ControlCharacter,
    BlankAtAnEnd,
    StartsLikeFormula,   // =, +, -, @, a tab or a carriage return first
    TooLong,             // more than kRegionCodeLength characters
};

// The cockpit's grids have room for 3; "TOTAL", the company's, is thus never a region's.
constexpr int kRegionCodeLength = 3;

// The one rule for a region's code, wherever one comes from (a load, an address, a call, an alert rule):
// a code is a key the cockpit matches, shows and writes into spreadsheets.
RegionCodeFault CheckRegionCode(const QString& text);
inline bool IsRegionCode(const QString& text) { return CheckRegionCode(text) == RegionCodeFault::None; }

} // namespace cockpit
