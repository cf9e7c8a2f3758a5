#pragma once

#include <QDialog>

class QLineEdit;
class QSpinBox;

// Lets the user change where the application server is and the files of the TLS link to it.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget* parent = nullptr);
    void accept() override;

private:
    QLineEdit* fileField(const QString& value, const QString& caption);

    QLineEdit* m_host;
    QSpinBox* m_port;
    QLineEdit* m_tlsCa;
    QLineEdit* m_tlsCert;
    QLineEdit* m_tlsKey;
};
