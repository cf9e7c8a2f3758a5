#pragma once

#include <QMainWindow>

class ModuleLoader;

// The host's main window: a menu entry opens the module.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(ModuleLoader* module, QWidget* parent = nullptr);

    void OpenModule();

private:
    void updateStatus();

    ModuleLoader* m_module;
};
