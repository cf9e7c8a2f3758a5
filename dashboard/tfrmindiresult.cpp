#include "tfrmindiresult.h"

#include "monthsteps.h"
#include "ui_tfrmindiresult.h"

#include "cockpitfields.h"
#include "refmonth.h"
#include "cockpitview.h"
#include "eventboundary.h"
#include "modulestate.h"
#include "tdatetime.h"
#include "tfrmregiao.h"
#include "tfrmtendencia.h"
#include "tlabel.h"
#include "cockpitview.h"
#include "tdbgrid.h"
#include "tlabel.h"
#include "tmessages.h"
#include "tindicresultdata.h"
#include "tnetconnection.h"

#include <QEvent>
#include <QHideEvent>
#include <QScreen>
#include <QShortcut>

TfrmIndiResult::TfrmIndiResult(QWidget* owner) : TForm(owner), m_ui(std::make_unique<Ui::TfrmIndiResult>())
{
    setObjectName(QStringLiteral("frmIndiResult"));
    setWindowTitle(QStringLiteral("Indicadores de Resultado"));
    setWindowFlag(Qt::FramelessWindowHint, true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);

    msgPadrao = new TMessages(this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
    msgPadrao->SetMessages(cockpit::DashboardMessages());

    createLayout();
    if (auto* notice = FindComponentAs<TLabel>(QLatin1String(cockpit::kNoticeLabel)))
        m_noticeColor = notice->FontColor();
    m_data = new TIndicResultData(this);
    hookEvents();
    DoCreate();
}

TfrmIndiResult::~TfrmIndiResult()
{
    delete m_regionWindow;
    delete m_trendWindow;
}

void TfrmIndiResult::hookEvents()
{
    ConnectGuarded(this, &TForm::OnCreate, this, &TfrmIndiResult::FormCreate);
    ConnectGuarded(this, &TForm::OnActivate, this, &TfrmIndiResult::FormActivate);
    ConnectGuarded(this, &TForm::OnDeactivate, this, &TfrmIndiResult::FormDeactivate);
    ConnectGuarded(this, &TForm::OnKeyPress, this, &TfrmIndiResult::FormKeyPress);
    // The month before and the month after, in the same window: as when the reference date changes and the
    // window is activated again.
    InstallMonthSteps(this, [this](int step) { showMonthBeside(step); });
    // A double-click on a region's code or on one of its gauges opens the region's window.
    for (int n = 1; n <= cockpit::kRegionRows; ++n) {
        QStringList names{QLatin1String(cockpit::kRegionLabel) + QString::number(n)};
        for (const cockpit::IndicatorColumn& column : cockpit::kIndicatorColumns)
            names << QLatin1String(column.regionGauge) + QString::number(n);
        for (const QString& name : names)
            if (QObject* c = FindComponent(name))
                c->installEventFilter(this);
    }
    // Where the figures are heading: a double-click on "Total", or T.
    if (QObject* total = FindComponent(QStringLiteral("lblTotal")))
        total->installEventFilter(this);
    connect(new QShortcut(QKeySequence(Qt::Key_T), this), &QShortcut::activated, this, [this] { Guarded([this] { openTrends(); }); });
    // One drawing handler and one key handler serve the three grids.
    for (TDBGrid* grid : {m_ui->dbgTop10, m_ui->dbgBottom10, m_ui->dbgAtrasaLanca}) {
        ConnectGuarded(grid, &TDBGrid::OnDrawColumnCell, this, &TfrmIndiResult::dbgTop10DrawColumnCell);
        ConnectGuarded(grid, &TDBGrid::OnKeyPress, this, &TfrmIndiResult::FormKeyPress);
    }
}

void TfrmIndiResult::showMonthBeside(int step)
{
    const QDate shown = DateTimeUtil::toDate(dtData);
    dtData = DateTimeUtil::fromDate(cockpit::RefMonth(shown).firstDay().addMonths(step));
    DoDeactivate();
    DoActivate();
}

bool TfrmIndiResult::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        const QString name = watched->objectName();
        if (name.compare(QLatin1String("lblTotal"), Qt::CaseInsensitive) == 0) {
            Guarded([this] { openTrends(); });
            return true;
        }
        const int row = name.right(1).toInt();
        if (row >= 1 && row <= 5) {
            Guarded([this, row] { openRegion(row); });
            return true;
        }
    }
    return TForm::eventFilter(watched, event);
}

void TfrmIndiResult::openRegion(int row)
{
    const auto* label = FindComponentAs<TLabel>(QStringLiteral("lblR%1").arg(row));
    if (!label || label->Caption().isEmpty() || !m_view)
        return;
    if (!m_regionWindow) {
        // Owned by the cockpit: the window system keeps it above the cockpit, and it goes with it.
        m_regionWindow = new TfrmRegiao(this);
        m_regionWindow->setAttribute(Qt::WA_DeleteOnClose, false);
        connect(m_regionWindow, &TfrmRegiao::MonthStepRequested, this, [this](int step) { showMonthBeside(step); });
    }
    if (!m_regionWindow->isVisible()) {
        placeOver(m_regionWindow, QPoint(40, 60));
    }
    m_regionWindow->show();
    m_regionWindow->raise();
    m_regionWindow->ShowRegion(label->Caption(), m_view->month, *m_view, row);
}

// A window opened from the cockpit: scaled as the cockpit is, so its texts are not smaller than the
// cockpit's; placed over the cockpit's upper left, inside the screen.
void TfrmIndiResult::placeOver(TForm* window, const QPoint& offset)
{
    window->ScaleDesign(DesignFactor());
    QRect place(pos() + offset * DesignFactor(), window->frameGeometry().size());
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        place.moveRight(std::min(place.right(), area.right()));
        place.moveBottom(std::min(place.bottom(), area.bottom()));
        place.moveLeft(std::max(place.left(), area.left()));
        place.moveTop(std::max(place.top(), area.top()));
    }
    window->move(place.topLeft());
}

void TfrmIndiResult::openTrends()
{
    if (!m_view)
        return;
    if (!m_trendWindow) {
        m_trendWindow = new TfrmTendencia(this);
        m_trendWindow->setAttribute(Qt::WA_DeleteOnClose, false);
        connect(m_trendWindow, &TfrmTendencia::MonthStepRequested, this, [this](int step) { showMonthBeside(step); });
    }
    if (!m_trendWindow->isVisible()) {
        placeOver(m_trendWindow, QPoint(60, 80));
    }
    m_trendWindow->ShowTrends(m_view->scorecard);
    m_trendWindow->show();
    m_trendWindow->raise();
    m_trendWindow->activateWindow();
}

// A region window follows the month the cockpit shows.
void TfrmIndiResult::refreshRegion()
{
    if (!m_regionWindow || !m_regionWindow->isVisible() || !m_view)
        return;
    const QString region = m_regionWindow->Region();
    int row = 0;
    for (int n = 1; n <= 5; ++n)
        if (m_view->labels.value(QStringLiteral("lblR%1").arg(n)) == region)
            row = n;
    m_regionWindow->ShowRegion(region, m_view->month, *m_view, row);
}

// A region window left on the desktop after its cockpit closed would show a month nobody refreshes.
void TfrmIndiResult::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous() && m_regionWindow)
        m_regionWindow->Close();
    if (!event->spontaneous() && m_trendWindow)
        m_trendWindow->Close();
    TForm::hideEvent(event);
}

void TfrmIndiResult::FormDeactivate(QObject* sender)
{
    Q_UNUSED(sender);
    m_data->netIndicResult->SetConnected(false);
}
