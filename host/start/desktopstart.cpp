#include "desktopstart.h"

#include "hostcommandline.h"
#include "mainwindow.h"
#include "tapplication.h"

#include <QApplication>
#include <QTimer>

int DesktopStart::Run(QApplication& app, ModuleLoader& module, const HostCommandLine& cmd)
{
    // The headless run keeps the stored size whatever screen the platform reports; on a desktop the
    // dashboard fits the screen it opens on unless asked not to.
    Application()->SetFit(cmd.IsSet(cmd.noScale) ? TApplication::WindowFit::Stored : TApplication::WindowFit::Screen);
    MainWindow window(&module);
    window.show();
    if (cmd.IsSet(cmd.launch))
        QTimer::singleShot(0, &window, &MainWindow::OpenModule);
    return app.exec();
}
