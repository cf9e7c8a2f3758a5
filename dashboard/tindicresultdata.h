#pragma once

#include "cockpitview.h"

#include <QObject>

class TNetConnection;
class TClientDataSet;
class TDataSource;

// The dashboard's data side: the connection to the remote data module, the five client datasets with
// their persistent fields, the three data sources the grids read, and the fetch. A child of the window,
// so the window's components by name include these.
class TIndicResultData : public QObject {
    Q_OBJECT
public:
    explicit TIndicResultData(QObject* owner);

    TNetConnection* netIndicResult = nullptr;
    TClientDataSet* cdsIndicadores = nullptr;
    TClientDataSet* cdsTop10 = nullptr;
    TClientDataSet* cdsBottom10 = nullptr;
    TClientDataSet* cdsGrafPizza = nullptr;
    TClientDataSet* cdsDiasEstoque = nullptr;
    TDataSource* dtsTop10 = nullptr;
    TDataSource* dtsBottom10 = nullptr;
    TDataSource* dtsDiasEstoque = nullptr;

    // Before the connection opens: the host tells where the application server is.
    void netIndicResultBeforeConnect(QObject* sender);

    // Calls getCkpData with dtData on the open connection and loads the five datasets. The whole reply is
    // checked first: a failed status, a date outside dtData's month or a malformed packet leaves every dataset,
    // and dtData, as they were. Returns the month's figures, decoded from the reply with the one codec.
    cockpit::MonthFigures FetchCkpData();
};
