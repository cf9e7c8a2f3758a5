#pragma once

#include "tform.h"
#include "tdbgrid.h"

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <memory>

namespace Ui {
class TfrmIndiResult;
}
class TMessages;
class TIndicResultData;
namespace cockpit {
struct CockpitView;
}
class TfrmRegiao;
class TfrmTendencia;

// The results dashboard: a black, borderless window with the month's operating results. Its visual
// components come from the window definition (tfrmindiresult.ui); the refresh finds them by name, as
// FindComponent does for anyone else.
class TfrmIndiResult : public TForm {
    Q_OBJECT
public:
    explicit TfrmIndiResult(QWidget* owner = nullptr);
    ~TfrmIndiResult() override;

    // The window's message table.
    TMessages* msgPadrao = nullptr;
    // Connection, datasets, data sources and the fetch.
    TIndicResultData* Data() const { return m_data; }

    // ---- Event handlers ------------------------------------------------------------------------
    void FormCreate(QObject* sender);
    void FormActivate(QObject* sender);
    void FormDeactivate(QObject* sender);
    void dbgTop10DrawColumnCell(QObject* sender, const QRect& rect, int dataCol, TColumn* column,
                                TGridDrawState state);
    void FormKeyPress(QObject* sender, QChar& key);

private:
    void createLayout();     // window definition
    void linkDataControls(); // grids and charts to their data
    void hookEvents();
    // Shows the month `step` months from the one of the reference date, in this window.
    void showMonthBeside(int step);
    // Opens (or brings up to date) the window of the region on row `row`, 1 to 5.
    void openRegion(int row);
    void refreshRegion();
    void openTrends();
    void placeOver(TForm* window, const QPoint& offset);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Puts the view's texts and gauge states on the window's labels, panels and gauges.
    void showView(const cockpit::CockpitView& view);

    std::unique_ptr<Ui::TfrmIndiResult> m_ui;
    TIndicResultData* m_data = nullptr;
    // A month's figures are on screen (a refresh has completed its fetch at least once), fetched then.
    bool m_showsMonth = false;
    // The view on screen, for the region window.
    std::unique_ptr<cockpit::CockpitView> m_view;
    QPointer<TfrmRegiao> m_regionWindow;
    QPointer<TfrmTendencia> m_trendWindow;
    QDateTime m_fetchedAt;
    // The notice's colour in the definition; a failure with figures on screen paints it red until the next fetch.
    TColor m_noticeColor = clYellow;
};
