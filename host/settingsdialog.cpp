#include "settingsdialog.h"

#include "hostsettings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Servidor de aplicação"));
    auto* form = new QFormLayout(this);
    m_host = new QLineEdit(HostSettings::Host(), this);
    m_port = new QSpinBox(this);
    m_port->setRange(1, 65535);
    m_port->setValue(HostSettings::Port());
    form->addRow(QStringLiteral("Endereço:"), m_host);
    form->addRow(QStringLiteral("Porta:"), m_port);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Confirmar"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void SettingsDialog::accept()
{
    const QString host = m_host->text().trimmed();
    if (host.isEmpty() || host.contains(QLatin1Char('/')) || host.contains(QLatin1Char(' '))) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Informe o endereço do servidor (sem protocolo nem caminho)."));
        return;
    }
    HostSettings::SetStored(host, m_port->value());
    QDialog::accept();
}
