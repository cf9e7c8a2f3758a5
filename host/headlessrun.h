#pragma once

#include "refmonth.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class ModuleLoader;
namespace cockpit {
struct CockpitView;
}

struct HeadlessOptions {
    QList<cockpit::RefMonth> months; // the months to show, in order
    QString snapshot;    // PNG of the whole dashboard window per month; empty for none
    QString json;        // what the dashboard shows per month; empty for none
    QString pdf;         // the board pack: a cover, then two landscape A4 pages per month; empty for none
    QString csv;         // a folder per month ({month}) with one CSV file per list; empty for none
    QString company;     // on the pack's cover
    bool lightPdf = false;   // the pack in dark text on white, for a printer
    // Hears each month the dashboard showed, with the view it showed.
    std::function<void(const cockpit::RefMonth&, const cockpit::CockpitView&)> onMonth;
};

// Reads the values of --month ("YYYY-MM" or "YYYY-MM..YYYY-MM", repeatable) into first days of months, in
// the order given. False with *error (Portuguese) on a value that is no month or a range that runs back.
bool ParseMonths(const QStringList& values, QList<cockpit::RefMonth>* months, QString* error);

// "{month}" in an output path becomes YYYY-MM.
QString PathForMonth(const QString& pattern, const cockpit::RefMonth& month);

// Refuses options that would write several months into one file; false with *error.
bool CheckHeadlessOptions(const HeadlessOptions& options, QString* error);

// Opens the module as a user would and confirms the month dialog with the first month; each next month
// is shown in the same dashboard as a manager would see it: the reference date changes and the window is
// activated again. Writes the outputs of every month, also of a month whose refresh failed (its messages
// go to standard error and to its JSON). Returns 0 when every month's refresh completed, 1 otherwise.
int RunHeadless(ModuleLoader& module, const HeadlessOptions& options);
