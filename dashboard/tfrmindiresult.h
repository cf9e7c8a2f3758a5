#pragma once

#include "tform.h"
#include "tdbgrid.h"

#include <QHash>
#include <memory>

namespace Ui {
class TfrmIndiResult;
}
class TMessages;
class TNetConnection;
class TClientDataSet;
class TDataSource;
class TField;

// The results dashboard: a black, borderless window with the month's operating results. Its visual
// components come from the window definition (tfrmindiresult.ui); the refresh finds them by name, as
// FindComponent does for anyone else.
class TfrmIndiResult : public TForm {
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

    std::unique_ptr<Ui::TfrmIndiResult> m_ui;
    // Captions of the regional rows' labels and panels as the window definition stores them, by name.
    QHash<QString, QString> m_storedRowTexts;
};
