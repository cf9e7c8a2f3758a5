#pragma once

#include "tform.h"
#include "ui_tfrmindiresult.h"

#include <QPointer>

class TMessages;
class TNetConnection;
class TClientDataSet;
class TDataSource;
class TField;

// The results dashboard: a black, borderless window with the month's operating results. Its visual
// components come from the window definition (tfrmindiresult.ui) as named members.
class TfrmIndiResult : public TForm, public Ui::TfrmIndiResult {
    Q_OBJECT
public:
    explicit TfrmIndiResult(QWidget* owner = nullptr);
    ~TfrmIndiResult() override;

    // ---- Non-visual components ------------------------------------------------------------------
    TMessages* msgPadrao = nullptr;
    TNetConnection* netIndicResult = nullptr;
    TClientDataSet* cdsIndicadores = nullptr;
    TClientDataSet* cdsTop10 = nullptr;
    TClientDataSet* cdsBottom10 = nullptr;
    TClientDataSet* cdsGrafPizza = nullptr;
    TClientDataSet* cdsDiasEstoque = nullptr;
    TDataSource* dtsTop10 = nullptr;
    TDataSource* dtsBottom10 = nullptr;
    TDataSource* dtsDiasEstoque = nullptr;
    // ---- Field objects (data service) ------------------------------------------------------------
    TField* cdsIndicadoresCDAREAGERE = nullptr;
    TField* cdsIndicadoresQTFILIAIS = nullptr;
    TField* cdsIndicadoresVRFATLIQGER = nullptr;
    TField* cdsIndicadoresCONSUMO = nullptr;
    TField* cdsIndicadoresMDO = nullptr;
    TField* cdsIndicadoresDESPESAS = nullptr;
    TField* cdsIndicadoresRESULTADO = nullptr;
    TField* cdsIndicadoresDTULTATUETL = nullptr;
    TField* cdsTop10CDAREAGERE = nullptr;
    TField* cdsTop10NMFILIAL = nullptr;
    TField* cdsTop10RESULTADO = nullptr;
    TField* cdsTop10ROWNUM = nullptr;
    TField* cdsBottom10CDAREAGERE = nullptr;
    TField* cdsBottom10NMFILIAL = nullptr;
    TField* cdsBottom10RESULTADO = nullptr;
    TField* cdsBottom10ROWNUM = nullptr;
    TField* cdsGrafPizzaCDAREAGERE = nullptr;
    TField* cdsGrafPizzaVRFATLIQGER = nullptr;
    TField* cdsGrafPizzaCUSTO = nullptr;
    TField* cdsGrafPizzaRESULTADO = nullptr;
    TField* cdsDiasEstoqueCDAREAGERE = nullptr;
    TField* cdsDiasEstoqueROWNUM = nullptr;
    TField* cdsDiasEstoqueNMFILIAL = nullptr;
    TField* cdsDiasEstoqueDIASESTOQUE = nullptr;
    // ---- Visual components (window definition) ---------------------------------------------------
    // Members of Ui::TfrmIndiResult: pnlTitulo (lblDtAtu, lblQtFiliais, lblTitulo); lblFaturamento,
    // lblPConsumo, lblPMdo, lblPDespesas, lblPResultado, lblTotal, lblR1..lblR5, lblTop10, lblBottom10,
    // lblAtrasaLanca; the gauges indicFatTotal, indicConsTotal, indicMDOtotal, indicDespeTotal,
    // indicResultTotal, indicFatR1..5, indicConsR1..5, indicMDOR1..5, indicDespeR1..5, IndicResultR1..5;
    // their value panels pnlIndic{Fat,Cons,Mdo,Despe,Result}{Total,R1..R5}; the grids dbgTop10,
    // dbgBottom10, dbgAtrasaLanca; the masking panels Panel5, Panel3 (Panel4), Panel2, Panel1; the charts
    // grafFatReg (series FastLineSeries5), grafCustReg (PieSeries1), grafResultReg (PieSeries2).

    // ---- Event handlers ------------------------------------------------------------------------
    void FormCreate(QObject* sender);
    void netIndicResultBeforeConnect(QObject* sender);
    void FormActivate(QObject* sender);
    void FormDeactivate(QObject* sender);
    void dbgTop10DrawColumnCell(QObject* sender, const QRect& rect, int dataCol, TColumn* column,
                                TGridDrawState state);
    void FormKeyPress(QObject* sender, QChar& key);

    // Step 3 of the refresh: calls getCkpData with dtData and loads the five datasets.
    void FetchCkpData();

private:
    void createDataComponents(); // data service
    void createLayout();         // window definition
    void linkDataControls();     // window definition: grids and charts to their data
    void hookEvents();

    // Captions of the regional rows' labels and panels as the window definition stores them, by name.
    QHash<QString, QString> m_storedRowTexts;
};
