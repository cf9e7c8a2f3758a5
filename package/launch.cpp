#include "launch.h"

#include "modulestate.h"
#include "tapplication.h"
#include "tdateeditplus.h"
#include "tfrmfiltroindicresult.h"
#include "tfrmindiresult.h"
#include "tscreen.h"

#include <QList>
#include <QPointer>
#include <QScopeGuard>

#include <new>

namespace {

// Creates the dashboard with frmIndiResult already naming it while its constructor runs, as the host's
// form factory does: whatever the window's creation reaches (its creation handler, a message from it)
// finds the module variable pointing at the window being built. Hence the storage first, the pointer
// second, the constructor last; a constructor that throws puts the previous window back.
void createDashboard()
{
    TfrmIndiResult* const previous = frmIndiResult;
    void* storage = ::operator new(sizeof(TfrmIndiResult));
    frmIndiResult = static_cast<TfrmIndiResult*>(storage); // published before the constructor runs
    try {
        new (storage) TfrmIndiResult(nullptr);
    } catch (...) {
        frmIndiResult = previous;
        ::operator delete(storage);
        throw;
    }
}

// Windows of earlier launches. A hidden one can never come back (nothing shows a dashboard again once
// Escape has hidden it, and a dialog is done after its modal run), so keeping it only grows the host.
QList<QPointer<QWidget>>& launchedWindows()
{
    static QList<QPointer<QWidget>> windows;
    return windows;
}

// Releases the hidden windows of earlier launches, except those the module variables still name.
void releaseHiddenWindows()
{
    auto& windows = launchedWindows();
    windows.removeAll(nullptr);
    for (auto it = windows.begin(); it != windows.end();) {
        QWidget* w = *it;
        if (w->isVisible() || w == frmFiltroIndicResult || w == frmIndiResult) {
            ++it;
            continue;
        }
        it = windows.erase(it);
        w->deleteLater();
    }
}

} // namespace

void CriaIndicResult()
{
    TScreen::SetCursor(crHourGlass);
    const auto restoreCursor = qScopeGuard([] { TScreen::SetCursor(crDefault); });

    // A host nobody sits at (a wall screen) has set the month itself; it gets no dialog to answer.
    if (!Application()->Unattended() || dtData == 0) {
        frmFiltroIndicResult = new TfrmFiltroIndicResult(nullptr);
        launchedWindows().append(frmFiltroIndicResult);
        releaseHiddenWindows();
        if (frmFiltroIndicResult->ShowModal() != mrOk)
            return;
        dtData = frmFiltroIndicResult->depData->GetPrimDia();
    }
    createDashboard();
    launchedWindows().append(frmIndiResult);
    releaseHiddenWindows();
    // Showing makes it the active window, which runs its first refresh before this returns.
    frmIndiResult->Show();
}
