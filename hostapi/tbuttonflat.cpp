#include "tbuttonflat.h"

#include "eventboundary.h"

TButtonFlat::TButtonFlat(QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QToolButton::clicked, this, [this] {
        if (OnClick)
            Guarded([this] { OnClick(this); });
    });
}

void TButtonFlat::Click() { click(); }
