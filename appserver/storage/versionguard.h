#pragma once

#include "database.h"
#include "dataversion.h"

#include <atomic>
#include <mutex>
#include <optional>

namespace appserver {

/// Whether the data version read by a call can be trusted: every followed table still has its triggers.
/// An ETL that swaps a table in (CREATE new, fill, DROP old, RENAME new) leaves one without them, and
/// every later write of it unseen. On PostgreSQL the version's own read says so; on SQLite the schema
/// cookie read with it changes, and the triggers are checked again then (once per cookie).
///
/// Where they are missing the triggers are made again, once per shape of the tables, through a connection
/// that may write (which also empties the kept answers and draws a new version); where that is refused
/// (a reading role, a read-only file) nothing is kept until they are back, and the log says what to run.
class VersionGuard {
public:
    /// settings: the server's own; the repair opens a connection of them that may write.
    explicit VersionGuard(DatabaseSettings settings);

    /// v as read through db (the caller's connection); sound only when nothing was found missing.
    DataVersion::Value vet(Database& db, DataVersion::Value v);

    /// The last verdict: 1 sound, 0 not (/metrics).
    bool sound() const { return m_sound.load(); }
    /// Times the triggers were made again.
    quint64 repairs() const { return m_repairs.load(); }

private:
    void repair(Database& db);

    const DatabaseSettings m_settings;
    std::mutex m_mutex;
    std::atomic<qint64> m_soundShape{-1};   // SQLite: a cookie found sound, read without the lock by every call
    std::optional<qint64> m_checkedShape;   // SQLite: the cookie last checked, and its verdict
    bool m_checkedSound = false;
    std::optional<qint64> m_triedShape;     // the shape last repaired or reported
    std::atomic<bool> m_sound{true};
    std::atomic<quint64> m_repairs{0};
};

} // namespace appserver
