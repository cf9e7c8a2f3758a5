#include "moduledata.h"

#define KPD_MODULE_VARIABLE __attribute__((visibility("default")))

extern "C" {
KPD_MODULE_VARIABLE TDateTime dtData = 0.0;
KPD_MODULE_VARIABLE TfrmFiltroIndicResult* frmFiltroIndicResult = nullptr;
}
