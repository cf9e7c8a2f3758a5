#pragma once

#include "database.h"
#include "databasepool.h"

#include <memory>

namespace appserver {

class KeptAnswers;
class Metrics;
class RdmIndicResult;
struct ServerOptions;

/// What the server serves from: the database of --db, read where the monthly summary allows, the pool
/// of connections the calls share, the answers kept by data version, and the cockpit on them. Made
/// before the faces and gone after them. Throws DatabaseError when the database cannot be served.
class CockpitDatabase {
public:
    explicit CockpitDatabase(const ServerOptions& options);
    ~CockpitDatabase();
    CockpitDatabase(const CockpitDatabase&) = delete;
    CockpitDatabase& operator=(const CockpitDatabase&) = delete;

    /// The settings the pool connects with (read-only, with the statement timeout).
    const DatabaseSettings& settings() const { return m_settings; }
    const DatabasePool& pool() const { return *m_pool; }
    const RdmIndicResult& cockpit() const { return *m_cockpit; }
    /// The pool's load and the kept answers' counts on /metrics.
    void count(Metrics& metrics) const;

private:
    DatabaseSettings m_settings;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<DatabasePool> m_pool;
    std::unique_ptr<KeptAnswers> m_kept;
    std::unique_ptr<const RdmIndicResult> m_cockpit;
};

} // namespace appserver
