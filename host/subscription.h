#pragma once

#include "refmonth.h"
#include "mailrelay.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

/// A subscription to the board pack by e-mail (docs/mail.md): who receives it, when, which months, and the
/// relay. What was sent is remembered beside the file (FILE.enviado), so a month's pack goes once.
struct Subscription {
    enum class Months { Closed, YearToDate, Last };

    QString path;
    QStringList recipients;
    int day = 1;                 ///< of the month; a month shorter than it sends on its last day
    QTime time{7, 0};
    Months months = Months::Closed;
    int lastCount = 1;           ///< with Months::Last: how many months up to the one just closed
    QString company;
    bool light = false;          ///< the pack's light theme, for a printer
    QString server;              ///< HOST:PORTA; empty: the host's settings or --server
    QString subject;             ///< empty: "Caderno do conselho — Nome/AAAA"
    QString state;               ///< where what was sent is recorded; empty: beside the file
    MailRelay relay;

    /// Reads path; false with *error in Portuguese naming the key.
    static bool load(const QString& path, Subscription* subscription, QString* error);

    /// The month just closed at `now`: the calendar month before it.
    static cockpit::RefMonth closedMonth(const QDateTime& now);
    /// The months of the pack for a closed month, in order.
    QList<cockpit::RefMonth> monthsFor(const cockpit::RefMonth& closed) const;
    /// Whether the pack of closed is due at now: this month's day and time have come, and it was not
    /// sent yet.
    bool due(const QDateTime& now, const cockpit::RefMonth& closed) const;

    /// The state file, and the closed month (AAAA-MM) last sent; empty when none.
    QString statePath() const { return state.isEmpty() ? path + QStringLiteral(".enviado") : state; }
    QString lastSent() const;
    /// Records that the pack of closed went (before it is sent); false with *error.
    bool markSent(const cockpit::RefMonth& closed, QString* error) const;
    /// Puts back what lastSent() said before markSent, for a pack that then could not be sent; false with
    /// *error.
    bool restoreSent(const QString& before, QString* error) const;
};
