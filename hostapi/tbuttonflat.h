#pragma once

#include <QToolButton>

// Flat push button of the in-house dialogs. A click emits OnClick; its handlers connect through
// ConnectGuarded, so they run inside the host's exception boundary.
class TButtonFlat : public QToolButton {
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget* parent = nullptr);

    // Clicks the button as the user would.
    void Click();

signals:
    void OnClick(QObject* sender);
};
