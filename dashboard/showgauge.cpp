#include "showgauge.h"

#include "gaugestate.h"
#include "tovergauge.h"

void ShowGaugeState(TOverGauge* gauge, const cockpit::GaugeState& state)
{
    if (gauge->MaxValue() > state.MinValue()) {
        gauge->SetMinValue(state.MinValue());
        gauge->SetMaxValue(state.MaxValue());
    } else {
        gauge->SetMaxValue(state.MaxValue());
        gauge->SetMinValue(state.MinValue());
    }
    const auto& zones = state.Zones();
    gauge->SetAnnulars(static_cast<int>(zones.size()));
    for (int i = 0; i < zones.size(); ++i) {
        gauge->SetAnnularID(i);
        gauge->SetAnnularInnerRadius(0.7);
        gauge->SetAnnularouterRadius(1);
        gauge->SetAnnularColor(zones[i].color);
        gauge->SetAnnularStartValue(zones[i].start);
        gauge->SetAnnularStopValue(zones[i].stop);
    }
    gauge->SetProgress(state.Progress());
    gauge->SetGhostValue(state.GhostValue());
    gauge->SetNeedleCOlor(state.NeedleColor());
    gauge->SetNeedleHubCOlor(state.NeedleHubColor());
}
