#pragma once

#include <QString>

namespace appserver {

struct DatabaseSettings;

/// Whether the database can answer a month now, asked the way a health check must: on a fresh connection
/// (a pooled one could outlive a database file that was taken away), with the rule serving starts on
/// (Schema::verify for reading: tables or views alike) and a row of each table. An SQLite file that any
/// connection of the process found damaged counts as broken until it is replaced or written again.
class HealthProbe {
public:
    /// Empty when the database answers; else why not, whole (names and paths included, for the log).
    /// damaged: whether the reason is a damaged SQLite file rather than a database out of reach.
    static QString problem(const DatabaseSettings& settings, bool* damaged);
};

} // namespace appserver
