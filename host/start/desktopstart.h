#pragma once

class HostCommandLine;
class ModuleLoader;
class QApplication;

// The interactive host: its main window, with the module opened at once under --launch.
class DesktopStart {
public:
    // The exit status.
    static int Run(QApplication& app, ModuleLoader& module, const HostCommandLine& cmd);
};
