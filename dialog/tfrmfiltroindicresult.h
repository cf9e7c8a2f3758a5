#pragma once

#include "tfrmfiltropadrao.h"

class QLabel;
class TDateEditPlus;

// Reference-month dialog: the user picks the month whose results the dashboard shows.
class TfrmFiltroIndicResult : public TfrmFiltroPadrao {
    Q_OBJECT
public:
    explicit TfrmFiltroIndicResult(QWidget* parent = nullptr);
    ~TfrmFiltroIndicResult() override;

    QLabel* Label1 = nullptr;
    TDateEditPlus* depData = nullptr;

    void FormCreate(QObject* sender) override;
    void sbtConfirmaClick(QObject* sender);
    void sbtCancelClick(QObject* sender) override;
};
