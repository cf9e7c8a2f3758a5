#pragma once

#include "refmonth.h"
#include "tform.h"

#include <QDate>
#include <memory>

namespace Ui {
class TfrmRegiao;
}
namespace cockpit {
struct CockpitView;
struct RegionView;
}
class QStandardItemModel;
class TNetConnection;

// A region's month, opened from the cockpit: the region's five gauges as the cockpit shows them, then its
// branches (getRegionData), sortable by any column, each figure in the colour of its zone. The same black
// inside as the cockpit, in the window system's frame (title and close button), kept above the cockpit
// that owns it; Escape closes it. A connection of its own, so the cockpit's stays as it was.
class TfrmRegiao : public TForm {
    Q_OBJECT
public:
    explicit TfrmRegiao(QWidget* owner = nullptr);
    ~TfrmRegiao() override;

    // Shows `region` in `month`: its gauges and panels from `cockpit` (the view the cockpit shows, row
    // `row` 1 to 5, or none when the month has no such region) and its branches fetched from the server.
    void ShowRegion(const QString& region, const cockpit::RefMonth& month, const cockpit::CockpitView& cockpit, int row);
    QString Region() const { return m_region; }
    // The branches as a spreadsheet reads them.
    QByteArray CsvText() const;
    // The name its "Salvar como CSV" proposes: "regional-NO-2026-11.csv".
    QString CsvFileName() const;

signals:
    // PageUp/PageDown (Alt+←/→) in this window: the month `step` months from the one shown. The cockpit
    // steps, and brings this window along, so both always show one month.
    void MonthStepRequested(int step);

private:
    void showBranches(const cockpit::RegionView& view);
    void fitRowsToFont();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    std::unique_ptr<Ui::TfrmRegiao> m_ui;
    TNetConnection* m_net = nullptr;
    QStandardItemModel* m_model = nullptr;
    QString m_region;
    std::unique_ptr<cockpit::RegionView> m_view;   // what the window shows, for its spreadsheet
};
