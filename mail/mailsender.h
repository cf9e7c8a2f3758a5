#pragma once

#include "mailmessage.h"
#include "mailrelay.h"

#include <QString>

#include <functional>

/// Sends messages through a relay with libcurl's SMTP. Thread-safe: every send has its own handle.
class MailSender {
public:
    struct Result {
        bool sent = false;
        bool retryable = false;   ///< the relay was away or answered "try later": another attempt may go
        QString error;            ///< in Portuguese; empty when sent
    };

    /// One attempt. STARTTLS is required (the relay must offer it) unless the relay is on loopback. stop,
    /// when it answers true, ends the attempt early.
    static Result sendOnce(const MailRelay& relay, const MailMessage& message, const std::function<bool()>& stop = {});

    /// Attempts until sent, a refusal that another attempt would not change, or relay.retryFor has gone
    /// by, waiting relay.firstRetry, then twice as long each time (up to a minute). log hears of every
    /// failed attempt; stop, when it answers true, ends the waiting (a server stopping).
    static Result send(const MailRelay& relay, const MailMessage& message,
                       const std::function<void(const QString&)>& log = {},
                       const std::function<bool()>& stop = {});

    /// A header's text as it goes out: itself when plain ASCII, else RFC 2047 words of UTF-8.
    static QByteArray encodedHeader(const QString& text);
};
