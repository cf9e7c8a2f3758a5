#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Base of the exceptions the host's event boundary knows how to report.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& Message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Ends the running event handler quietly: whoever raised it has already told the user.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operação abandonada")) {}
    // `shown`: the text the user was told, for a caller that must say it again elsewhere.
    explicit EAbort(QString shown) : EAbort() { m_shown = std::move(shown); }
    const QString& Shown() const { return m_shown; }

private:
    QString m_shown;
};

// A failure of a dataset operation (bad filter, missing field, malformed packet).
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// A failure to reach or talk to the application server.
class ERemoteError : public Exception {
public:
    using Exception::Exception;
};
