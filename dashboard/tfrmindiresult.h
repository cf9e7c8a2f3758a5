#pragma once

#include "tform.h"

#include <QPointer>

class TMessages;
class TNetConnection;
class TClientDataSet;
class TDataSource;
class TField;

// The results dashboard: a black, borderless window with the month's operating results.
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
    // ---- Visual components (window definition) ---------------------------------------------------

    // ---- Event handlers ------------------------------------------------------------------------
    void FormCreate(QObject* sender);
    void netIndicResultBeforeConnect(QObject* sender);
    void FormActivate(QObject* sender);
    void FormDeactivate(QObject* sender);
    void FormKeyPress(QObject* sender, QChar& key);

    // Step 3 of the refresh: calls getCkpData with dtData and loads the five datasets.
    void FetchCkpData();

private:
    void createDataComponents(); // data service
    void createLayout();         // window definition
    void hookEvents();
};

// The dashboard of the latest confirmed launch.
extern "C" TfrmIndiResult* frmIndiResult;
