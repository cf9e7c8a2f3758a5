#pragma once

#include "database.h"

#include <QString>

#include <optional>

namespace appserver {

/// The --db argument: a PostgreSQL connection URI (postgresql://USER@HOST:PORT/DBNAME?key=value, the
/// libpq form) or else the path of an SQLite file.
///
/// libpq reads the URI (PQconninfoParse): its parameters are libpq's connection keywords (sslmode,
/// connect_timeout, host for a socket folder, ...), and one it does not know is refused by name. A
/// password is refused: it would show in the process list; libpq takes it from
/// PGPASSWORD or ~/.pgpass. Without connect_timeout a connection attempt gives up after 10 seconds, so
/// an unreachable server fails a call instead of holding it.
class DatabaseUri {
public:
    static bool isPostgres(const QString& argument);
    /// The settings for argument, or nothing with a Portuguese message in error.
    static std::optional<DatabaseSettings> parse(const QString& argument, QString& error);
};

} // namespace appserver
