#pragma once

#include <QString>

#include <stdexcept>

namespace appserver {

/// A failure of the database layer, with a Portuguese message fit for the user.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const QString& message, bool connectionLost = false)
        : std::runtime_error(message.toStdString()), m_message(message), m_connectionLost(connectionLost) {}
    const QString& message() const { return m_message; }
    /// The connection to a database server broke (server stopped or restarted, network cut): the
    /// layer opens a new one on the next use.
    bool connectionLost() const { return m_connectionLost; }

private:
    QString m_message;
    bool m_connectionLost;
};

} // namespace appserver
