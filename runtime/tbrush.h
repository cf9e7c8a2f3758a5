#pragma once

#include "tcolor.h"

// The fill colour of a drawing surface.
class TBrush
{
public:
    TColor Color() const { return m_color; }
    void SetColor(TColor color) { m_color = color; }

private:
    TColor m_color = clWhite;
};
