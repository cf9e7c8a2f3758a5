#include "hostsettings.h"

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
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString h = text.left(colon).trimmed();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    bool ok = false;
    const int p = text.mid(colon + 1).toInt(&ok);
    if (h.isEmpty() || !ok || p <= 0 || p > 65535)
        return false;
    *host = h;
    *port = p;
    return true;
}
