#include "headlessstart.h"

#include "headlessrun.h"
#include "hostcommandline.h"

#include <QApplication>
#include <QSettings>

int HeadlessStart::Run(ModuleLoader& module, const HostCommandLine& cmd)
{
    HeadlessOptions options;
    options.snapshot = cmd.Value(cmd.snapshot);
    options.json = cmd.Value(cmd.json);
    options.pdf = cmd.Value(cmd.pdf);
    options.csv = cmd.Value(cmd.csv);
    options.company = cmd.IsSet(cmd.company) ? cmd.Value(cmd.company)
                                             : QSettings().value(QStringLiteral("empresa")).toString();
    const QString theme = cmd.Value(cmd.pdfTheme);
    if (!theme.isEmpty() && theme != QLatin1String("claro") && theme != QLatin1String("escuro"))
        return cmd.Refuse(QStringLiteral("tema inválido em --pdf-theme: %1 (use claro ou escuro)")
                          .arg(cmd.Shown(theme)));
    options.lightPdf = theme == QLatin1String("claro");
    QString error;
    if (!ParseMonths(cmd.Values(cmd.month), &options.months, &error) || !CheckHeadlessOptions(options, &error))
        return cmd.Refuse(error);
    QApplication::setQuitOnLastWindowClosed(false);
    return RunHeadless(module, options);
}
