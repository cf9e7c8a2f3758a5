#pragma once

#include <QString>

#include <stdexcept>

namespace appserver {

/// A failure of the database layer, with a Portuguese message fit for the user.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

} // namespace appserver
