#include "tbuttonflat.h"

TButtonFlat::TButtonFlat(QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QToolButton::clicked, this, [this] { emit OnClick(this); });
}

void TButtonFlat::Click() { click(); }
