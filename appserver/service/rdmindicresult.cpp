#include "rdmindicresult.h"

#include "databasepool.h"

namespace appserver {

RdmIndicResult::RdmIndicResult(DatabasePool& pool, IndicResultQuery::Source source, bool targets)
    : m_pool(pool), m_source(source), m_targets(targets)
{
}

CkpData RdmIndicResult::month(const QDate& date, const CallScope& scope) const
{
    const IndicResultQuery::Source source = m_source;
    const bool targets = m_targets;
    return m_pool.run([date, source, targets](Database& db) { return IndicResultQuery(db, source, targets).run(date); },
                      scope);
}

} // namespace appserver
