#include "subscription.h"

#include "outputfile.h"
#include "refmonth.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>

bool Subscription::load(const QString& path, Subscription* out, QString* error)
{
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("não foi possível ler a assinatura \"%1\": %2")
                     .arg(path, probe.exists() ? QStringLiteral("sem permissão de leitura") : QStringLiteral("o arquivo não existe"));
        return false;
    }
    probe.close();
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        *error = QStringLiteral("a assinatura \"%1\" não é um arquivo INI válido").arg(path);
        return false;
    }
    Subscription s;
    s.path = path;
    const auto fail = [&](const QString& why) {
        *error = QStringLiteral("assinatura %1: %2").arg(path, why);
        return false;
    };
    settings.beginGroup(QStringLiteral("assinatura"));
    // QSettings splits a value at commas into a list: both forms are one list of addresses here.
    const QVariant to = settings.value(QStringLiteral("destinatarios"));
    const QString toText = to.typeId() == QMetaType::QStringList ? to.toStringList().join(QLatin1Char(' ')) : to.toString();
    s.recipients = toText.split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
    for (const QString& r : s.recipients)
        if (!QRegularExpression(QStringLiteral("^[^@\\s<>]+@[^@\\s<>]+$")).match(r).hasMatch())
            return fail(QStringLiteral("destinatário inválido \"%1\"").arg(r));
    if (s.recipients.isEmpty())
        return fail(QStringLiteral("falta destinatarios"));
    bool ok = false;
    s.day = settings.value(QStringLiteral("dia"), 1).toString().toInt(&ok);
    if (!ok || s.day < 1 || s.day > 31)
        return fail(QStringLiteral("dia inválido \"%1\" (de 1 a 31)").arg(settings.value(QStringLiteral("dia")).toString()));
    const QString time = settings.value(QStringLiteral("hora"), QStringLiteral("07:00")).toString();
    s.time = QTime::fromString(time, QStringLiteral("HH:mm"));
    if (!s.time.isValid())
        return fail(QStringLiteral("hora inválida \"%1\" (HH:MM)").arg(time));
    const QString months = settings.value(QStringLiteral("meses"), QStringLiteral("mes")).toString().trimmed();
    if (months == QLatin1String("mes")) {
        s.months = Months::Closed;
    } else if (months == QLatin1String("ano")) {
        s.months = Months::YearToDate;
    } else {
        s.months = Months::Last;
        s.lastCount = months.toInt(&ok);
        if (!ok || s.lastCount < 1 || s.lastCount > 24)
            return fail(QStringLiteral("meses inválido \"%1\" (mes, ano, ou de 1 a 24 meses)").arg(months));
    }
    s.company = settings.value(QStringLiteral("empresa")).toString();
    const QString theme = settings.value(QStringLiteral("tema"), QStringLiteral("escuro")).toString();
    if (theme != QLatin1String("claro") && theme != QLatin1String("escuro"))
        return fail(QStringLiteral("tema inválido \"%1\" (claro ou escuro)").arg(theme));
    s.light = theme == QLatin1String("claro");
    s.server = settings.value(QStringLiteral("servidor")).toString().trimmed();
    s.subject = settings.value(QStringLiteral("assunto")).toString();
    s.state = settings.value(QStringLiteral("estado")).toString();
    settings.endGroup();
    QString why;
    if (!MailRelay::load(settings, &s.relay, &why))
        return fail(why);
    *out = s;
    return true;
}

cockpit::RefMonth Subscription::closedMonth(const QDateTime& now)
{
    return cockpit::RefMonth(now.date()).previous();
}

QList<cockpit::RefMonth> Subscription::monthsFor(const cockpit::RefMonth& closed) const
{
    cockpit::RefMonth first = closed;
    if (months == Months::YearToDate)
        first = cockpit::RefMonth(closed.firstDay().year(), 1);
    else if (months == Months::Last)
        first = cockpit::RefMonth(closed.firstDay().addMonths(1 - lastCount));
    QList<cockpit::RefMonth> list;
    for (cockpit::RefMonth m = first; !(closed < m); m = m.next())
        list << m;
    return list;
}

bool Subscription::due(const QDateTime& now, const cockpit::RefMonth& closed) const
{
    const QDate today = now.date();
    const int sendDay = std::min(day, today.daysInMonth());
    const QDateTime when(QDate(today.year(), today.month(), sendDay), time, now.timeSpec());
    return now >= when && lastSent() != closed.key();
}

QString Subscription::lastSent() const
{
    QFile file(statePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine(256)).section(QLatin1Char(' '), 0, 0).trimmed();   // a line of our own
}

bool Subscription::restoreSent(const QString& before, QString* error) const
{
    if (before.isEmpty()) {
        QFile state(statePath());
        if (!state.exists() || state.remove())
            return true;
        *error = state.errorString();
        return false;
    }
    return WriteOutputFile(statePath(), before.toUtf8() + ' ' + QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\n',
                           error);
}

bool Subscription::markSent(const cockpit::RefMonth& closed, QString* error) const
{
    const QByteArray line = closed.key().toUtf8() + ' '
                            + QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\n';
    return WriteOutputFile(statePath(), line, error);
}
