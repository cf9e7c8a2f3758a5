#include "sendsubscription.h"

#include "cockpitview.h"
#include "headlessrun.h"
#include "indicators.h"
#include "mailsender.h"
#include "refmonth.h"
#include "scorecard.h"
#include "subscription.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <optional>

namespace {

void say(const QString& text) { std::fprintf(stderr, "kpd-host: %s\n", qPrintable(text)); }

} // namespace

QString SubscriptionBody(const Subscription& subscription, const cockpit::RefMonth& closed, const cockpit::Scorecard& card)
{
    const QList<cockpit::RefMonth> months = subscription.monthsFor(closed);
    const cockpit::RefMonth& month = closed;
    QStringList lines;
    const QString of = subscription.company.isEmpty() ? QString() : QStringLiteral(" de ") + subscription.company;
    lines << QStringLiteral("Segue em anexo o caderno do conselho%1 de %2%3.")
                 .arg(of, month.title(),
                      months.size() > 1 ? QStringLiteral(" (de %1 a %2)").arg(months.first().title(), month.title())
                                        : QString());
    lines << QString();
    const cockpit::ScopeCard* company = card.find(cockpit::ScopeKind::Company, QLatin1String(cockpit::kCompanyCode));
    if (!company) {
        lines << QStringLiteral("Os números da empresa em %1 não estavam disponíveis; veja o caderno.").arg(month.title());
    } else {
        lines << QStringLiteral("A empresa em %1%2, frente às metas:")
                     .arg(month.title(), card.partial() ? QStringLiteral(" (parcial, até %1)")
                                                              .arg(card.partialUntil.toString(QStringLiteral("dd/MM")))
                                                        : QString());
        for (const cockpit::IndicatorInfo& i : cockpit::kIndicators) {
            const cockpit::Measure& m = (*company)[i.id];
            QString line = QStringLiteral("  %1: ").arg(QLatin1String(i.title));
            line += m.figure ? cockpit::FigureText(i.id, *m.figure) : QStringLiteral("sem valor");
            if (const QString target = cockpit::TargetText(i.id, m); !target.isEmpty())
                line += QStringLiteral(" (%1)").arg(target);
            if (const QString zone = cockpit::ZoneWord(m.zone); !zone.isEmpty())
                line += QStringLiteral(" — ") + zone;
            lines << line;
        }
    }
    lines << QString()
          << QStringLiteral("Mensagem automática do kpd-host, assinatura %1.").arg(subscription.path);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

int SendSubscription(ModuleLoader& module, const Subscription& subscription, const QDateTime& now, bool force,
                     cockpit::RefMonth closed)
{
    if (!closed.isValid())
        closed = Subscription::closedMonth(now);
    const QString key = closed.key();
    // One run at a time per subscription: a lock on its file, which the system lets go when a run ends
    // however it ends, so a crashed run never holds back the next.
    const int lock = ::open(QFile::encodeName(subscription.path).constData(), O_RDONLY | O_CLOEXEC);
    const auto unlock = qScopeGuard([lock] {
        if (lock >= 0)
            ::close(lock);
    });
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        std::printf("assinatura %s: outra execução está enviando este caderno; nada a fazer\n", qPrintable(subscription.path));
        return 0;
    }
    if (!force && !subscription.due(now, closed)) {
        std::printf("assinatura %s: nada a enviar agora (último caderno enviado: %s)\n", qPrintable(subscription.path),
                    subscription.lastSent().isEmpty() ? "nenhum" : qPrintable(subscription.lastSent()));
        return 0;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) {
        say(QStringLiteral("não foi possível criar uma pasta temporária para o caderno"));
        return 1;
    }
    const QString fileName = QStringLiteral("caderno-%1.pdf").arg(key);
    HeadlessOptions options;
    options.months = subscription.monthsFor(closed);
    options.pdf = dir.filePath(fileName);
    options.company = subscription.company;
    options.lightPdf = subscription.light;
    std::optional<cockpit::Scorecard> card;
    options.onMonth = [&](const cockpit::RefMonth& month, const cockpit::CockpitView& view) {
        if (month == closed)
            card = view.scorecard;
    };
    // A pack with a month that could not be fetched would tell the board less than it should: the next
    // run tries again.
    if (RunHeadless(module, options) != 0 || !card) {
        say(QStringLiteral("caderno de %1 não enviado: o painel não pôde ser montado com os números do servidor; "
                           "nova tentativa na próxima execução")
                .arg(key));
        return 1;
    }
    QFile pdf(options.pdf);
    if (!pdf.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("caderno de %1 não enviado: %2").arg(key, pdf.errorString()));
        return 1;
    }
    MailMessage message;
    message.to = subscription.recipients;
    message.subject = subscription.subject.isEmpty()
                          ? QStringLiteral("Caderno do conselho — %1%2")
                                .arg(closed.title(),
                                     subscription.company.isEmpty() ? QString() : QStringLiteral(" — ") + subscription.company)
                          : subscription.subject;
    message.body = SubscriptionBody(subscription, closed, *card);
    message.attachmentName = fileName;
    message.attachment = pdf.readAll();
    // Recorded before it goes: a run that cannot record it (a full disk) sends nothing, rather than send the
    // pack again at every run.
    const QString before = subscription.lastSent();
    QString error;
    if (!subscription.markSent(closed, &error)) {
        say(QStringLiteral("caderno de %1 não enviado: não foi possível registrar o envio (%2); nada foi enviado").arg(key, error));
        return 1;
    }
    const MailSender::Result sent = MailSender::send(subscription.relay, message, say);
    if (!sent.sent) {
        say(QStringLiteral("caderno de %1 não enviado: %2").arg(key, sent.error));
        if (!subscription.restoreSent(before, &error))
            say(QStringLiteral("caderno de %1 não enviado, e o registro diz que foi (%2): envie-o com --send-subscription %3 --now")
                    .arg(key, error, subscription.path));
        return 1;
    }
    std::printf("caderno de %s enviado a %s\n", qPrintable(key), qPrintable(subscription.recipients.join(QStringLiteral(", "))));
    return 0;
}
