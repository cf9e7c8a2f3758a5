#include "hostconnection.h"

#include "hostcommandline.h"
#include "hostfunctions.h"
#include "hostsettings.h"
#include "remotecallclient.h"
#include "subscription.h"

#include <QLocale>

#include <cmath>
#include <cstdio>

std::optional<int> HostConnection::Apply(const HostCommandLine& cmd, const Subscription& subscription)
{
    if (!subscription.server.isEmpty() && !cmd.IsSet(cmd.server)) {
        QString host;
        int port = 0;
        if (!HostSettings::ParseAddress(subscription.server, &host, &port))
            return cmd.Refuse(QStringLiteral("endereço inválido em servidor da assinatura: %1")
                              .arg(cmd.Shown(subscription.server)));
        HostSettings::SetOverride(host, port);
    }
    if (cmd.IsSet(cmd.server)) {
        QString host;
        int port = 0;
        if (!HostSettings::ParseAddress(cmd.Value(cmd.server), &host, &port))
            return cmd.Refuse(QStringLiteral("endereço inválido em --server: %1 (use HOST:PORTA ou [IPv6]:PORTA)")
                              .arg(cmd.Shown(cmd.Value(cmd.server))));
        HostSettings::SetOverride(host, port);
    }
    if (cmd.IsSet(cmd.timeout)) {
        bool ok = false;
        const double seconds = QLocale::c().toDouble(cmd.Value(cmd.timeout), &ok);
        // "nan" and "inf" convert: a comparison alone would let NaN through.
        if (!ok || !std::isfinite(seconds) || seconds < 1 || seconds > 3600)
            return cmd.Refuse(QStringLiteral("prazo inválido em --timeout: %1 (segundos, de 1 a 3600)")
                              .arg(cmd.Shown(cmd.Value(cmd.timeout))));
        TRemoteCallClient::SetDefaultCallTimeoutMs(static_cast<int>(seconds * 1000));
    }
    if (cmd.IsSet(cmd.tlsCa) || cmd.IsSet(cmd.tlsCert) || cmd.IsSet(cmd.tlsKey)) {
        const HostSettings::TlsFiles tls{cmd.Value(cmd.tlsCa), cmd.Value(cmd.tlsCert), cmd.Value(cmd.tlsKey)};
        const QString why = tls.ca.isEmpty() && tls.cert.isEmpty() && tls.key.isEmpty()
                                ? QStringLiteral("Informe o arquivo em --tls-ca.")
                                : HostSettings::CheckTls(tls);
        if (!why.isEmpty()) {
            std::fprintf(stderr, "kpd-host: %s\n", qPrintable(why));
            return 2;
        }
        HostSettings::SetTlsOverride(tls);
    } else {
        HostSettings::ApplyTls();
    }
    // The module asks for the address at every connect, so a change in the settings dialog is used next time.
    SetServerAddressProvider([] { return HostSettings::Host(); }, [] { return HostSettings::Port(); });
    return std::nullopt;
}
