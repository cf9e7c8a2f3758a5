#include "mainwindow.h"

#include "hostsettings.h"
#include "moduleloader.h"
#include "settingsdialog.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

MainWindow::MainWindow(ModuleLoader* module, QWidget* parent) : QMainWindow(parent), m_module(module)
{
    setWindowTitle(QStringLiteral("Gestão Comercial"));
    resize(720, 420);

    QMenu* modules = menuBar()->addMenu(QStringLiteral("&Módulos"));
    QAction* open = modules->addAction(QStringLiteral("&Indicadores de Resultado..."));
    open->setShortcut(QKeySequence(QStringLiteral("Ctrl+I")));
    connect(open, &QAction::triggered, this, &MainWindow::OpenModule);
    modules->addSeparator();
    QAction* quit = modules->addAction(QStringLiteral("&Sair"));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Ferramentas"));
    QAction* settings = tools->addAction(QStringLiteral("&Servidor de aplicação..."));
    connect(settings, &QAction::triggered, this, [this] {
        SettingsDialog dialog(this);
        if (dialog.exec() == QDialog::Accepted)
            updateStatus();
    });

    auto* hint = new QLabel(QStringLiteral("Abra os Indicadores de Resultado pelo menu Módulos (Ctrl+I)."), this);
    hint->setAlignment(Qt::AlignCenter);
    setCentralWidget(hint);
    updateStatus();
}

void MainWindow::updateStatus()
{
    statusBar()->showMessage(QStringLiteral("Servidor de aplicação: %1:%2").arg(HostSettings::Host()).arg(HostSettings::Port()));
}

void MainWindow::OpenModule()
{
    if (!m_module->IsLoaded()) {
        QMessageBox::critical(this, windowTitle(), m_module->ErrorString());
        return;
    }
    m_module->IniProc();
}
