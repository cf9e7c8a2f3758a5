#pragma once

#include "refmonth.h"

#include <QDate>
#include <QObject>
#include <QTimer>
#include <QWidget>

class ModuleLoader;

struct WallScreenOptions {
    cockpit::RefMonth month; // the month shown; none: the calendar's month, followed as it turns
    int cycleSeconds = 60; // between refreshes that completed
};

// kpd-host --kiosk: the cockpit full screen on a wall nobody answers. The module opens without its dialog
// for the month; the dashboard is refreshed every cycle as when a manager comes back to it (another window
// of the host becomes active, then the dashboard again), and after a refresh that failed it is tried again
// every few seconds, so it shows the figures again soon after the server is back. Meanwhile the dashboard
// keeps the figures it has, marked with the time they were fetched. Messages go to standard error with
// the time, never to a box nobody would close. Escape and the window manager's close do nothing; Ctrl+Q
// quits.
class WallScreen : public QObject
{
    Q_OBJECT
public:
    // The longest wait before another try after a failed refresh.
    static constexpr int kRetrySeconds = 5;
    // How far back a wall following the calendar looks for a month with figures.
    static constexpr int kMonthsBack = 12;

    WallScreen(ModuleLoader& module, const WallScreenOptions& options, QObject* parent = nullptr);
    ~WallScreen() override;

    // Opens the dashboard full screen and runs its first refresh; false when the module could not open it.
    bool Start();
    // Refreshes now, as the cycle does, and schedules the next one; true when the refresh completed.
    bool Refresh();
    QWidget* Dashboard() const;

signals:
    void refreshed(bool completed);
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    cockpit::RefMonth month() const;
    // Shows `month` as a manager's return to the window would; true when the refresh completed.
    bool show(QWidget* form, const cockpit::RefMonth& month);
    // After the calendar's month was shown: when it has no figures yet, the latest month that has (up to a
    // year back), with a notice saying so; true when the refreshes completed.
    bool showLatestWithFigures(QWidget* form, bool completed);
    void log(const QString& text);
    void scheduleAfter(bool completed);

    ModuleLoader& m_module;
    WallScreenOptions m_options;
    // Stands for the host's other windows: the dashboard is left for it and activated again.
    QWidget m_elsewhere;
    QTimer m_timer;
    QString m_lastLogged;
    bool m_quitting = false;
};
