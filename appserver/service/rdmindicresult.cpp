#include "rdmindicresult.h"

#include "packets.h"
#include "pagejson.h"
#include "refmonth.h"
#include "regionformats.h"
#include "databasepool.h"
#include "daycount.h"
#include "keptanswers.h"
#include "packetcodec.h"
#include "regionview.h"
#include "scorecard.h"
#include "versionguard.h"
#include "versionreaders.h"

#include <QScopeGuard>

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace appserver {

namespace {

// Answers are kept under their format too: an instance of another version never hands out this one's.
constexpr const char* kAnswerFormat = "4";

QString monthKey(const char* what, const cockpit::RefMonth& month)
{
    return QLatin1String(what) + QLatin1Char('/') + QLatin1String(kAnswerFormat) + QLatin1Char(' ') +
           month.firstDay().toString(Qt::ISODate);
}

QString regionKey(const char* what, const cockpit::RefMonth& month, const QString& region)
{
    return monthKey(what, month) + QLatin1Char(' ') + region;
}

// The names the faces' forms of an answer are kept under.
constexpr const char* kMonthJson = "cockpit.json";
constexpr const char* kRegionJson = "regiao.json";
constexpr const char* kMonthReply = "getCkpData.reply";
constexpr const char* kRegionReply = "getRegionData.reply";

// A kept answer's bytes: its packets as one row of the wire's own values.
QByteArray encode(const CkpData& d)
{
    kpd::rpc::Row row;
    row.add_values()->set_datetime_value(d.month.firstDay().toJulianDay());
    for (const kpd::rpc::DataPacket* p : {&d.indicadores, &d.top10, &d.bottom10, &d.grafPizza, &d.quinto, &d.sexto, &d.diasEstoque})
        *row.add_values()->mutable_packet_value() = *p;
    return QByteArray::fromStdString(row.SerializeAsString());
}

// About the memory a decoded answer takes.
size_t footprintOf(const CkpData& d)
{
    size_t n = sizeof d;
    for (const kpd::rpc::DataPacket* p : {&d.indicadores, &d.top10, &d.bottom10, &d.grafPizza, &d.quinto, &d.sexto, &d.diasEstoque})
        n += p->SpaceUsedLong();
    return n;
}

size_t footprintOf(const RegionData& d)
{
    return sizeof d + size_t(d.region.size()) * 2 + d.regionRow.SpaceUsedLong() + d.branches.SpaceUsedLong()
           + d.metas.SpaceUsedLong();
}

size_t footprintOf(const std::string& s)
{
    return sizeof s + s.size();
}

std::shared_ptr<const void> decodeMonth(const QByteArray& bytes, size_t& footprint)
{
    kpd::rpc::Row row;
    if (!row.ParseFromArray(bytes.constData(), int(bytes.size())) || row.values_size() != 8)
        return nullptr;
    auto d = std::make_shared<CkpData>();
    d->month = cockpit::RefMonth(QDate::fromJulianDay(qint64(row.values(0).datetime_value())));
    kpd::rpc::DataPacket* packets[] = {&d->indicadores, &d->top10, &d->bottom10, &d->grafPizza, &d->quinto, &d->sexto, &d->diasEstoque};
    for (int i = 0; i < 7; ++i)
        packets[i]->Swap(row.mutable_values(i + 1)->mutable_packet_value());
    footprint = footprintOf(*d);
    return d;
}

QByteArray encode(const RegionData& d)
{
    kpd::rpc::Row row;
    row.add_values()->set_datetime_value(d.month.firstDay().toJulianDay());
    row.add_values()->set_text_value(d.region.toStdString());
    *row.add_values()->mutable_packet_value() = d.regionRow;
    *row.add_values()->mutable_packet_value() = d.branches;
    *row.add_values()->mutable_packet_value() = d.metas;
    return QByteArray::fromStdString(row.SerializeAsString());
}

std::shared_ptr<const void> decodeRegion(const QByteArray& bytes, size_t& footprint)
{
    kpd::rpc::Row row;
    if (!row.ParseFromArray(bytes.constData(), int(bytes.size())) || row.values_size() != 5)
        return nullptr;
    auto d = std::make_shared<RegionData>();
    d->month = cockpit::RefMonth(QDate::fromJulianDay(qint64(row.values(0).datetime_value())));
    d->region = QString::fromStdString(row.values(1).text_value());
    d->regionRow.Swap(row.mutable_values(2)->mutable_packet_value());
    d->branches.Swap(row.mutable_values(3)->mutable_packet_value());
    d->metas.Swap(row.mutable_values(4)->mutable_packet_value());
    footprint = footprintOf(*d);
    return d;
}

std::shared_ptr<const void> decodeText(const QByteArray& bytes, size_t& footprint)
{
    auto text = std::make_shared<const std::string>(bytes.toStdString());
    footprint = footprintOf(*text);
    return text;
}

} // namespace

cockpit::CockpitPackets cockpitPackets(const CkpData& data)
{
    cockpit::CockpitPackets packets;
    packets.month = data.month.firstDay();
    packets.indicadores = PacketCodec::DecodePacket(data.indicadores);
    packets.top10 = PacketCodec::DecodePacket(data.top10);
    packets.bottom10 = PacketCodec::DecodePacket(data.bottom10);
    packets.grafPizza = PacketCodec::DecodePacket(data.grafPizza);
    packets.diasEstoque = PacketCodec::DecodePacket(data.diasEstoque);
    packets.metas = PacketCodec::DecodePacket(data.quinto);
    packets.comparacoes = PacketCodec::DecodePacket(data.sexto);
    return packets;
}

cockpit::MonthFigures monthFigures(const CkpData& data)
{
    return data.figures ? *data.figures : cockpit::DecodeMonth(cockpitPackets(data));
}

cockpit::RegionFigures regionFigures(const RegionData& data)
{
    return data.figures ? *data.figures : cockpit::DecodeRegion(regionPackets(data));
}

cockpit::RegionReply regionPackets(const RegionData& data)
{
    return {data.month.firstDay(), data.region, PacketCodec::DecodePacket(data.regionRow), PacketCodec::DecodePacket(data.branches),
            PacketCodec::DecodePacket(data.metas)};
}

namespace {

std::string monthJsonOf(const CkpData& data)
{
    return cockpit::MonthPageJsonText(cockpit::ComputePage(monthFigures(data))).toStdString();
}

// The whole reply of a month: its arguments as they come back and the result 0. Every argument is one the
// method sets, so the reply depends on the month alone and is made once per data version.
std::string monthReplyOf(const CkpData& data)
{
    kpd::rpc::InvokeReply reply;
    auto& args = *reply.mutable_args();
    for (int i = 0; i < CkpPackets::kArgCount; ++i)
        reply.add_args();
    args.Mutable(CkpPackets::kDateArg)->set_datetime_value(DayCount::fromDate(data.month.firstDay()));
    *args.Mutable(CkpPackets::kIndicadoresArg)->mutable_packet_value() = data.indicadores;
    *args.Mutable(CkpPackets::kTop10Arg)->mutable_packet_value() = data.top10;
    *args.Mutable(CkpPackets::kBottom10Arg)->mutable_packet_value() = data.bottom10;
    *args.Mutable(CkpPackets::kGrafPizzaArg)->mutable_packet_value() = data.grafPizza;
    *args.Mutable(CkpPackets::kFirstEmptyArg)->mutable_packet_value() = data.quinto;
    *args.Mutable(CkpPackets::kSecondEmptyArg)->mutable_packet_value() = data.sexto;
    *args.Mutable(CkpPackets::kDiasEstoqueArg)->mutable_packet_value() = data.diasEstoque;
    reply.mutable_result()->set_int_value(0);
    return reply.SerializeAsString();
}

std::string regionReplyOf(const RegionData& data)
{
    kpd::rpc::InvokeReply reply;
    auto& args = *reply.mutable_args();
    for (int i = 0; i < RegionPackets::kArgCount; ++i)
        reply.add_args();
    args.Mutable(RegionPackets::kDateArg)->set_datetime_value(DayCount::fromDate(data.month.firstDay()));
    args.Mutable(RegionPackets::kRegionArg)->set_text_value(data.region.toStdString());
    *args.Mutable(RegionPackets::kRegionRowArg)->mutable_packet_value() = data.regionRow;
    *args.Mutable(RegionPackets::kBranchesArg)->mutable_packet_value() = data.branches;
    *args.Mutable(RegionPackets::kMetasArg)->mutable_packet_value() = data.metas;
    reply.mutable_result()->set_int_value(0);
    return reply.SerializeAsString();
}

std::string regionJsonOf(const RegionData& data)
{
    return cockpit::RegionJsonText(cockpit::ComputeRegionView(regionFigures(data))).toStdString();
}

// The answer kept for key at version, or computed (and then kept) when there is none. counted: whether it
// is the answer of a call, not the packets a face's form of it is made from. keepable: whether the month
// is one worth keeping (within the data); others are computed every time.
template <typename T, typename Compute>
std::shared_ptr<const T> keptOr(KeptAnswers* kept, Database& db, const DataVersion::Value& version, bool keepable,
                                const QString& key, const KeptAnswers::Decode& decode, Compute compute, bool counted = true)
{
    if (!kept || !version.valid() || !keepable)
        return std::make_shared<const T>(compute());
    if (std::shared_ptr<const void> found = kept->find(db, key, version, decode, counted))
        return std::static_pointer_cast<const T>(found);
    auto answer = std::make_shared<const T>(compute());
    if (counted)
        kept->countComputed();
    QByteArray bytes;
    if constexpr (std::is_same_v<T, std::string>)
        bytes = QByteArray::fromStdString(*answer);
    else
        bytes = encode(*answer);
    kept->keep(key, version, answer, std::move(bytes), footprintOf(*answer));
    return answer;
}

} // namespace

RdmIndicResult::RdmIndicResult(DatabasePool& pool, IndicResultQuery::Source source, bool targets, KeptAnswers* kept)
    : m_pool(pool), m_source(source), m_targets(targets), m_kept(kept)
{
    if (m_kept && pool.database().isPostgres())
        m_versionReaders = std::make_unique<VersionReaders>(pool.database().settings());
    if (m_kept)
        m_guard = std::make_unique<VersionGuard>(pool.database().settings());
}

RdmIndicResult::~RdmIndicResult() = default;

bool RdmIndicResult::versionSound() const
{
    return !m_guard || m_guard->sound();
}

DataVersion::Value RdmIndicResult::version(Database& db) const
{
    return m_kept ? m_guard->vet(db, DataVersion::read(db)) : DataVersion::Value{};
}

bool RdmIndicResult::keepable(Database& db, const DataVersion::Value& version, const cockpit::RefMonth& month) const
{
    if (!m_kept || !version.valid())
        return false;
    std::unique_lock lock(m_rangeMutex);
    if (!(m_rangeVersion == version)) {
        lock.unlock();
        const auto [first, last] = dataMonths(db);
        lock.lock();
        m_rangeVersion = version;
        m_firstMonth = first;
        m_lastMonth = last;
    }
    return withinData(month, m_firstMonth, m_lastMonth);
}

std::pair<cockpit::RefMonth, cockpit::RefMonth> RdmIndicResult::dataMonths(Database& db)
{
    cockpit::RefMonth first;
    cockpit::RefMonth last;
    // Each end of the index on its own: MIN and MAX together in one SELECT read every row of the summary.
    db.forEachRow(QStringLiteral("SELECT (SELECT MIN(mes) FROM movimento_mensal), (SELECT MAX(mes) FROM movimento_mensal)"), {},
                  [&](const Database::Row& row) {
        first = cockpit::RefMonth(row.date(0));
        last = cockpit::RefMonth(row.date(1));
    });
    return {first, last};
}

QList<cockpit::RefMonth> RdmIndicResult::monthsToWatch(Database& db, const DataVersion::Value& version)
{
    QList<cockpit::RefMonth> months;
    if (const cockpit::RefMonth last = dataMonths(db).second; last.isValid())
        months << last;
    if (version.counter >= 0) {
        const QString prefix = monthKey(CkpPackets::kMethod, cockpit::RefMonth(2000, 1)).chopped(10);
        db.forEachRow(QStringLiteral("SELECT chave FROM resposta_guardada WHERE origem = ? AND versao = ? AND chave LIKE ?"),
                      {version.origin, version.counter, prefix + QLatin1Char('%')}, [&](const Database::Row& row) {
                          const QString key = QString::fromUtf8(row.text(0));
                          const cockpit::RefMonth month(QDate::fromString(key.mid(prefix.size()), Qt::ISODate));
                          if (month.isValid() && !months.contains(month))
                              months << month;
                      });
    }
    std::sort(months.begin(), months.end());
    return months;
}

// The months that show the data: those with figures, the month before them, and up to a year after the
// last, which compare themselves with it. A sweep of other months is computed, never kept.
bool RdmIndicResult::withinData(const cockpit::RefMonth& month, const cockpit::RefMonth& first, const cockpit::RefMonth& last)
{
    return first.isValid() && last.isValid() && !(month < first.previous()) && !(cockpit::RefMonth(last.firstDay().addMonths(12)) < month);
}

std::shared_ptr<const CkpData> RdmIndicResult::monthAnswer(Database& db, const DataVersion::Value& version,
                                                           const cockpit::RefMonth& month, bool counted) const
{
    return keptOr<CkpData>(m_kept, db, version, keepable(db, version, month), monthKey(CkpPackets::kMethod, month), decodeMonth,
                           [&] { return IndicResultQuery(db, m_source, m_targets).run(month); }, counted);
}

std::shared_ptr<const RegionData> RdmIndicResult::regionAnswer(Database& db, const DataVersion::Value& version,
                                                               const cockpit::RefMonth& month, const QString& region,
                                                               bool counted) const
{
    return keptOr<RegionData>(m_kept, db, version, keepable(db, version, month), regionKey(RegionPackets::kMethod, month, region), decodeRegion,
                              [&] { return RegionQuery(db, m_source, m_targets).run(month, region); }, counted);
}

// The version is read on the caller's own thread: an SQLite file's on the thread's own connection, a
// database server's through the version readers. A call whose answer is kept then never waits for a pool
// thread. Where that read gives nothing, the version is read on the pool's connection with the work.
namespace {

// A kept answer's version as an HTTP validator: this build's answer format, the database's origin and
// counter.
QString tagOf(const DataVersion::Value& v)
{
    return v.valid() ? QStringLiteral("%1-%2-%3").arg(QLatin1String(kAnswerFormat)).arg(quint64(v.origin), 0, 16).arg(quint64(v.counter), 0, 16)
                     : QString();
}

} // namespace

template <typename T, typename Answer>
T RdmIndicResult::answer(const QString& key, const CallScope& scope, Answer work, QString* tag) const
{
    if (m_kept) {
        std::optional<DataVersion::Value> v;
        Database& db = m_pool.database();
        if (db.isSqlite())
            v = DataVersion::read(db);
        else if (m_versionReaders)
            v = m_versionReaders->read(scope.deadline);
        if (v) {
            *v = m_guard->vet(db, *v);
            if (tag)
                *tag = tagOf(*v);
            if (!v->valid())
                return m_pool.run([&](Database& pooled) { return work(pooled, *v); }, scope);
            if (std::shared_ptr<const void> kept = m_kept->inMemory(key, *v))
                return T(std::static_pointer_cast<const typename T::element_type>(kept));
            return m_pool.run([&](Database& pooled) { return work(pooled, *v); }, scope);
        }
    }
    return m_pool.run([&](Database& pooled) {
        const DataVersion::Value v = version(pooled);
        if (tag)
            *tag = tagOf(v);
        return work(pooled, v);
    }, scope);
}

CkpData RdmIndicResult::month(const cockpit::RefMonth& month, const CallScope& scope) const
{
    return *answer<std::shared_ptr<const CkpData>>(monthKey(CkpPackets::kMethod, month), scope,
                                                   [&](Database& db, const DataVersion::Value& v) {
                                                       return monthAnswer(db, v, month);
                                                   });
}

std::shared_ptr<const std::string> RdmIndicResult::monthAs(const char* formName, const MonthForm& form,
                                                           const cockpit::RefMonth& month, const CallScope& scope, QString* tag) const
{
    const QString key = monthKey(formName, month);
    return answer<std::shared_ptr<const std::string>>(key, scope, [&](Database& db, const DataVersion::Value& v) {
        return keptOr<std::string>(m_kept, db, v, keepable(db, v, month), key, decodeText,
                                   [&] { return form(*monthAnswer(db, v, month, false)); });
    }, tag);
}

std::shared_ptr<const std::string> RdmIndicResult::monthJson(const cockpit::RefMonth& month, const CallScope& scope, QString* tag) const
{
    return monthAs(kMonthJson, monthJsonOf, month, scope, tag);
}

std::shared_ptr<const std::string> RdmIndicResult::monthReply(const cockpit::RefMonth& month, const CallScope& scope) const
{
    return monthAs(kMonthReply, monthReplyOf, month, scope);
}

RegionData RdmIndicResult::region(const cockpit::RefMonth& month, const QString& region, const CallScope& scope) const
{
    return *answer<std::shared_ptr<const RegionData>>(regionKey(RegionPackets::kMethod, month, region), scope,
                                                      [&](Database& db, const DataVersion::Value& v) {
                                                          return regionAnswer(db, v, month, region);
                                                      });
}

std::shared_ptr<const std::string> RdmIndicResult::regionAs(const char* formName, const RegionForm& form,
                                                            const cockpit::RefMonth& month, const QString& region,
                                                            const CallScope& scope, QString* tag) const
{
    const QString key = regionKey(formName, month, region);
    return answer<std::shared_ptr<const std::string>>(key, scope, [&](Database& db, const DataVersion::Value& v) {
        return keptOr<std::string>(m_kept, db, v, keepable(db, v, month), key, decodeText,
                                   [&] { return form(*regionAnswer(db, v, month, region, false)); });
    }, tag);
}

std::shared_ptr<const std::string> RdmIndicResult::regionJson(const cockpit::RefMonth& month, const QString& region,
                                                              const CallScope& scope, QString* tag) const
{
    return regionAs(kRegionJson, regionJsonOf, month, region, scope, tag);
}

std::shared_ptr<const std::string> RdmIndicResult::regionReply(const cockpit::RefMonth& month, const QString& region,
                                                               const CallScope& scope) const
{
    return regionAs(kRegionReply, regionReplyOf, month, region, scope);
}

namespace {

// One region's drill-down of a month, in each form a face asks for.
struct RegionAnswers {
    cockpit::RefMonth month;
    QString region;
    QByteArray packets, json, reply;
};

RegionAnswers regionAnswers(Database& db, const cockpit::RefMonth& month, const QString& region, bool targets)
{
    const RegionData r = RegionQuery(db, IndicResultQuery::Source::MonthlySummary, targets).run(month, region);
    return {month, region, encode(r), QByteArray::fromStdString(regionJsonOf(r)), QByteArray::fromStdString(regionReplyOf(r))};
}

void keepRegion(Database& db, const RegionAnswers& a, const DataVersion::Value& version)
{
    KeptAnswers::store(db, regionKey(RegionPackets::kMethod, a.month, a.region), version, a.packets);
    KeptAnswers::store(db, regionKey(kRegionJson, a.month, a.region), version, a.json);
    KeptAnswers::store(db, regionKey(kRegionReply, a.month, a.region), version, a.reply);
}

} // namespace

int RdmIndicResult::keepMonths(Database& db, const QList<cockpit::RefMonth>& written, bool targets)
{
    const DataVersion::Value version = DataVersion::read(db);
    if (!version.valid() || (db.isSqlite() && !DataVersion::check(db)))
        return 0;
    KeptAnswers::prune(db, version);
    const auto [first, last] = dataMonths(db);
    QList<cockpit::RefMonth> months;
    for (const cockpit::RefMonth& m : written) {
        cockpit::RefMonth after = m;
        for (int k = 0; k <= 12; ++k, after = after.next())
            if ((k == 0 || (last.isValid() && !(last < after))) && !months.contains(after))
                months << after;
    }
    std::sort(months.begin(), months.end());
    int kept = 0;
    std::vector<std::pair<cockpit::RefMonth, QString>> regions;
    for (const cockpit::RefMonth& month : months) {
        if (!withinData(month, first, last))
            continue;
        const CkpData data = IndicResultQuery(db, IndicResultQuery::Source::MonthlySummary, targets).run(month);
        KeptAnswers::store(db, monthKey(CkpPackets::kMethod, month), version, encode(data));
        KeptAnswers::store(db, monthKey(kMonthJson, month), version, QByteArray::fromStdString(monthJsonOf(data)));
        KeptAnswers::store(db, monthKey(kMonthReply, month), version, QByteArray::fromStdString(monthReplyOf(data)));
        for (const QString& region : monthFigures(data).regions())
            regions.emplace_back(month, region);
        ++kept;
    }

    // Each region's drill-down lists every branch of the region: at thousands of branches they are most of
    // the work. On PostgreSQL a second thread works out every other one on a connection of its own (it only
    // reads what is committed), and this one stores them all in its transaction, so the server stores one
    // while the next is worked out. (SQLite: a reader beside this writer could wait on its lock.)
    std::atomic<size_t> next{0};
    std::mutex doneMutex;
    std::vector<RegionAnswers> done;
    std::exception_ptr helperFailure;
    std::thread helper;
    if (db.isPostgres() && regions.size() > 1) {
        helper = std::thread([&] {
            try {
                for (size_t i = next++; i < regions.size(); i = next++) {
                    RegionAnswers a = regionAnswers(db, regions[i].first, regions[i].second, targets);
                    const std::lock_guard lock(doneMutex);
                    done.push_back(std::move(a));
                }
            } catch (...) {
                helperFailure = std::current_exception();
            }
        });
    }
    const auto storeDone = [&] {
        std::vector<RegionAnswers> ready;
        {
            const std::lock_guard lock(doneMutex);
            ready.swap(done);
        }
        for (const RegionAnswers& a : ready)
            keepRegion(db, a, version);
    };
    {
        // However this side ends, the helper takes no more and is waited for.
        const auto joinHelper = qScopeGuard([&] {
            next = regions.size();
            if (helper.joinable())
                helper.join();
        });
        for (size_t i = next++; i < regions.size(); i = next++) {
            keepRegion(db, regionAnswers(db, regions[i].first, regions[i].second, targets), version);
            storeDone();
        }
    }
    if (helperFailure)
        std::rethrow_exception(helperFailure);
    storeDone();
    return kept;
}

} // namespace appserver
