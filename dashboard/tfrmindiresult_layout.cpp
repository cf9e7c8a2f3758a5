// Window definition of the dashboard: components, positions, fonts and colours.
#include "tfrmindiresult.h"

void TfrmIndiResult::createLayout() { resize(1028, 753); }

void TfrmIndiResult::FormCreate(QObject* sender) { Q_UNUSED(sender); }
