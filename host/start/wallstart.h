#pragma once

class HostCommandLine;
class ModuleLoader;
class QApplication;

// --kiosk: the month's dashboard on a wall, full screen and refreshed, until Ctrl+Q.
class WallStart {
public:
    // The exit status.
    static int Run(QApplication& app, ModuleLoader& module, const HostCommandLine& cmd);
};
