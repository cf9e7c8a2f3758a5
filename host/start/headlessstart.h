#pragma once

class HostCommandLine;
class ModuleLoader;

// --month without --kiosk: the months' dashboards written to files (image, JSON, spreadsheets, the board
// pack) without a window, and the end.
class HeadlessStart {
public:
    // The exit status.
    static int Run(ModuleLoader& module, const HostCommandLine& cmd);
};
