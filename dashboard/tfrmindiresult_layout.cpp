// Window definition of the dashboard: components, positions, fonts and colours.
#include "tfrmindiresult.h"

#include "ui_tfrmindiresult.h"

#include "designfonts.h"
#include "tdbchart.h"
#include "tdbgrid.h"
#include "tpanel.h"

void TfrmIndiResult::createLayout()
{
    InstallFontSubstitutes();
    m_ui->setupUi(this);
    ApplyDesignFonts(this);
}

void TfrmIndiResult::linkDataControls()
{
    // The definition names the data sources and the dataset; they exist once the data components do.
    for (TDBGrid* grid : {m_ui->dbgTop10, m_ui->dbgBottom10, m_ui->dbgAtrasaLanca})
        grid->LinkDataSource(this);
    for (TDBChart* chart : {m_ui->grafFatReg, m_ui->grafCustReg, m_ui->grafResultReg})
        chart->LinkDataSet(this);
}

void TfrmIndiResult::FormCreate(QObject* sender)
{
    Q_UNUSED(sender);
    linkDataControls();
    for (TDBGrid* grid : {m_ui->dbgTop10, m_ui->dbgBottom10, m_ui->dbgAtrasaLanca}) {
        grid->SetDefaultColors(true);
        grid->SetColor(clBlack);
    }
}
