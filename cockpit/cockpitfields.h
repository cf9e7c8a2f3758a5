#pragma once

#include "indicators.h"

#include <QString>
#include <QStringList>
#include <QVector>

// What the cockpit adds to the packets' fields and says in its own words, kept once for the desktop
// dashboard and the browser view.
namespace cockpit {

// A dataset field's column title and number format ("#0.0%"); empty means the field's own.
struct FieldPresentation {
    QString dataSet;   // cdsTop10, cdsBottom10, cdsDiasEstoque
    QString field;
    QString label;
    QString format;
};
const QVector<FieldPresentation>& FieldPresentations();

// The dashboard's messages as "KEY|text" entries (REGIONAIS>5, DTULTATU, QTFILI, TITULO).
const QStringList& DashboardMessages();
// The text of one of them; empty for an unknown key.
QString DashboardMessage(const QString& key);

// The desktop's components of each indicator, in the order of the model's indicators: the company's gauge
// and panel, for a region's row the prefix of a name that ends in the row number, and the region window's
// own. The one table that maps scopes and indicators to the window definitions' names.
struct IndicatorColumn {
    Indicator indicator;
    const char* totalGauge;
    const char* totalPanel;
    const char* regionGauge;
    const char* regionPanel;
    const char* windowGauge;
    const char* windowPanel;
};

inline constexpr IndicatorColumn kIndicatorColumns[] = {
    {Indicator::Revenue, "indicFatTotal", "pnlIndicFatTotal", "indicFatR", "pnlIndicFatR", "indicFat", "pnlIndicFat"},
    {Indicator::Consumption, "indicConsTotal", "pnlIndicConsTotal", "indicConsR", "pnlIndicConsR", "indicCons", "pnlIndicCons"},
    {Indicator::Labour, "indicMDOtotal", "pnlIndicMdoTotal", "indicMdoR", "pnlIndicMdoR", "indicMdo", "pnlIndicMdo"},
    {Indicator::Expenses, "indicDespeTotal", "pnlIndicDespeTotal", "indicDespeR", "pnlIndicDespeR", "indicDespe", "pnlIndicDespe"},
    {Indicator::Result, "indicResultTotal", "pnlIndicResultTotal", "indicResultR", "pnlIndicResultR", "indicResult", "pnlIndicResult"},
};
// The label of a region's row, before its number.
inline constexpr const char* kRegionLabel = "lblR";

// The most regions the window has rows for.
inline constexpr int kRegionRows = 5;

} // namespace cockpit
