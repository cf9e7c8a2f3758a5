#include "tfrmtendencia.h"

#include "monthsteps.h"
#include "ui_tfrmtendencia.h"

#include "designfonts.h"

#include <QKeyEvent>
#include <QPainter>

void TTrendPanel::SetCharts(cockpit::TrendCharts charts)
{
    m_charts = std::move(charts);
    update();
}

void TTrendPanel::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    cockpit::DrawTrendCharts(painter, QRectF(rect()), m_charts, false);
}

TfrmTendencia::TfrmTendencia(QWidget* owner) : TForm(owner), m_ui(std::make_unique<Ui::TfrmTendencia>())
{
    setObjectName(QStringLiteral("frmTendencia"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    InstallFontSubstitutes();
    m_ui->setupUi(this);
    ApplyDesignFonts(this);
    InstallMonthSteps(this, [this](int step) { emit MonthStepRequested(step); });
}

TfrmTendencia::~TfrmTendencia() = default;

void TfrmTendencia::ShowTrends(const cockpit::Scorecard& card)
{
    const QString title = QStringLiteral("Últimos 12 meses até ") + card.month.title();
    setWindowTitle(title);
    m_ui->lblTitulo->SetCaption(title);
    m_ui->pnlTendencias->SetCharts(cockpit::TrendChartsOf(card));
}

void TfrmTendencia::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Close();
        event->accept();
        return;
    }
    TForm::keyPressEvent(event);
}
