#pragma once

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

// One of the five indicators: its field in the indicators' packet, the components that show it (for a
// region, the prefix of a name that ends in the row number) and how its gauge is judged.
struct IndicatorColumn {
    const char* field;
    const char* totalGauge;
    const char* totalPanel;
    const char* regionGauge;
    const char* regionPanel;
    double target;   // fixed target; the revenue column uses the revenue itself
    bool higherIsBetter;
    const char* suffix;
};

inline constexpr IndicatorColumn kIndicatorColumns[] = {
    {"VRFATLIQGER", "indicFatTotal", "pnlIndicFatTotal", "indicFatR", "pnlIndicFatR", 0.0, true, " M"},
    {"CONSUMO", "indicConsTotal", "pnlIndicConsTotal", "indicConsR", "pnlIndicConsR", 40.0, false, "%"},
    {"MDO", "indicMDOtotal", "pnlIndicMdoTotal", "indicMdoR", "pnlIndicMdoR", 45.0, false, "%"},
    {"DESPESAS", "indicDespeTotal", "pnlIndicDespeTotal", "indicDespeR", "pnlIndicDespeR", 15.0, false, "%"},
    {"RESULTADO", "indicResultTotal", "pnlIndicResultTotal", "indicResultR", "pnlIndicResultR", 5.0, true, "%"},
};

inline bool isRevenue(const IndicatorColumn& column) { return &column == &kIndicatorColumns[0]; }

} // namespace cockpit
