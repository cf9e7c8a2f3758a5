#pragma once

#include <QString>

namespace cockpit {
struct CockpitView;
}

// What the pointer resting on a figure's panel says: the verdict in a word with its target and gap
// ("situação: vermelho (meta 40,0% · +2,0 p.p.)"), so the zone is read without telling colours apart,
// then the view's notes on the figure. `panel` is a panel of the cockpit's definition (pnlIndicFatTotal,
// pnlIndicMdoR3); empty when the view says nothing of it.
QString PanelToolTip(const cockpit::CockpitView& view, const QString& panel);
