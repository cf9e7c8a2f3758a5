#pragma once

#include "callscope.h"
#include "ckppackets.h"
#include "dataversion.h"
#include "indicresultquery.h"
#include "refmonth.h"
#include "regionquery.h"

#include <QDate>

#include <functional>
#include <memory>
#include <optional>
#include <mutex>
#include <string>

namespace cockpit {
struct CockpitPackets;
struct RegionReply;
struct MonthFigures;
struct RegionFigures;
}

namespace appserver {

class DatabasePool;
class KeptAnswers;
class VersionGuard;
class VersionReaders;

/// "KPD00100.rdmIndicResult": the results cockpit's data module, as plain C++. The gRPC face calls
/// month() for getCkpData, the HTTP face monthJson() for /api/cockpit; each gives it the scope of its own
/// call.
///
/// With kept answers a call reads the data version first (one row) and is handed the answer kept at that
/// version when there is one; otherwise the answer is computed, kept and returned.
class RdmIndicResult {
public:
    static constexpr const char* kRegisteredName = CkpPackets::kServerName;

    /// targets: whether the database has the company's targets (meta_mensal) to read. kept: where answers
    /// are kept (none: every call computes its answer).
    explicit RdmIndicResult(DatabasePool& pool,
                            IndicResultQuery::Source source = IndicResultQuery::Source::MonthlySummary,
                            bool targets = true, KeptAnswers* kept = nullptr);
    ~RdmIndicResult();

    /// The cockpit's packets of the month that holds date, on a pooled connection within the call's scope.
    /// Throws DatabaseError (a Portuguese message for the user; also when the connection to a database
    /// server was lost: the next call opens a new one) and CallEnded when the call ended, or found no place
    /// in the queue, before the database answered.
    CkpData month(const cockpit::RefMonth& month, const CallScope& scope) const;
    /// The same month as the browser's JSON. Throws as month() does. tag, when given, is set to the data
    /// version the answer is of (read before the answer, so the answer is never older), as text for an HTTP
    /// validator; left empty where no version is kept (every call computes its answer).
    std::shared_ptr<const std::string> monthJson(const cockpit::RefMonth& month, const CallScope& scope, QString* tag = nullptr) const;
    /// One region's branches for the month, within the call's scope; throws as month() does, and
    /// DatabaseError for a region the database does not have.
    RegionData region(const cockpit::RefMonth& month, const QString& region, const CallScope& scope) const;
    /// The same region as the browser's JSON.
    std::shared_ptr<const std::string> regionJson(const cockpit::RefMonth& month, const QString& region, const CallScope& scope,
                                                  QString* tag = nullptr) const;

    /// The whole getCkpData reply of the month (its arguments as they come back and the result 0),
    /// serialized: every argument is one the method sets, so the reply depends on the month alone.
    std::shared_ptr<const std::string> monthReply(const cockpit::RefMonth& month, const CallScope& scope) const;
    /// The same for getRegionData.
    std::shared_ptr<const std::string> regionReply(const cockpit::RefMonth& month, const QString& region, const CallScope& scope) const;

    /// After an import, so that the first call after a load finds them: works out on db the months the load
    /// wrote and those whose year of history holds them (the twelve after, as far as the database has
    /// figures), and writes their answers into the kept answers' table at the version db has now. Returns how
    /// many.
    /// Throws DatabaseError.
    static int keepMonths(Database& db, const QList<cockpit::RefMonth>& written, bool targets);

    /// The months whose verdicts a change of the figures may have moved: the latest with figures, and those
    /// an import worked out at version (kept in the table at it). Throws DatabaseError.
    static QList<cockpit::RefMonth> monthsToWatch(Database& db, const DataVersion::Value& version);

    /// Whether the data version was sound at the last call (every table with its triggers): /metrics.
    bool versionSound() const;

private:
    using MonthForm = std::function<std::string(const CkpData&)>;
    using RegionForm = std::function<std::string(const RegionData&)>;
    // The month in a face's own form (the browser's JSON, a reply's bytes): made by form from the month's
    // packets once per data version and kept under formName, so that a call on a kept answer only hands
    // it out. Throws as month() does.
    std::shared_ptr<const std::string> monthAs(const char* formName, const MonthForm& form, const cockpit::RefMonth& month,
                                               const CallScope& scope, QString* tag = nullptr) const;
    // The same for a region's branches.
    std::shared_ptr<const std::string> regionAs(const char* formName, const RegionForm& form, const cockpit::RefMonth& month,
                                                const QString& region, const CallScope& scope, QString* tag = nullptr) const;

    std::shared_ptr<const CkpData> monthAnswer(Database& db, const DataVersion::Value& version, const cockpit::RefMonth& month,
                                               bool counted = true) const;
    std::shared_ptr<const RegionData> regionAnswer(Database& db, const DataVersion::Value& version, const cockpit::RefMonth& month,
                                                   const QString& region, bool counted = true) const;
    DataVersion::Value version(Database& db) const;
    bool keepable(Database& db, const DataVersion::Value& version, const cockpit::RefMonth& month) const;
    static std::pair<cockpit::RefMonth, cockpit::RefMonth> dataMonths(Database& db);
    static bool withinData(const cockpit::RefMonth& month, const cockpit::RefMonth& first, const cockpit::RefMonth& last);
    template <typename T, typename Answer>
    T answer(const QString& key, const CallScope& scope, Answer work, QString* tag = nullptr) const;

    DatabasePool& m_pool;
    IndicResultQuery::Source m_source;
    bool m_targets;
    KeptAnswers* m_kept;
    std::unique_ptr<VersionReaders> m_versionReaders;
    std::unique_ptr<VersionGuard> m_guard;
    mutable std::mutex m_rangeMutex;   // the months with figures, read once per version
    mutable DataVersion::Value m_rangeVersion;
    mutable cockpit::RefMonth m_firstMonth;
    mutable cockpit::RefMonth m_lastMonth;
};

/// A month's packets as the cockpit's computation takes them.
cockpit::CockpitPackets cockpitPackets(const CkpData& data);
/// A month's figures: those its packets were encoded from, or else decoded from them with the one codec.
cockpit::MonthFigures monthFigures(const CkpData& data);
/// The same for a region.
cockpit::RegionFigures regionFigures(const RegionData& data);
/// A region's packets as the region's view takes them.
cockpit::RegionReply regionPackets(const RegionData& data);

} // namespace appserver
