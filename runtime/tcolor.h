#pragma once

#include <QColor>

// Colours as the window definitions hold them: 0x00BBGGRR.
using TColor = int;

constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clGreen = 0x008000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clRowGrey = 0x1D1D1D;
constexpr TColor clGray = 0x808080;
// The desktop's window background and window text, in the standard colour scheme.
constexpr TColor clWindow = 0xFFFFFF;
constexpr TColor clWindowText = 0x000000;

inline QColor ToQColor(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
inline TColor FromQColor(const QColor& c) { return c.red() | (c.green() << 8) | (c.blue() << 16); }
