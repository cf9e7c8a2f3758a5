#pragma once

#include "tbrush.h"

class QPainter;

// A control's drawing surface as its drawing events see it: the brush that the next fill uses and, while
// the control paints, the painter that draws.
class TCanvas
{
public:
    TBrush* Brush() { return &m_brush; }
    QPainter* Painter() const { return m_painter; }
    void SetPainter(QPainter* painter) { m_painter = painter; }

private:
    TBrush m_brush;
    QPainter* m_painter = nullptr;
};
