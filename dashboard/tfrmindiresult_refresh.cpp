// Refresh of the dashboard and its keys.
#include "tfrmindiresult.h"

void TfrmIndiResult::FormActivate(QObject* sender) { Q_UNUSED(sender); }

void TfrmIndiResult::FormKeyPress(QObject* sender, QChar& key) { Q_UNUSED(sender); Q_UNUSED(key); }
