#include "wallstart.h"

#include "headlessrun.h"
#include "hostcommandline.h"
#include "wallscreen.h"

#include <QApplication>

int WallStart::Run(QApplication& app, ModuleLoader& module, const HostCommandLine& cmd)
{
    WallScreenOptions wall;
    const QStringList months = cmd.Values(cmd.month);
    QList<cockpit::RefMonth> parsed;
    QString error;
    if (months.size() > 1 || (months.size() == 1 && months.first() != QLatin1String("current") &&
                              (!ParseMonths(months, &parsed, &error) || parsed.size() != 1)))
        return cmd.Refuse(QStringLiteral("mês inválido em --month com --kiosk: %1 (use AAAA-MM ou current)")
                          .arg(cmd.Shown(months.join(QLatin1Char(' ')))));
    wall.month = parsed.value(0);
    if (cmd.IsSet(cmd.cycle)) {
        bool ok = false;
        wall.cycleSeconds = cmd.Value(cmd.cycle).toInt(&ok);
        if (!ok || wall.cycleSeconds < 1 || wall.cycleSeconds > 86400)
            return cmd.Refuse(QStringLiteral("intervalo inválido em --cycle: %1 (segundos, de 1 a 86400)")
                              .arg(cmd.Shown(cmd.Value(cmd.cycle))));
    }
    for (const QCommandLineOption& other : {cmd.snapshot, cmd.json, cmd.pdf, cmd.launch, cmd.noScale})
        if (cmd.IsSet(other))
            return cmd.Refuse(QStringLiteral("--%1 não se aplica a --kiosk").arg(other.names().constFirst()));
    WallScreen screen(module, wall);
    QObject::connect(&screen, &WallScreen::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    if (!screen.Start())
        return 1;
    return app.exec();
}
