#pragma once

#include "database.h"
#include "dataversion.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <vector>

struct pg_conn;

namespace appserver {

/// A database server's data version, read on the caller's own thread. Every call reads it before it may
/// be handed a kept answer; through the pool that read would cost two thread switches on top of the
/// database's round trip. A few libpq connections of their own (which any thread may use, one at a time)
/// read it instead.
///
/// read() gives nothing when every connection is busy, the database did not answer in time or the read
/// failed: the caller then reads the version through the pool, which has the call's deadline,
/// cancellation and error messages. A connection that failed is closed and opened again at most once a
/// second; the first failure is written to the log.
class VersionReaders {
public:
    static constexpr int kConnections = 2;

    explicit VersionReaders(DatabaseSettings settings, int connections = kConnections);
    ~VersionReaders();
    VersionReaders(const VersionReaders&) = delete;
    VersionReaders& operator=(const VersionReaders&) = delete;

    /// The version now, waiting for the database until deadline at most (and never more than a second).
    std::optional<DataVersion::Value> read(std::chrono::steady_clock::time_point deadline);

    /// libpq's connection string for settings, as Qt's PostgreSQL driver makes it.
    static QByteArray connectionString(const DatabaseSettings& settings);

private:
    pg_conn* take();
    void give(pg_conn* conn, bool sound);
    pg_conn* open();
    void sayOnce(pg_conn* conn);

    const QByteArray m_conninfo;
    const int m_max;
    std::mutex m_mutex;
    std::vector<pg_conn*> m_free;
    int m_open = 0;
    std::chrono::steady_clock::time_point m_retryAt{};
    bool m_off = false;   // the database has no version to read this way
    std::atomic<bool> m_said{false};
};

} // namespace appserver
