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

RegionData RdmIndicResult::region(const QDate& date, const QString& region, const CallScope& scope) const
{
    const IndicResultQuery::Source source = m_source;
    return m_pool.run([date, region, source](Database& db) { return RegionQuery(db, source).run(date, region); }, scope);
}

} // namespace appserver
