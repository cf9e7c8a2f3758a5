// Data service of the dashboard: connection, datasets, fetch.
#include "tfrmindiresult.h"

void TfrmIndiResult::createDataComponents() {}

void TfrmIndiResult::netIndicResultBeforeConnect(QObject* sender) { Q_UNUSED(sender); }

void TfrmIndiResult::FormDeactivate(QObject* sender) { Q_UNUSED(sender); }

void TfrmIndiResult::FetchCkpData() {}
