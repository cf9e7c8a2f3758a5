#pragma once

#include <QString>

#include <stdexcept>

namespace appserver {

/// A failure of the database layer. Its message says what failed in the terms of whoever runs the server
/// (the file, the driver's text), for the log and the operator's terminal; a client is told
/// userMessage(), in words a manager can act on.
class DatabaseError : public std::runtime_error {
public:
    /// What a manager can do about a failure; None when the message itself is already for them.
    enum class Kind {
        None,
        Damaged,       ///< the database file is not a database, or its pages are broken
        DiskFull,      ///< no room left to write
        Unavailable,   ///< the database cannot be opened or reached, or the link to it broke
        Busy,          ///< another writer held the lock longer than the wait allowed
        Failed,        ///< a statement failed for a reason only the technical text explains
    };

    explicit DatabaseError(const QString& message, bool connectionLost = false, bool busy = false, Kind kind = Kind::None)
        : std::runtime_error(message.toStdString()), m_message(message), m_connectionLost(connectionLost), m_busy(busy),
          m_kind(busy && kind == Kind::None ? Kind::Busy : kind) {}
    const QString& message() const { return m_message; }
    Kind kind() const { return m_kind; }
    /// The failure as a client shows it: the message itself for None, else the kind's words.
    QString userMessage() const
    {
        switch (m_kind) {
        case Kind::None: break;
        case Kind::Damaged: return QStringLiteral("O banco de dados do servidor está danificado; avise o suporte.");
        case Kind::DiskFull: return QStringLiteral("O disco do banco de dados do servidor está cheio; avise o suporte.");
        case Kind::Unavailable:
            return QStringLiteral("O servidor não consegue acessar o banco de dados agora; tente de novo em alguns "
                                  "minutos e, se continuar, avise o suporte.");
        case Kind::Busy:
            return QStringLiteral("O banco de dados está ocupado com uma carga de dados; tente de novo em alguns minutos.");
        case Kind::Failed:
            return QStringLiteral("O servidor não conseguiu ler os números do banco de dados; avise o suporte.");
        }
        return m_message;
    }
    /// The connection to a database server broke (server stopped or restarted, network cut): the
    /// layer opens a new one on the next use.
    bool connectionLost() const { return m_connectionLost; }
    /// Another connection held the lock longer than the wait allowed (SQLite: another writer).
    bool busy() const { return m_busy; }

private:
    QString m_message;
    bool m_connectionLost;
    bool m_busy;
    Kind m_kind;
};

} // namespace appserver
