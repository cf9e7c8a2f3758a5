#include "desktopstart.h"
#include "headlessstart.h"
#include "hostcommandline.h"
#include "hostconnection.h"
#include "hostprocess.h"
#include "moduleloader.h"
#include "subscriptionstart.h"
#include "wallstart.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    HostProcess::PrepareEnvironment(argc, argv);
    QApplication app(argc, argv);
    HostProcess::NameApplication();

    HostCommandLine cmd;
    if (const std::optional<int> status = cmd.Parse())
        return *status;
    SubscriptionStart subscription;
    if (const std::optional<int> status = subscription.Load(cmd))
        return *status;
    if (const std::optional<int> status = HostConnection::Apply(cmd, subscription.Get()))
        return *status;

    ModuleLoader module;
    if (!module.Load(cmd.Value(cmd.module)))
        std::fprintf(stderr, "kpd-host: %s\n", qPrintable(module.ErrorString()));

    if (cmd.IsSet(cmd.subscription))
        return subscription.Send(module, cmd);
    if (cmd.IsSet(cmd.kiosk))
        return WallStart::Run(app, module, cmd);
    if (cmd.IsSet(cmd.cycle))
        return cmd.Refuse(QStringLiteral("--cycle só se aplica a --kiosk"));
    if (cmd.IsSet(cmd.month))
        return HeadlessStart::Run(module, cmd);
    return DesktopStart::Run(app, module, cmd);
}
