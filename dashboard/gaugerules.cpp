#include "gaugerules.h"

#include "gaugerules_shared.h"
#include "tovergauge.h"

static_assert(GaugeZoneColors[0] == cockpit::kZoneColors[0] && GaugeZoneColors[1] == cockpit::kZoneColors[1]
                  && GaugeZoneColors[2] == cockpit::kZoneColors[2],
              "the desktop and the browser colour zones alike");

void SwapValues(double& a, double& b)
{
    const double t = a;
    a = b;
    b = t;
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
