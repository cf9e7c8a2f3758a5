#include "subscriptionstart.h"

#include "headlessrun.h"
#include "hostcommandline.h"
#include "sendsubscription.h"

#include <QApplication>
#include <QDateTime>
#include <QSettings>

std::optional<int> SubscriptionStart::Load(const HostCommandLine& cmd)
{
    if (cmd.IsSet(cmd.subscription)) {
        QString error;
        if (!Subscription::load(cmd.Value(cmd.subscription), &m_subscription, &error))
            return cmd.Refuse(error);
        if (m_subscription.company.isEmpty())
            m_subscription.company = QSettings().value(QStringLiteral("empresa")).toString();
        for (const QCommandLineOption& other :
             {cmd.snapshot, cmd.json, cmd.csv, cmd.pdf, cmd.company, cmd.pdfTheme, cmd.kiosk, cmd.launch})
            if (cmd.IsSet(other))
                return cmd.Refuse(QStringLiteral("--%1 não se aplica a --send-subscription (a assinatura diz o que enviar)")
                                  .arg(other.names().constFirst()));
    } else if (cmd.IsSet(cmd.now)) {
        return cmd.Refuse(QStringLiteral("--now só se aplica a --send-subscription"));
    }
    return std::nullopt;
}

int SubscriptionStart::Send(ModuleLoader& module, const HostCommandLine& cmd) const
{
    cockpit::RefMonth closed;
    if (cmd.IsSet(cmd.month)) {
        QList<cockpit::RefMonth> months;
        QString error;
        if (!ParseMonths(cmd.Values(cmd.month), &months, &error) || months.size() != 1)
            return cmd.Refuse(QStringLiteral("com --send-subscription, --month é um só mês AAAA-MM"));
        closed = months.first();
    }
    QApplication::setQuitOnLastWindowClosed(false);
    return SendSubscription(module, m_subscription, QDateTime::currentDateTime(), cmd.IsSet(cmd.now), closed);
}
