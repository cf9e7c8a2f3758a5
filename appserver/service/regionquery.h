#pragma once

#include "databaseerror.h"
#include "indicresultquery.h"

#include <QDate>
#include <QString>

namespace appserver {

/// The packets of one getRegionData call.
struct RegionData {
    cockpit::RefMonth month;           ///< the month asked for
    QString region;                    ///< the region's code as the database has it
    kpd::rpc::DataPacket regionRow;    ///< the region's own row, in the indicators' layout
    kpd::rpc::DataPacket branches;     ///< its branches, ranked by result (RegionPackets::Filiais)
    kpd::rpc::DataPacket metas;        ///< the company's, the region's and its branches' targets (CkpPackets::Metas)
    /// The figures the packets were encoded from, where this process worked them out.
    std::shared_ptr<const cockpit::RegionFigures> figures;
};

/// The region asked for is not in the database: a request for something that is not there, not a failure.
class RegionNotFound : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

/// One region's month: its branches with the five figures and days of stock, ranked by result (ties by
/// branch code; branches whose revenue is zero or negative, which have no result share, after the others
/// by code), and the region's own row as the cockpit shows it. Rounding as IndicResultQuery's.
class RegionQuery {
public:
    explicit RegionQuery(Database& db, IndicResultQuery::Source source = IndicResultQuery::Source::MonthlySummary,
                         bool targets = true)
        : m_db(db), m_source(source), m_targets(targets)
    {
    }

    /// The region's figures of the month. Throws DatabaseError, and RegionNotFound (with a
    /// message for the user) for a region the database does not have.
    cockpit::RegionFigures figures(const cockpit::RefMonth& month, const QString& region);
    /// The same in the reply's packets.
    RegionData run(const cockpit::RefMonth& month, const QString& region);

private:
    Database& m_db;
    IndicResultQuery::Source m_source;
    bool m_targets;
};

} // namespace appserver
