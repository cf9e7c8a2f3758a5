#pragma once

#include "kpd.pb.h"
#include "monthfigures.h"

#include <QDate>

#include <memory>

namespace appserver {

class Database;

/// The packets of one getCkpData call, in argument order.
struct CkpData {
    cockpit::RefMonth month;               ///< the month asked for
    kpd::rpc::DataPacket indicadores;      ///< argument 2: TOTAL and one record per region
    kpd::rpc::DataPacket top10;            ///< argument 3
    kpd::rpc::DataPacket bottom10;         ///< argument 4
    kpd::rpc::DataPacket grafPizza;        ///< argument 5
    kpd::rpc::DataPacket quinto;           ///< argument 6: the month's targets (Metas)
    kpd::rpc::DataPacket sexto;            ///< argument 7: the month before and a year before (Comparacoes)
    kpd::rpc::DataPacket diasEstoque;      ///< argument 8
    /// The figures the packets were encoded from, where this process worked them out (an answer read back
    /// from the kept answers has none): its other forms are made from them without decoding the packets.
    std::shared_ptr<const cockpit::MonthFigures> figures;
};

/// The month's results of the cockpit: reads one month of daily figures, that month's closing stock
/// and the latest data load, as the month's figures (and, through the one codec, the reply's packets).
///
/// Rounding: revenue in millions with 2 decimals, percentages and days of stock with 1 decimal, half
/// away from zero. A revenue below half a cent counts as none: its percentages are empty. Branches
/// without revenue have no result percentage and take no place in the best/worst lists.
class IndicResultQuery {
public:
    /// Where a month's branch sums come from: the monthly summary, or summed from the daily rows
    /// (a database without the summary, and the reference the summary is measured against).
    enum class Source { MonthlySummary, DailyRows };

    /// targets: whether meta_mensal is there to read (a database from before it has none).
    explicit IndicResultQuery(Database& db, Source source = Source::MonthlySummary, bool targets = true)
        : m_db(db), m_source(source), m_targets(targets)
    {
    }

    /// The month's figures. Throws DatabaseError.
    cockpit::MonthFigures figures(const cockpit::RefMonth& month);
    /// The same month in the reply's packets. Throws DatabaseError.
    CkpData run(const cockpit::RefMonth& month);

private:
    Database& m_db;
    Source m_source;
    bool m_targets;
};

} // namespace appserver
