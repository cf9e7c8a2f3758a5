#include "modulestate.h"

extern "C" {
KPD_MODULE_EXPORT TDateTime dtData = 0.0;
KPD_MODULE_EXPORT TfrmFiltroIndicResult* frmFiltroIndicResult = nullptr;
KPD_MODULE_EXPORT TfrmIndiResult* frmIndiResult = nullptr;
}
