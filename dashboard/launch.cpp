#include "launch.h"

#include "moduledata.h"
#include "tdateeditplus.h"
#include "tfrmfiltroindicresult.h"
#include "tfrmindiresult.h"
#include "tscreen.h"

#include <QScopeGuard>

#include <new>

namespace {

// The window is known as frmIndiResult before its own creation runs, as the host's form factory does it.
void createDashboard()
{
    TfrmIndiResult* const previous = frmIndiResult;
    void* storage = ::operator new(sizeof(TfrmIndiResult));
    frmIndiResult = static_cast<TfrmIndiResult*>(storage);
    try {
        new (storage) TfrmIndiResult(nullptr);
    } catch (...) {
        frmIndiResult = previous;
        ::operator delete(storage);
        throw;
    }
}

} // namespace

void CriaIndicResult()
{
    TScreen::SetCursor(crHourGlass);
    const auto restoreCursor = qScopeGuard([] { TScreen::SetCursor(crDefault); });

    frmFiltroIndicResult = new TfrmFiltroIndicResult(nullptr);
    if (frmFiltroIndicResult->ShowModal() != mrOk)
        return;

    dtData = frmFiltroIndicResult->depData->GetPrimDia();
    createDashboard();
    // Showing makes it the active window, which runs its first refresh before this returns.
    frmIndiResult->Show();
}
