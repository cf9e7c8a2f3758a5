#pragma once

#include "tform.h"
#include "trendchart.h"

#include <memory>

namespace Ui {
class TfrmTendencia;
}

// The five charts of the last twelve months, drawn on the cockpit's black.
class TTrendPanel : public QWidget {
    Q_OBJECT
public:
    explicit TTrendPanel(QWidget* parent = nullptr) : QWidget(parent) {}
    void SetCharts(cockpit::TrendCharts charts);
    const cockpit::TrendCharts& Charts() const { return m_charts; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    cockpit::TrendCharts m_charts;
};

// Where the figures are heading: the company's and every region's last twelve months of each indicator,
// opened from the cockpit (a double-click on "Total", or the T key) and following the month it shows.
// Framed and kept above its cockpit like the region window; Escape closes it.
class TfrmTendencia : public TForm {
    Q_OBJECT
public:
    explicit TfrmTendencia(QWidget* owner = nullptr);
    ~TfrmTendencia() override;

    void ShowTrends(const cockpit::Scorecard& card);

signals:
    void MonthStepRequested(int step);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmTendencia> m_ui;
};
