#include "gaugerules.h"

#include "gaugerules_shared.h"
#include "tovergauge.h"

void SwapValues(double& a, double& b)
{
    cockpit::SwapValues(a, b);
}

void ConfigureGaugeZones(TOverGauge* gauge, bool higherIsBetter, double T)
{
    if (gauge)
        cockpit::ConfigureGaugeZones(*gauge, higherIsBetter, T);
}

void ColorNeedleByZone(TOverGauge* gauge)
{
    if (gauge)
        cockpit::ColorNeedleByZone(*gauge);
}
