#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

class QSettings;

/// How to reach the company's SMTP relay, read from the [relay] group of a settings file (docs/mail.md).
/// The password is read from a file of its own (never from the command line or the settings file itself).
struct MailRelay {
    QString url;            ///< smtp://host:port (STARTTLS) or smtps://host:port (TLS from the start)
    QString from;           ///< the sender's address
    QString user;           ///< empty: no authentication
    QString passwordFile;   ///< the password on its first line
    QString caFile;         ///< a certificate authority of the relay's certificate; empty: the system's
    std::chrono::seconds timeout{30};   ///< for one attempt, connection and transfer
    std::chrono::seconds retryFor{600}; ///< how long a message that could not go is tried again
    std::chrono::seconds firstRetry{2}; ///< the first wait between attempts; doubled each time, up to a minute

    /// Whether the relay is on this machine: only there may the connection stay without TLS.
    bool loopback() const;
    /// The password from passwordFile; false with *error in Portuguese (missing, unreadable, readable by
    /// everyone).
    bool readPassword(QByteArray* password, QString* error) const;

    /// Reads group "relay" of settings, or of the file its key "arquivo" names (relative paths from the
    /// file's folder). False with *error in Portuguese naming the key.
    static bool load(QSettings& settings, MailRelay* relay, QString* error);
};
