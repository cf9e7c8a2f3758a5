#include "monthsteps.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

#include <utility>

void InstallMonthSteps(QWidget* window, const std::function<void(int step)>& step)
{
    const std::pair<QKeySequence, int> steps[] = {{QKeySequence(Qt::Key_PageUp), -1},
                                                  {QKeySequence(Qt::Key_PageDown), 1},
                                                  {QKeySequence(Qt::ALT | Qt::Key_Left), -1},
                                                  {QKeySequence(Qt::ALT | Qt::Key_Right), 1}};
    for (const auto& [keys, by] : steps)
        QObject::connect(new QShortcut(keys, window), &QShortcut::activated, window, [step, by = by] { step(by); });
}
