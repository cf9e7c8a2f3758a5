#include "hostsettings.h"

#include "remotecallclient.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>

#include <optional>

namespace {
QString g_overrideHost;
int g_overridePort = 0;
std::optional<HostSettings::TlsFiles> g_overrideTls;
constexpr int kDefaultPort = 2113;

QString unusable(const QString& path, const QString& what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Não foi possível ler %1 \"%2\": %3.").arg(what, path, file.errorString());
    if (file.readAll().trimmed().isEmpty())
        return QStringLiteral("O arquivo \"%1\" (%2) está vazio.").arg(path, what);
    return {};
}
} // namespace

QString HostSettings::Host()
{
    if (!g_overrideHost.isEmpty())
        return g_overrideHost;
    return QSettings().value(QStringLiteral("server/host"), QStringLiteral("127.0.0.1")).toString();
}

int HostSettings::Port()
{
    if (g_overridePort > 0)
        return g_overridePort;
    return QSettings().value(QStringLiteral("server/port"), kDefaultPort).toInt();
}

void HostSettings::SetStored(const QString& host, int port)
{
    QSettings s;
    s.setValue(QStringLiteral("server/host"), host);
    s.setValue(QStringLiteral("server/port"), port);
    // A deliberate change in the dialog wins over the command line from now on.
    ClearOverride();
}

void HostSettings::SetOverride(const QString& host, int port)
{
    g_overrideHost = host;
    g_overridePort = port;
}

void HostSettings::ClearOverride()
{
    g_overrideHost.clear();
    g_overridePort = 0;
}

HostSettings::TlsFiles HostSettings::Tls()
{
    if (g_overrideTls)
        return *g_overrideTls;
    QSettings s;
    return {s.value(QStringLiteral("tls/ca")).toString(), s.value(QStringLiteral("tls/cert")).toString(),
            s.value(QStringLiteral("tls/key")).toString()};
}

void HostSettings::SetStoredTls(const TlsFiles& files)
{
    QSettings s;
    s.setValue(QStringLiteral("tls/ca"), files.ca);
    s.setValue(QStringLiteral("tls/cert"), files.cert);
    s.setValue(QStringLiteral("tls/key"), files.key);
    g_overrideTls.reset();
    ApplyTls();
}

void HostSettings::SetTlsOverride(const TlsFiles& files)
{
    g_overrideTls = files;
    ApplyTls();
}

QString HostSettings::CheckTls(const TlsFiles& files)
{
    if (files.cert.isEmpty() != files.key.isEmpty())
        return QStringLiteral("Informe o certificado do cliente e a sua chave juntos.");
    if (!files.cert.isEmpty() && files.ca.isEmpty())
        return QStringLiteral("O certificado do cliente só vale com TLS: informe também a autoridade certificadora do servidor.");
    const std::pair<QString, QString> checks[] = {
        {files.ca, QStringLiteral("o certificado da autoridade certificadora")},
        {files.cert, QStringLiteral("o certificado do cliente")},
        {files.key, QStringLiteral("a chave do certificado do cliente")},
    };
    for (const auto& [path, what] : checks) {
        if (path.isEmpty())
            continue;
        const QString why = unusable(path, what);
        if (!why.isEmpty())
            return why;
    }
    return {};
}

void HostSettings::ApplyTls()
{
    const TlsFiles files = Tls();
    TRemoteCallClient::SetTlsCaFile(files.ca);
    TRemoteCallClient::SetTlsClientCertificate(files.cert, files.key);
}

bool HostSettings::ParseAddress(const QString& text, QString* host, int* port)
{
    // A name or IPv4 address, or an IPv6 address in brackets (its colons would otherwise be taken for the
    // port's), then a port of digits only.
    static const QRegularExpression form(QStringLiteral(
        "^(?:([A-Za-z0-9](?:[A-Za-z0-9._-]*[A-Za-z0-9])?)|\\[([0-9A-Fa-f:.]*:[0-9A-Fa-f:.]*(?:%[A-Za-z0-9._-]+)?)\\])"
        ":([0-9]{1,5})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const int p = m.captured(3).toInt();
    if (p <= 0 || p > 65535)
        return false;
    *host = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    *port = p;
    return true;
}
