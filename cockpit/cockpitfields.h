#pragma once

#include "indicators.h"
#include "monthfigures.h"

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

// The month's three lists: their key in the documents, their dataset, title and columns (fields, in order:
// every list shows a branch's name, its region and the figure it is ranked by),
// and the desktop's grid and title label that show them. The desktop's window definition holds the same
// grids; a test holds the two together.
struct ListInfo {
    const char* key;
    const char* dataSet;
    const char* title;
    const char* columns[3];
    const char* grid;
    const char* titleLabel;
};
inline constexpr ListInfo kLists[] = {
    {"top10", "cdsTop10", "Top 10", {"NMFILIAL", "CDAREAGERE", "RESULTADO"}, "dbgTop10", "lblTop10"},
    {"bottom10", "cdsBottom10", "Bottom 10", {"NMFILIAL", "CDAREAGERE", "RESULTADO"}, "dbgBottom10", "lblBottom10"},
    {"estoque", "cdsDiasEstoque", "Dias de Estoque - Piores Resultados", {"NMFILIAL", "CDAREAGERE", "DIASESTOQUE"},
     "dbgAtrasaLanca", "lblAtrasaLanca"},
};

// The month's three pies, one slice per region: their key, title, the desktop's chart and the slice's
// figure it draws.
struct PieInfo {
    const char* key;
    const char* title;
    const char* chart;
    std::optional<double> RegionSlice::*value;   // the slice's figure the pie draws
};
inline constexpr int kPieSeriesColor = 0x0000FF;
inline constexpr PieInfo kPies[] = {
    {"faturamento", "Faturamento por Regional", "grafFatReg", &RegionSlice::revenue},
    {"custo", "Custo por Regional", "grafCustReg", &RegionSlice::cost},
    {"resultado", "Resultado por Regional", "grafResultReg", &RegionSlice::result},
};

// The most regions the window has rows for.
inline constexpr int kRegionRows = 5;

} // namespace cockpit
