#include "settingsdialog.h"

#include "hostsettings.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

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
    const HostSettings::TlsFiles tls = HostSettings::Tls();
    m_tlsCa = fileField(tls.ca, QStringLiteral("Autoridade certificadora do servidor"));
    m_tlsCert = fileField(tls.cert, QStringLiteral("Certificado do cliente"));
    m_tlsKey = fileField(tls.key, QStringLiteral("Chave do certificado do cliente"));
    m_tlsCa->setPlaceholderText(QStringLiteral("vazio: conexão sem TLS"));
    form->addRow(QStringLiteral("Autoridade certificadora (TLS):"), m_tlsCa->parentWidget());
    form->addRow(QStringLiteral("Certificado do cliente:"), m_tlsCert->parentWidget());
    form->addRow(QStringLiteral("Chave do certificado:"), m_tlsKey->parentWidget());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Confirmar"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

// A file name field with a button that opens the file chooser; the field's parent is the row's widget.
QLineEdit* SettingsDialog::fileField(const QString& value, const QString& caption)
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* edit = new QLineEdit(value, row);
    edit->setMinimumWidth(280);
    auto* browse = new QToolButton(row);
    browse->setText(QStringLiteral("…"));
    browse->setToolTip(QStringLiteral("Escolher o arquivo"));
    layout->addWidget(edit);
    layout->addWidget(browse);
    connect(browse, &QToolButton::clicked, this, [this, edit, caption] {
        const QString path = QFileDialog::getOpenFileName(this, caption, edit->text(),
                                                          QStringLiteral("PEM (*.pem *.crt *.key);;Todos (*)"));
        if (!path.isEmpty())
            edit->setText(path);
    });
    return edit;
}

void SettingsDialog::accept()
{
    const QString host = m_host->text().trimmed();
    if (host.isEmpty() || host.contains(QLatin1Char('/')) || host.contains(QLatin1Char(' '))) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Informe o endereço do servidor (sem protocolo nem caminho)."));
        return;
    }
    const HostSettings::TlsFiles tls{m_tlsCa->text().trimmed(), m_tlsCert->text().trimmed(), m_tlsKey->text().trimmed()};
    const QString why = HostSettings::CheckTls(tls);
    if (!why.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), why);
        return;
    }
    HostSettings::SetStored(host, m_port->value());
    HostSettings::SetStoredTls(tls);
    QDialog::accept();
}
