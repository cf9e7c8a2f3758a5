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

// "Janeiro" .. "Dezembro"; empty outside 1 .. 12.
QString MonthName(int month);

} // namespace cockpit
