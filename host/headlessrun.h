#pragma once

#include <QDate>
#include <QString>

class ModuleLoader;

struct HeadlessOptions {
    QDate month;      // first day of the month to open
    QString snapshot; // PNG of the whole dashboard window; empty for none
    QString json;     // what the dashboard shows; empty for none
};

// Opens the module as a user would, confirms the month dialog with the first day of the month, waits for
// the dashboard's first refresh and writes the outputs. Messages go to standard error and to the JSON.
// Returns 0 when the refresh completed, 1 when it was abandoned or failed.
int RunHeadless(ModuleLoader& module, const HeadlessOptions& options);
