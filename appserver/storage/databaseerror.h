#pragma once

#include <QString>

#include <stdexcept>

namespace appserver {

/// A failure of the database layer, with a Portuguese message fit for the user.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const QString& message, bool connectionLost = false, bool busy = false)
        : std::runtime_error(message.toStdString()), m_message(message), m_connectionLost(connectionLost), m_busy(busy) {}
    const QString& message() const { return m_message; }
    /// The connection to a database server broke (server stopped or restarted, network cut): the
    /// layer opens a new one on the next use.
    bool connectionLost() const { return m_connectionLost; }
    /// Another connection held the lock longer than the wait allowed (SQLite: another writer).
    bool busy() const { return m_busy; }

private:
    QString m_message;
    bool m_connectionLost;
    bool m_busy;
};

} // namespace appserver
