// The module's exports: the host loads this library by path and calls IniProc.
#include "eventboundary.h"
#include "launch.h"

#define KPD_EXPORT extern "C" __attribute__((visibility("default")))

KPD_EXPORT void IniProc()
{
    // Nothing may cross back into the host: whatever the launch raises is reported here.
    Guarded(CriaIndicResult);
}
