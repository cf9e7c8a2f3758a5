#include "tfrmindiresult.h"

#include "ui_tfrmindiresult.h"

#include "cockpitfields.h"
#include "eventboundary.h"
#include "modulestate.h"
#include "tdatetime.h"
#include "tdbgrid.h"
#include "tmessages.h"
#include "tindicresultdata.h"
#include "tnetconnection.h"

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
    m_data = new TIndicResultData(this);
    hookEvents();
    DoCreate();
}

TfrmIndiResult::~TfrmIndiResult() = default;

void TfrmIndiResult::hookEvents()
{
    ConnectGuarded(this, &TForm::OnCreate, this, &TfrmIndiResult::FormCreate);
    ConnectGuarded(this, &TForm::OnActivate, this, &TfrmIndiResult::FormActivate);
    ConnectGuarded(this, &TForm::OnDeactivate, this, &TfrmIndiResult::FormDeactivate);
    ConnectGuarded(this, &TForm::OnKeyPress, this, &TfrmIndiResult::FormKeyPress);
    // The month before and the month after, in the same window: as when the reference date changes and the
    // window is activated again. Shortcuts, so that a grid with the focus does not take PageUp for scrolling.
    const std::pair<QKeySequence, int> steps[] = {{QKeySequence(Qt::Key_PageUp), -1},
                                                  {QKeySequence(Qt::Key_PageDown), 1},
                                                  {QKeySequence(Qt::ALT | Qt::Key_Left), -1},
                                                  {QKeySequence(Qt::ALT | Qt::Key_Right), 1}};
    for (const auto& [keys, step] : steps) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] { showMonthBeside(step); });
    }
    // One drawing handler and one key handler serve the three grids.
    for (TDBGrid* grid : {m_ui->dbgTop10, m_ui->dbgBottom10, m_ui->dbgAtrasaLanca}) {
        ConnectGuarded(grid, &TDBGrid::OnDrawColumnCell, this, &TfrmIndiResult::dbgTop10DrawColumnCell);
        ConnectGuarded(grid, &TDBGrid::OnKeyPress, this, &TfrmIndiResult::FormKeyPress);
    }
}

void TfrmIndiResult::showMonthBeside(int step)
{
    const QDate shown = DateTimeUtil::toDate(dtData);
    dtData = DateTimeUtil::fromDate(QDate(shown.year(), shown.month(), 1).addMonths(step));
    DoDeactivate();
    DoActivate();
}

void TfrmIndiResult::FormDeactivate(QObject* sender)
{
    Q_UNUSED(sender);
    m_data->netIndicResult->SetConnected(false);
}
