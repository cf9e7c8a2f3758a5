#pragma once

#include "tform.h"
#include "tdbgrid.h"

#include <QHash>
#include <memory>

namespace Ui {
class TfrmIndiResult;
}
class TMessages;
class TIndicResultData;

// The results dashboard: a black, borderless window with the month's operating results. Its visual
// components come from the window definition (tfrmindiresult.ui); the refresh finds them by name, as
// FindComponent does for anyone else.
class TfrmIndiResult : public TForm {
    Q_OBJECT
public:
    explicit TfrmIndiResult(QWidget* owner = nullptr);
    ~TfrmIndiResult() override;

    // The window's message table.
    TMessages* msgPadrao = nullptr;
    // Connection, datasets, data sources and the fetch.
    TIndicResultData* Data() const { return m_data; }

    // ---- Event handlers ------------------------------------------------------------------------
    void FormCreate(QObject* sender);
    void FormActivate(QObject* sender);
    void FormDeactivate(QObject* sender);
    void dbgTop10DrawColumnCell(QObject* sender, const QRect& rect, int dataCol, TColumn* column,
                                TGridDrawState state);
    void FormKeyPress(QObject* sender, QChar& key);

private:
    void createLayout();     // window definition
    void linkDataControls(); // grids and charts to their data
    void hookEvents();

    std::unique_ptr<Ui::TfrmIndiResult> m_ui;
    TIndicResultData* m_data = nullptr;
    // Captions of the regional rows' labels and panels as the window definition stores them, by name.
    QHash<QString, QString> m_storedRowTexts;
};
