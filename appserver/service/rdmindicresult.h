#pragma once

#include "ckppackets.h"
#include "indicresultquery.h"
#include "remotedatamodule.h"

namespace appserver {

class DatabasePool;

/// "KPD00100.rdmIndicResult": the results cockpit's data module.
///
/// getCkpData(date, 7 × out): argument 1 is the reference date (a date-time, or a plain double of the
/// same meaning) and comes back as the first day of its month; arguments 2, 3, 4, 5 and 8 come back
/// as the indicators, best 10, worst 10, pie and days-of-stock packets, 6 and 7 as empty packets.
/// The result is the integer 0, or a Portuguese message when the database failed (also when the
/// connection to a database server was lost: the next call opens a new one).
class RdmIndicResult : public RemoteDataModule {
public:
    static constexpr const char* kRegisteredName = "KPD00100.rdmIndicResult";
    static constexpr int kCkpDataArgs = CkpPackets::kArgCount;

    explicit RdmIndicResult(DatabasePool& pool,
                            IndicResultQuery::Source source = IndicResultQuery::Source::MonthlySummary);

private:
    grpc::Status getCkpData(Invocation& call);

    DatabasePool& m_pool;
    IndicResultQuery::Source m_source;
};

} // namespace appserver
