#include "hostsettings.h"

#include <QRegularExpression>
#include <QSettings>

namespace {
QString g_overrideHost;
int g_overridePort = 0;
constexpr int kDefaultPort = 2113;
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
