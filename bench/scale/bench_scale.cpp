// getCkpData at scale: a month read from the monthly summary against the same month summed from the
// daily rows (--no-summary), measured side by side in one run on the same databases: in-process at
// 2,000 and 20,000 branches × 36 months on SQLite and PostgreSQL, 32 clients against one server at
// 2,000 branches, and the import of the same files with and without the summary's triggers.
//
// Kept answers (BM_Call, BM_Browser, BM_Clients): a call end to end against a gRPC server that hands out a
// canned reply of the same size (the wire's floor), on a kept answer, as the first call after a write, and
// computed on every call (--no-keep, as before answers were kept); at 200, 2,000 and 20,000 branches on
// both engines. The table of ratios is printed at the end.
#include "benchsupport.h"
#include "csvimporter.h"
#include "database.h"
#include "databaseuri.h"
#include "databasepool.h"
#include "dataversion.h"
#include "demodatabase.h"
#include "keptanswers.h"
#include "rdmindicresult.h"
#include "indicresultquery.h"
#include "schema.h"
#include "serverprocess.h"
#include "testfigures.h"

#include "kpd.grpc.pb.h"

#include <benchmark/benchmark.h>
#include <grpcpp/grpcpp.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <tuple>
#include <memory>
#include <thread>
#include <vector>

using namespace appserver;

namespace {

constexpr int kMonths = 36;
const QDate kEndMonth(2024, 12, 1);
const QDate kReference(2024, 12, 15);
constexpr int kPool = 8;
constexpr int kClients = 32;

enum Engine { kSqlite = 0, kPostgres = 1 };
enum Source { kSummary = 0, kDaily = 1 };
// How a server answers: its kept answer, the first call after a write, computed on every call; the canned
// reply of a server that does no work at all.
enum Mode { kKept = 0, kAfterWrite = 1, kEveryCall = 2, kCanned = 3, kEveryCallAfterWrite = 4 };

const char* modeName(int mode)
{
    switch (mode) {
    case kKept: return "resposta guardada";
    case kAfterWrite: return "primeira chamada após uma gravação";
    case kEveryCall: return "calculada a cada chamada";
    case kCanned: return "resposta pronta (piso do gRPC)";
    case kEveryCallAfterWrite: return "calculada a cada chamada, após uma gravação";
    }
    return "";
}

// p50 of each measurement, for the table at the end: (what, engine, branches) → ms or calls/s.
std::map<std::tuple<QString, int, int>, double> g_results;

const char* engineName(int engine) { return engine == kPostgres ? "postgresql" : "sqlite"; }
const char* sourceName(int source) { return source == kDaily ? "somando os dias" : "resumo mensal"; }

QString sqlitePath(int branches)
{
    // The generator's layout is part of the name, so a changed generator never reuses an old file.
    const QString path = QStringLiteral(KPD_BENCH_CACHE_DIR "/scale-%1x%2-%3-v3.db")
                             .arg(branches)
                             .arg(kMonths)
                             .arg(kEndMonth.toString(QStringLiteral("yyyy-MM")));
    if (!QFile::exists(path)) {
        std::fprintf(stderr, "gerando %s ...\n", qPrintable(path));
        QElapsedTimer t;
        t.start();
        const QString partial = path + QStringLiteral(".partial");
        QFile::remove(partial);
        DemoDatabase::create(partial, {branches, kMonths, kEndMonth});
        QFile::rename(partial, path);
        std::fprintf(stderr, "gerado em %.0f s\n", t.elapsed() / 1000.0);
    }
    return path;
}

bool shell(const QString& command)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("bash"), {QStringLiteral("-o"), QStringLiteral("pipefail"), QStringLiteral("-c"), command});
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString quoted(const QString& s)
{
    return QLatin1Char('\'') + QString(s).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

// --- PostgreSQL: one throwaway cluster, one database per size, copied from the SQLite file -------------

std::unique_ptr<QTemporaryDir> g_tmp;
QString g_pgDir;
QString g_pgUri;   // the cluster's "kpd" database
bool g_destroyCluster = false;

QString pgScript(const QString& action)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(KPD_PG_CLUSTER_SCRIPT), {action, g_pgDir});
    if (!p.waitForFinished(300000) || p.exitCode() != 0)
        qFatal("pg-cluster.sh %s failed", qPrintable(action));
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().section(QLatin1Char('\n'), -1);
}

QString pgUriFor(const QString& database)
{
    if (g_pgUri.isEmpty()) {
        if (!g_tmp)
            g_tmp = std::make_unique<QTemporaryDir>();
        QFile::setPermissions(g_tmp->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup
                                                 | QFile::ExeOther);
        const QByteArray keep = qgetenv("KPD_BENCH_PG_DIR");
        g_pgDir = keep.isEmpty() ? g_tmp->filePath(QStringLiteral("pg")) : QString::fromLocal8Bit(keep);
        g_destroyCluster = keep.isEmpty();
        g_pgUri = pgScript(QStringLiteral("start"));
    }
    QString uri = g_pgUri;
    return uri.replace(QRegularExpression(QStringLiteral("/kpd$")), QLatin1Char('/') + database);
}

void psql(const QString& sql)
{
    if (!shell(QStringLiteral("psql %1 -qAt -v ON_ERROR_STOP=1 -c %2").arg(quoted(g_pgUri), quoted(sql))))
        qFatal("psql failed: %s", qPrintable(sql));
}

Database& pgDatabase(const QString& uri)
{
    static std::map<QString, std::unique_ptr<Database>> dbs;
    auto& slot = dbs[uri];
    if (!slot) {
        QString error;
        const auto settings = DatabaseUri::parse(uri, error);
        if (!settings)
            qFatal("%s", qPrintable(error));
        slot = std::make_unique<Database>(*settings);
    }
    return *slot;
}

// The SQLite file's rows copied into PostgreSQL by COPY, then the indexes, triggers and summary.
QString pgFor(int branches)
{
    const QString name = QStringLiteral("kpd_%1").arg(branches);
    const QString uri = pgUriFor(name);
    const QString marker = g_pgDir + QStringLiteral("/loaded-%1").arg(branches);
    if (QFile::exists(marker))
        return uri;
    const QString source = sqlitePath(branches);
    std::fprintf(stderr, "copiando %s para o PostgreSQL ...\n", qPrintable(source));
    QElapsedTimer t;
    t.start();
    psql(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
    psql(QStringLiteral("CREATE DATABASE %1").arg(name));
    Database& db = pgDatabase(uri);
    Schema::create(db, false);
    const QStringList copies{
        QStringLiteral("regional|SELECT cdareagere, nmareagere FROM regional"),
        QStringLiteral("filial|SELECT cdfilial, nmfilial, cdareagere FROM filial"),
        QStringLiteral("movimento_diario|SELECT cdfilial, dtmovimento, vrfatliq, vrconsumo, vrmdo, vrdespesas FROM movimento_diario"),
        QStringLiteral("estoque_mensal|SELECT cdfilial, mes, vrestoque FROM estoque_mensal"),
        QStringLiteral("carga_etl|SELECT dtcarga FROM carga_etl"),
    };
    for (const QString& copy : copies) {
        const QString table = copy.section(QLatin1Char('|'), 0, 0);
        const QString select = copy.section(QLatin1Char('|'), 1);
        // Money as the sqlite3 shell prints it (15 significant digits): the generator's amounts in cents.
        if (!shell(QStringLiteral("sqlite3 -csv %1 %2 | psql %3 -qAt -v ON_ERROR_STOP=1 -c %4")
                       .arg(quoted(source), quoted(select), quoted(uri),
                            quoted(QStringLiteral("\\copy %1 FROM STDIN WITH (FORMAT csv)").arg(table)))))
            qFatal("copy of %s failed", qPrintable(table));
    }
    Schema::createIndexes(db);   // with the triggers and the summary's first sums
    // The summary's pages must be marked all-visible for index-only scans, as autovacuum would mark them in
    // a while. The cluster commits without waiting for the disk (synchronous_commit=off): VACUUM cannot mark
    // rows whose commit is not flushed yet, so one commit that waits for the flush goes first.
    if (!shell(QStringLiteral("psql %1 -qAt -v ON_ERROR_STOP=1 -c 'SET synchronous_commit = on' -c 'SELECT txid_current()' "
                              "-c 'VACUUM ANALYZE' >/dev/null").arg(quoted(uri))))
        qFatal("vacuum failed");
    QFile f(marker);
    f.open(QIODevice::WriteOnly);
    std::fprintf(stderr, "copiado em %.0f s\n", t.elapsed() / 1000.0);
    return uri;
}

Database& databaseFor(int engine, int branches)
{
    if (engine == kPostgres)
        return pgDatabase(pgFor(branches));
    static std::map<int, std::unique_ptr<Database>> dbs;
    auto& slot = dbs[branches];
    if (!slot)
        slot = std::make_unique<Database>(DatabaseSettings::sqliteFile(sqlitePath(branches), true));
    return *slot;
}

// --- in-process --------------------------------------------------------------------------------------

void BM_InProcess(benchmark::State& state)
{
    const int engine = int(state.range(0));
    const int branches = int(state.range(1));
    const auto source = state.range(2) == kDaily ? IndicResultQuery::Source::DailyRows : IndicResultQuery::Source::MonthlySummary;
    Database& db = databaseFor(engine, branches);
    for (int i = 0; i < 3; ++i)
        IndicResultQuery(db, source).run(cockpit::RefMonth(kReference));   // pages in cache, statements prepared
    std::vector<double> samples;
    QElapsedTimer t;
    for (auto _ : state) {
        t.start();
        CkpData data = IndicResultQuery(db, source).run(cockpit::RefMonth(kReference));
        samples.push_back(t.nsecsElapsed() / 1e6);
        if (data.top10.rows_size() != 10)
            qFatal("unexpected reply");
        benchmark::DoNotOptimize(data);
    }
    state.counters["p50_ms"] = Percentile(samples, 0.50);
    state.counters["p99_ms"] = Percentile(samples, 0.99);
    state.SetLabel(QStringLiteral("%1, %2 filiais, %3").arg(engineName(engine)).arg(branches).arg(sourceName(int(state.range(2)))).toStdString());
}

// --- where a kept answer's time goes, in process --------------------------------------------------------

// 0: a pool's round trip doing nothing; 1: the data version read on this thread; 2: month() on a kept answer.
void BM_KeptParts(benchmark::State& state)
{
    const int engine = int(state.range(0));
    const int part = int(state.range(1));
    Database& db = databaseFor(engine, 2000);
    DatabasePool pool(db, 2);
    KeptAnswers kept(std::nullopt);
    const RdmIndicResult module(pool, IndicResultQuery::Source::MonthlySummary, true, &kept);
    module.month(cockpit::RefMonth(kReference), {});
    std::vector<double> samples;
    QElapsedTimer t;
    for (auto _ : state) {
        t.start();
        if (part == 0)
            pool.run([](Database&) { return 0; });
        else if (part == 1)
            benchmark::DoNotOptimize(DataVersion::read(db));
        else
            benchmark::DoNotOptimize(module.month(cockpit::RefMonth(kReference), {}));
        samples.push_back(t.nsecsElapsed() / 1e6);
    }
    state.counters["p50_us"] = Percentile(samples, 0.5) * 1000;
    static const char* const parts[] = {"ida e volta ao pool", "leitura da versão", "month() guardado"};
    state.SetLabel(QStringLiteral("%1, %2").arg(engineName(engine)).arg(QLatin1String(parts[part])).toStdString());
}

// --- servers -----------------------------------------------------------------------------------------

// KPD_BENCH_BEFORE: an earlier kpd-appserver build, which computes every call, to measure "computed on every
// call" with; otherwise this build with --no-keep.
QString before()
{
    return QString::fromLocal8Bit(qgetenv("KPD_BENCH_BEFORE"));
}

// (engine, branches, flags) → a kpd-appserver over that database
std::map<std::tuple<int, int, QString>, std::unique_ptr<ServerProcess>> g_servers;

ServerProcess& serverFor(int engine, int branches, const QStringList& flags)
{
    auto& slot = g_servers[{engine, branches, flags.join(QLatin1Char(' '))}];
    if (!slot) {
        slot = std::make_unique<ServerProcess>();
        // Nobody reads its log while the clients run; a full pipe would stall it.
        slot->process().setStandardErrorFile(QProcess::nullDevice());
        QStringList args{"--db", engine == kPostgres ? pgFor(branches) : sqlitePath(branches), "--db-pool",
                         QString::number(kPool), "--http", "127.0.0.1:0"};
        for (const QString& flag : flags) {
            if (flag == QLatin1String("#antes"))
                slot->setProgram(before());
            else
                args << flag;
        }
        QString error;
        if (!slot->start(args, &error))
            qFatal("kpd-appserver did not start: %s", qPrintable(error));
    }
    return *slot;
}

QStringList flagsOf(int mode)
{
    if (mode != kEveryCall && mode != kEveryCallAfterWrite)
        return {};
    return before().isEmpty() ? QStringList{"--no-keep"} : QStringList{"#antes"};
}

bool invoke(kpd::rpc::RemoteDataModule::Stub& stub, const kpd::rpc::InvokeRequest& req, kpd::rpc::InvokeReply* out = nullptr)
{
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(60));
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = stub.Invoke(&context, req, &reply);
    const bool ok = status.ok() && reply.result().kind_case() == kpd::rpc::Variant::kIntValue
                    && reply.args(2).packet_value().rows_size() == 10;
    if (out)
        *out = std::move(reply);
    return ok;
}

std::unique_ptr<kpd::rpc::RemoteDataModule::Stub> stubFor(const QString& address, int client = 0)
{
    // A channel argument of its own keeps each client on its own connection, as separate cockpits are.
    grpc::ChannelArguments args;
    args.SetInt("kpd.bench.client", client);
    return kpd::rpc::RemoteDataModule::NewStub(
        grpc::CreateCustomChannel(address.toStdString(), grpc::InsecureChannelCredentials(), args));
}

// A gRPC server that hands every call the same reply, captured from the real server: the wire's own cost.
class CannedService final : public kpd::rpc::RemoteDataModule::Service {
public:
    explicit CannedService(kpd::rpc::InvokeReply reply) : m_reply(std::move(reply)) {}
    grpc::Status Invoke(grpc::ServerContext*, const kpd::rpc::InvokeRequest*, kpd::rpc::InvokeReply* reply) override
    {
        *reply = m_reply;
        return grpc::Status::OK;
    }

private:
    kpd::rpc::InvokeReply m_reply;
};

// The canned server runs as a process of its own, as kpd-appserver does: this program again, with
// --serve-canned FILE, printing its port.
int serveCanned(const char* file)
{
    QFile f(QString::fromLocal8Bit(file));
    kpd::rpc::InvokeReply reply;
    if (!f.open(QIODevice::ReadOnly) || !reply.ParseFromString(f.readAll().toStdString()))
        return 1;
    CannedService service(std::move(reply));
    int port = 0;
    grpc::ServerBuilder builder;
    builder.AddListeningPort("127.0.0.1:0", grpc::InsecureServerCredentials(), &port);
    builder.RegisterService(&service);
    const std::unique_ptr<grpc::Server> server = builder.BuildAndStart();
    std::printf("%d\n", port);
    std::fflush(stdout);
    // Until the benchmark closes its end of the pipe.
    char c;
    while (std::fread(&c, 1, 1, stdin) == 1) {
    }
    server->Shutdown();
    return 0;
}

std::map<std::pair<int, int>, std::unique_ptr<QProcess>> g_canned;

QString cannedFor(int engine, int branches)
{
    static QTemporaryDir dir;
    auto& process = g_canned[{engine, branches}];
    if (!process) {
        kpd::rpc::InvokeReply reply;
        if (!invoke(*stubFor(serverFor(engine, branches, {}).address()), testfigures::request(kReference), &reply))
            qFatal("no reply to can");
        const QString file = dir.filePath(QStringLiteral("reply-%1-%2").arg(engine).arg(branches));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray::fromStdString(reply.SerializeAsString())) < 0)
            qFatal("cannot write %s", qPrintable(file));
        f.close();
        process = std::make_unique<QProcess>();
        process->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve-canned"), file});
        if (!process->waitForReadyRead(10000))
            qFatal("canned server did not start");
    }
    const QByteArray port = process->property("port").toByteArray();
    if (port.isEmpty())
        process->setProperty("port", process->readLine().trimmed());
    return QStringLiteral("127.0.0.1:") + process->property("port").toString();
}

// --- one client, call after call --------------------------------------------------------------------

void BM_Call(benchmark::State& state)
{
    const int engine = int(state.range(0));
    const int branches = int(state.range(1));
    const int mode = int(state.range(2));
    const QString address = mode == kCanned ? cannedFor(engine, branches) : serverFor(engine, branches, flagsOf(mode)).address();
    const auto stub = stubFor(address);
    const kpd::rpc::InvokeRequest req = testfigures::request(kReference);
    // A write the answer depends on: the loads' table, a row or so, through a connection of the bench's own.
    std::unique_ptr<Database> writer;
    if (mode == kAfterWrite || mode == kEveryCallAfterWrite) {
        DatabaseSettings settings = databaseFor(engine, branches).settings();
        settings.readOnly = false;
        writer = std::make_unique<Database>(settings);
    }
    for (int i = 0; i < 3; ++i)
        invoke(*stub, req);   // connection up, pages in cache, answer kept
    std::vector<double> samples;
    QElapsedTimer t;
    for (auto _ : state) {
        if (writer) {
            state.PauseTiming();
            writer->execDirect(QStringLiteral("UPDATE carga_etl SET dtcarga = dtcarga"));
            state.ResumeTiming();
        }
        t.start();
        const bool ok = invoke(*stub, req);
        samples.push_back(t.nsecsElapsed() / 1e6);
        if (!ok)
            qFatal("unexpected reply");
    }
    const double p50 = Percentile(samples, 0.50);
    g_results[{QString::fromLatin1(modeName(mode)), engine, branches}] = p50;
    state.counters["p50_ms"] = p50;
    state.counters["p99_ms"] = Percentile(samples, 0.99);
    state.SetLabel(QStringLiteral("%1, %2 filiais, %3").arg(engineName(engine)).arg(branches).arg(modeName(mode)).toStdString());
}

// The browser's JSON of the same month on a kept answer, over one kept-alive connection.
void BM_Browser(benchmark::State& state)
{
    const int engine = int(state.range(0));
    const int branches = int(state.range(1));
    ServerProcess& server = serverFor(engine, branches, {});
    httplib::Client client("127.0.0.1", server.httpPort());
    client.set_keep_alive(true);
    const std::string path = "/api/cockpit?month=" + kReference.toString(QStringLiteral("yyyy-MM")).toStdString();
    for (int i = 0; i < 3; ++i)
        client.Get(path);
    std::vector<double> samples;
    QElapsedTimer t;
    for (auto _ : state) {
        t.start();
        const auto r = client.Get(path);
        samples.push_back(t.nsecsElapsed() / 1e6);
        if (!r || r->status != 200)
            qFatal("unexpected answer");
    }
    const double p50 = Percentile(samples, 0.50);
    g_results[{QStringLiteral("/api/cockpit, resposta guardada"), engine, branches}] = p50;
    state.counters["p50_ms"] = p50;
    state.SetLabel(QStringLiteral("%1, %2 filiais, /api/cockpit").arg(engineName(engine)).arg(branches).toStdString());
}

// --- 32 clients against one server --------------------------------------------------------------------

void BM_Clients(benchmark::State& state)
{
    const int engine = int(state.range(0));
    const int source = int(state.range(1));
    const int mode = int(state.range(2));
    QStringList flags = flagsOf(mode);
    if (source == kDaily)
        flags << "--no-summary";
    const QString address = serverFor(engine, 2000, flags).address();
    const kpd::rpc::InvokeRequest req = testfigures::request(kReference);
    std::vector<std::unique_ptr<kpd::rpc::RemoteDataModule::Stub>> stubs;
    for (int c = 0; c < kClients; ++c) {
        stubs.push_back(stubFor(address, c));
        invoke(*stubs.back(), req);
    }
    constexpr double kSeconds = 5.0;
    for (auto _ : state) {
        std::atomic<long> calls{0};
        std::atomic<long> failed{0};
        std::atomic<bool> stop{false};
        std::vector<std::thread> threads;
        QElapsedTimer t;
        t.start();
        for (int c = 0; c < kClients; ++c) {
            threads.emplace_back([&, c] {
                while (!stop)
                    (invoke(*stubs[size_t(c)], req) ? calls : failed)++;
            });
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
        stop = true;
        for (auto& th : threads)
            th.join();
        const double elapsed = t.nsecsElapsed() / 1e9;
        state.SetIterationTime(elapsed);
        state.counters["calls_per_s"] = calls / elapsed;
        state.counters["failed"] = double(failed);
        if (source == kSummary)
            g_results[{QStringLiteral("32 clientes, ") + QLatin1String(modeName(mode)), engine, 2000}] = calls / elapsed;
    }
    state.SetLabel(QStringLiteral("%1, 2000 filiais, %2 clientes, %3, %4").arg(engineName(engine)).arg(kClients)
                       .arg(sourceName(source)).arg(modeName(mode)).toStdString());
}

// The ratios the kept answers are judged by, from what ran.
void printKeptTable()
{
    const auto get = [](const QString& what, int engine, int branches) {
        const auto it = g_results.find({what, engine, branches});
        return it == g_results.end() ? 0.0 : it->second;
    };
    const auto ratio = [](double a, double b) { return a > 0 && b > 0 ? QString::number(a / b, 'f', 2) + QLatin1Char('x') : QStringLiteral("-"); };
    const QString kept = QString::fromLatin1(modeName(kKept));
    const QString floor = QString::fromLatin1(modeName(kCanned));
    const QString afterWrite = QString::fromLatin1(modeName(kAfterWrite));
    const QString everyCall = QString::fromLatin1(modeName(kEveryCall));
    const QString everyCallAfterWrite = QString::fromLatin1(modeName(kEveryCallAfterWrite));
    std::printf("\nms (p50) de uma chamada getCkpData de ponta a ponta; \"após\": a primeira após uma gravação; "
                "\"a cada\": %s\n",
                before().isEmpty() ? "este servidor com --no-keep" : qPrintable(QStringLiteral("o servidor ") + before()));
    std::printf(
                "%-11s %7s %7s %7s %7s %7s %7s | %-10s %-10s %-10s %-9s %-7s\n", "motor", "filiais", "piso", "guard.",
                "após", "a cada", "a cada,", "guard/piso", "após/a cada", "após/a cada", "json/grpc", "20k/2k");
    std::printf("%-11s %7s %7s %7s %7s %7s %7s | %-10s %-10s %-10s %-9s %-7s\n", "", "", "", "", "", "", "após", "", "",
                "após", "", "");
    for (int engine : {kSqlite, kPostgres}) {
        for (int branches : {200, 2000, 20000}) {
            if (get(kept, engine, branches) == 0)
                continue;
            std::printf("%-11s %7d %7.3f %7.3f %7.3f %7.3f %7.3f | %-10s %-10s %-10s %-9s %-7s\n", engineName(engine), branches,
                        get(floor, engine, branches), get(kept, engine, branches), get(afterWrite, engine, branches),
                        get(everyCall, engine, branches), get(everyCallAfterWrite, engine, branches),
                        qPrintable(ratio(get(kept, engine, branches), get(floor, engine, branches))),
                        qPrintable(ratio(get(afterWrite, engine, branches), get(everyCall, engine, branches))),
                        qPrintable(ratio(get(afterWrite, engine, branches), get(everyCallAfterWrite, engine, branches))),
                        qPrintable(ratio(get(QStringLiteral("/api/cockpit, resposta guardada"), engine, branches),
                                         get(kept, engine, branches))),
                        branches == 20000 ? qPrintable(ratio(get(kept, engine, 20000), get(kept, engine, 2000))) : "");
        }
        const double keptCalls = get(QStringLiteral("32 clientes, ") + kept, engine, 2000);
        const double computedCalls = get(QStringLiteral("32 clientes, ") + everyCall, engine, 2000);
        if (keptCalls > 0)
            std::printf("%-11s 32 clientes, 2000 filiais: %.0f chamadas/s guardadas, %.0f calculadas a cada chamada: %s\n",
                        engineName(engine), keptCalls, computedCalls, qPrintable(ratio(keptCalls, computedCalls)));
    }
}

// --- import with and without the triggers ----------------------------------------------------------

constexpr int kImportMonths = 3;

// The last kImportMonths months of the 2,000-branch file as the importer's CSV files.
QString importFiles()
{
    static QString dir;
    if (!dir.isEmpty())
        return dir;
    if (!g_tmp)
        g_tmp = std::make_unique<QTemporaryDir>();
    dir = g_tmp->filePath(QStringLiteral("csv"));
    QDir().mkpath(dir);
    const QString db = sqlitePath(2000);
    const QString from = kEndMonth.addMonths(-(kImportMonths - 1)).toString(Qt::ISODate);
    const QStringList files{
        QStringLiteral("regional|SELECT cdareagere, nmareagere FROM regional"),
        QStringLiteral("filial|SELECT cdfilial, nmfilial, cdareagere FROM filial"),
        QStringLiteral("movimento_diario|SELECT dtmovimento, cdfilial, printf('%.2f', vrfatliq) AS vrfatliq, "
                       "printf('%.2f', vrconsumo) AS vrconsumo, printf('%.2f', vrmdo) AS vrmdo, "
                       "printf('%.2f', vrdespesas) AS vrdespesas FROM movimento_diario WHERE dtmovimento >= '") + from + QStringLiteral("'"),
        QStringLiteral("estoque_mensal|SELECT cdfilial, mes, printf('%.2f', vrestoque) AS vrestoque FROM estoque_mensal WHERE mes >= '") + from + QStringLiteral("'"),
    };
    for (const QString& file : files) {
        if (!shell(QStringLiteral("sqlite3 -csv -header %1 %2 > %3")
                       .arg(quoted(db), quoted(file.section(QLatin1Char('|'), 1)),
                            quoted(dir + QLatin1Char('/') + file.section(QLatin1Char('|'), 0, 0) + QStringLiteral(".csv")))))
            qFatal("export failed");
    }
    return dir;
}

// The database as it was before the monthly summary: no triggers, no summary.
void dropSummary(Database& db)
{
    for (const char* name : {"movimento_mensal_inclusao", "movimento_mensal_inclusao_anterior", "movimento_mensal_exclusao",
                             "movimento_mensal_alteracao", "movimento_mensal_esvaziamento"}) {
        if (db.isPostgres())
            db.execDirect(QStringLiteral("DROP TRIGGER IF EXISTS %1 ON movimento_diario").arg(QLatin1String(name)));
        else
            db.execDirect(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(QLatin1String(name)));
    }
    db.execDirect(QStringLiteral("DROP TABLE IF EXISTS movimento_mensal_carga"));
    db.execDirect(QStringLiteral("DROP TABLE movimento_mensal"));
}

// Twice into a fresh database: the first load inserts, the second replaces every row (deletes, then
// inserts), as a monthly reload does.
void BM_Import(benchmark::State& state)
{
    const int engine = int(state.range(0));
    const bool triggers = state.range(1) != 0;
    const QString dir = importFiles();
    for (auto _ : state) {
        QTemporaryDir scratch;
        std::unique_ptr<Database> owned;
        Database* db = nullptr;
        if (engine == kPostgres) {
            const QString name = QStringLiteral("kpd_import_%1").arg(triggers ? 1 : 0);
            pgUriFor(name);
            psql(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
            psql(QStringLiteral("CREATE DATABASE %1").arg(name));
            db = &pgDatabase(pgUriFor(name));
        } else {
            owned = std::make_unique<Database>(DatabaseSettings::sqliteFile(scratch.filePath(QStringLiteral("i.db")), false));
            db = owned.get();
        }
        Schema::create(*db);
        if (!triggers)
            dropSummary(*db);
        QElapsedTimer t;
        t.start();
        const ImportSummary first = CsvImporter(*db).run(dir);
        CsvImporter(*db).run(dir);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        for (const auto& [file, rows] : first.files) {
            if (file == QLatin1String("movimento_diario.csv"))
                state.counters["rows"] = double(rows);
        }
    }
    state.SetLabel(QStringLiteral("%1, %2 meses de 2000 filiais, duas cargas, %3").arg(engineName(engine)).arg(kImportMonths)
                       .arg(triggers ? QStringLiteral("com o resumo mensal") : QStringLiteral("sem o resumo mensal")).toStdString());
}

BENCHMARK(BM_InProcess)
    ->ArgsProduct({{kSqlite, kPostgres}, {2000, 20000}, {kSummary, kDaily}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_KeptParts)->ArgsProduct({{kSqlite, kPostgres}, {0, 1, 2}})->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_Call)
    ->ArgsProduct({{kSqlite, kPostgres}, {200, 2000, 20000}, {kCanned, kKept, kAfterWrite, kEveryCall, kEveryCallAfterWrite}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK(BM_Browser)->ArgsProduct({{kSqlite, kPostgres}, {200, 2000, 20000}})->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_Clients)
    ->Args({kSqlite, kSummary, kKept})
    ->Args({kSqlite, kSummary, kEveryCall})
    ->Args({kSqlite, kDaily, kEveryCall})
    ->Args({kPostgres, kSummary, kKept})
    ->Args({kPostgres, kSummary, kEveryCall})
    ->Args({kPostgres, kDaily, kEveryCall})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Import)->ArgsProduct({{kSqlite, kPostgres}, {0, 1}})->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--serve-canned") == 0)
        return serveCanned(argv[2]);
    QCoreApplication app(argc, argv);
    RunBenchmarks(argc, argv);
    printKeptTable();
    for (auto& [key, server] : g_servers)
        server->stop();
    g_servers.clear();
    for (auto& [key, canned] : g_canned) {
        canned->closeWriteChannel();
        canned->waitForFinished(5000);
    }
    if (!g_pgDir.isEmpty())
        pgScript(g_destroyCluster ? QStringLiteral("destroy") : QStringLiteral("stop"));
    return 0;
}
