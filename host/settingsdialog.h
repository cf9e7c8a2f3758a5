#pragma once

#include <QDialog>

class QLineEdit;
class QSpinBox;

// Lets the user change where the application server is.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget* parent = nullptr);
    void accept() override;

private:
    QLineEdit* m_host;
    QSpinBox* m_port;
};
