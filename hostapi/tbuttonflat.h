#pragma once

#include "tform.h"

#include <QToolButton>

// Flat push button of the in-house dialogs. OnClick runs inside the host's exception boundary.
class TButtonFlat : public QToolButton {
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget* parent = nullptr);

    TNotifyEvent OnClick;

    // Runs OnClick as a click of the user would.
    void Click();
};
