// Refresh of the dashboard and its keys.
#include "tfrmindiresult.h"

void TfrmIndiResult::FormActivate(QObject* sender) { Q_UNUSED(sender); }

void TfrmIndiResult::FormKeyPress(QObject* sender, QChar& key) { Q_UNUSED(sender); Q_UNUSED(key); }

void TfrmIndiResult::dbgTop10DrawColumnCell(QObject* sender, const QRect& rect, int dataCol, TColumn* column,
                                            TGridDrawState state)
{
    if (auto* grid = qobject_cast<TDBGrid*>(sender))
        grid->DefaultDrawColumnCell(rect, dataCol, column, state);
}
