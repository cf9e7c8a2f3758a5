#pragma once

#include "callscope.h"
#include "ckppackets.h"
#include "indicresultquery.h"
#include "regionquery.h"

#include <QDate>

namespace appserver {

class DatabasePool;

/// "KPD00100.rdmIndicResult": the results cockpit's data module, as plain C++. The gRPC face calls
/// month() for getCkpData, the HTTP face for /api/cockpit; each gives it the scope of its own call.
class RdmIndicResult {
public:
    static constexpr const char* kRegisteredName = CkpPackets::kServerName;

    /// targets: whether the database has the company's targets (meta_mensal) to read.
    explicit RdmIndicResult(DatabasePool& pool,
                            IndicResultQuery::Source source = IndicResultQuery::Source::MonthlySummary,
                            bool targets = true);

    /// The cockpit's packets of the month that holds date, computed on a pooled connection within the
    /// call's scope. Throws DatabaseError (a Portuguese message for the user; also when the connection to
    /// a database server was lost: the next call opens a new one) and CallEnded when the call ended, or
    /// found no place in the queue, before the database answered.
    CkpData month(const QDate& date, const CallScope& scope) const;
    /// One region's branches for the month, within the call's scope; throws as month() does, and
    /// DatabaseError for a region the database does not have.
    RegionData region(const QDate& date, const QString& region, const CallScope& scope) const;

private:
    DatabasePool& m_pool;
    IndicResultQuery::Source m_source;
    bool m_targets;
};

} // namespace appserver
