#pragma once

#include "tdatetime.h"

class TfrmFiltroIndicResult;

// Module-wide variables, exported so that the host can see them.
extern "C" {
// Reference date: 0 until the first confirmed launch, then the first day of the chosen month until a
// server call hands back another value in it. Shared by every window of the module.
extern TDateTime dtData;
// The reference-month dialog of the latest launch.
extern TfrmFiltroIndicResult* frmFiltroIndicResult;
}
