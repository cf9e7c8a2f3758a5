#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>

// What the wire refuses: a value it cannot carry or a reply it cannot trust. The message is Portuguese and
// complete, meant for the user as it is: whoever reports it passes it on word for word.
class WireError : public std::runtime_error {
public:
    explicit WireError(const QString& message)
        : std::runtime_error(message.toUtf8().toStdString()), m_message(message)
    {
    }
    const QString& Message() const { return m_message; }

private:
    QString m_message;
};
