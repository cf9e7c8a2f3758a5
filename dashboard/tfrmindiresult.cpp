#include "tfrmindiresult.h"

#include "ui_tfrmindiresult.h"

#include "cockpitfields.h"
#include "cockpitview.h"
#include "eventboundary.h"
#include "tdbgrid.h"
#include "tlabel.h"
#include "tmessages.h"
#include "tindicresultdata.h"
#include "tnetconnection.h"

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

TfrmIndiResult::~TfrmIndiResult() = default;

void TfrmIndiResult::hookEvents()
{
    ConnectGuarded(this, &TForm::OnCreate, this, &TfrmIndiResult::FormCreate);
    ConnectGuarded(this, &TForm::OnActivate, this, &TfrmIndiResult::FormActivate);
    ConnectGuarded(this, &TForm::OnDeactivate, this, &TfrmIndiResult::FormDeactivate);
    ConnectGuarded(this, &TForm::OnKeyPress, this, &TfrmIndiResult::FormKeyPress);
    // One drawing handler and one key handler serve the three grids.
    for (TDBGrid* grid : {m_ui->dbgTop10, m_ui->dbgBottom10, m_ui->dbgAtrasaLanca}) {
        ConnectGuarded(grid, &TDBGrid::OnDrawColumnCell, this, &TfrmIndiResult::dbgTop10DrawColumnCell);
        ConnectGuarded(grid, &TDBGrid::OnKeyPress, this, &TfrmIndiResult::FormKeyPress);
    }
}

void TfrmIndiResult::FormDeactivate(QObject* sender)
{
    Q_UNUSED(sender);
    m_data->netIndicResult->SetConnected(false);
}
