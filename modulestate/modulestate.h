#pragma once

#include "tdatetime.h"

class TfrmFiltroIndicResult;
class TfrmIndiResult;

// Marks what the module shows the host; everything else in it stays hidden.
#define KPD_MODULE_EXPORT __attribute__((visibility("default")))

// The module's state, exported so that the host can see it. The dialog writes the month, the dashboard
// reads it, and the launch points the window variables at its windows; none of them knows another.
extern "C" {
// Reference date: 0 until the first confirmed launch, then the first day of the chosen month until a
// server call hands back another value in it. Shared by every window of the module: a later launch also
// changes the month an older, still open dashboard refreshes with.
extern TDateTime dtData;
// The reference-month dialog of the latest launch.
extern TfrmFiltroIndicResult* frmFiltroIndicResult;
// The dashboard of the latest confirmed launch; empty before the first one.
extern TfrmIndiResult* frmIndiResult;
}
