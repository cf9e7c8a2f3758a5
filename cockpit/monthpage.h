#pragma once

#include "cockpitfields.h"
#include "figurescodec.h"
#include "gaugestate.h"
#include "scorecard.h"

#include <QStringList>
#include <QVector>

#include <array>

// What a month's page shows, in the scorecard's words (scopes, indicators, lists, pies), never in a
// window's component names: the browser and the wall draw it as it is, the desktop puts it on its
// components through its one table of names (cockpitfields.h). Computed once from the month's figures.
namespace cockpit {

struct PageMeasure {
    QString text;        // as a panel writes it ("12,5 M", "40,5%"; " M" or "%" alone without a figure)
    GaugeState dial;     // the dial as the gauge rules leave it
    bool hasDial = false;   // false: no figure and no target, nothing to draw on the dial
};

struct PageScope {
    Scope scope;
    std::array<PageMeasure, kIndicatorCount> measures;
};

struct PageList {
    QString key;            // kLists
    QString title;
    QStringList titles;     // the columns' headings
    QVector<QStringList> rows;   // cell texts as shown
    QVector<int> rowColors;      // stripes
    QStringList recurrence;      // per row, "9 de 12 meses" for a branch that is no news there; else empty
};

struct PageSlice {
    QString label;
    double value = 0.0;
    int color = 0;
    double fraction = 0.0;   // its share of the pie; 0 for a slice that is not drawn
};

struct PagePie {
    QString key;   // kPies
    QString title;
    QVector<PageSlice> slices;
};

struct MonthPage {
    RefMonth month;
    QString title;        // "BI Business Intelligence - Resultados Operacionais  (Março/2024 — parcial até 15/03)"
    QString branches;     // "Quantidade de Unidades:  7"
    QString lastLoad;     // "Última Atualização : 03/04/2024"
    QString notice;       // "Sem dados para Março/2024"; empty when the month has figures
    Scorecard scorecard;
    QVector<PageScope> scopes;   // the company, then every region, in the scorecard's order
    QVector<PageList> lists;
    QVector<PagePie> pies;
};

MonthPage ComputePage(const MonthFigures& figures);
// The same from a reply's packets, decoded once.
MonthPage ComputePage(const CockpitPackets& packets);

// A measure on a dial, by the gauge rules: zones from its target, needle in its zone's colour; a figure
// without a target centred in neutral zones with the neutral needle; no figure: grey needle at the minimum.
// The dial keeps its range where there is neither figure nor target.
void DrawMeasure(GaugeState& dial, Indicator indicator, const Measure& measure);
// Nothing to judge: the needle rests at the minimum in grey.
void RestDial(GaugeState& dial);

// A ranking's last column in a spreadsheet: its title, and for each place 1..rows how many of the twelve
// months its branch was in the list (none where the server did not say); no title for a list that is not a
// ranking (cdsTop10, cdsBottom10).
QString RecurrenceTitle(const QString& dataSet);
QList<QVariant> RecurrenceValues(const Scorecard& card, const QString& dataSet, int rows);

// One of the month's lists (kLists' key, or the desktop grid's name) as a spreadsheet (CsvText): the
// titles, then the figures as numbers. Throws WireError for a name that is no list.
QByteArray ListCsv(const MonthFigures& figures, const QString& list);

} // namespace cockpit
