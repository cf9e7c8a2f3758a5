#include "rdmindicresult.h"

#include "databasepool.h"

namespace appserver {

RdmIndicResult::RdmIndicResult(DatabasePool& pool, IndicResultQuery::Source source) : m_pool(pool), m_source(source) {}

CkpData RdmIndicResult::month(const QDate& date, const CallScope& scope) const
{
    const IndicResultQuery::Source source = m_source;
    return m_pool.run([date, source](Database& db) { return IndicResultQuery(db, source).run(date); }, scope);
}

} // namespace appserver
