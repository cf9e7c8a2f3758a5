#pragma once

#include <functional>

class QWidget;

// PageUp/PageDown (Alt+←/→) on a window of the cockpit's: step, by -1 or 1, to the month before or after.
// Shortcuts, so that a grid with the focus does not take PageUp for scrolling.
void InstallMonthSteps(QWidget* window, const std::function<void(int step)>& step);
