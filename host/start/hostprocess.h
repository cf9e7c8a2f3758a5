#pragma once

// What the host's process needs around Qt: a platform where there is no display, quiet libraries, a
// private runtime folder, and the application's names and locale.
class HostProcess {
public:
    // Before the QApplication is made.
    static void PrepareEnvironment(int argc, char* argv[]);
    // Once it is made: where the settings are kept, and the Brazilian formats.
    static void NameApplication();
};
