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
// and panel, and for a region the prefix of a name that ends in the row number. The one table that maps
// scopes and indicators to the window definition's names.
struct IndicatorColumn {
    Indicator indicator;
    const char* totalGauge;
    const char* totalPanel;
    const char* regionGauge;
    const char* regionPanel;
};

inline constexpr IndicatorColumn kIndicatorColumns[] = {
    {Indicator::Revenue, "indicFatTotal", "pnlIndicFatTotal", "indicFatR", "pnlIndicFatR"},
    {Indicator::Consumption, "indicConsTotal", "pnlIndicConsTotal", "indicConsR", "pnlIndicConsR"},
    {Indicator::Labour, "indicMDOtotal", "pnlIndicMdoTotal", "indicMdoR", "pnlIndicMdoR"},
    {Indicator::Expenses, "indicDespeTotal", "pnlIndicDespeTotal", "indicDespeR", "pnlIndicDespeR"},
    {Indicator::Result, "indicResultTotal", "pnlIndicResultTotal", "indicResultR", "pnlIndicResultR"},
};

// The most regions the window has rows for.
inline constexpr int kRegionRows = 5;

} // namespace cockpit
