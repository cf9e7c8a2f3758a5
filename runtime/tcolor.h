#pragma once

#include <QColor>

#include "presentation.h"

inline QColor ToQColor(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
inline TColor FromQColor(const QColor& c) { return c.red() | (c.green() << 8) | (c.blue() << 16); }
