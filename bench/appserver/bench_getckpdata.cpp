// getCkpData for one month of 2,000 branches: end to end over loopback against a real kpd-appserver,
// and the same queries in-process, on 36 months of history and on 1 month.
#include "ckppackets.h"
#include "benchsupport.h"
#include "testfigures.h"
#include "database.h"
#include "daycount.h"
#include "demodatabase.h"
#include "indicresultquery.h"

#include "kpd.grpc.pb.h"

#include <benchmark/benchmark.h>
#include <grpcpp/grpcpp.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

using namespace appserver;

namespace {

constexpr int kBranches = 2000;
const QDate kEndMonth(2024, 12, 1);
const QDate kReference(2024, 12, 15);   // a full month, the last of both databases

QString databaseFor(int months)
{
    // The generator's layout is part of the name, so a changed generator never reuses an old file.
    const QString path = QStringLiteral(KPD_BENCH_CACHE_DIR "/bench-%1x%2-%3-v1.db")
                             .arg(kBranches)
                             .arg(months)
                             .arg(kEndMonth.toString(QStringLiteral("yyyy-MM")));
    if (!QFile::exists(path)) {
        std::fprintf(stderr, "gerando %s ...\n", qPrintable(path));
        QElapsedTimer t;
        t.start();
        const QString partial = path + QStringLiteral(".partial");
        QFile::remove(partial);
        DemoDatabase::create(partial, {kBranches, months, kEndMonth});
        QFile::rename(partial, path);
        std::fprintf(stderr, "gerado em %.1f s\n", t.elapsed() / 1000.0);
    }
    return path;
}

struct Server {
    QProcess process;
    std::unique_ptr<kpd::rpc::RemoteDataModule::Stub> stub;
};

std::map<int, std::unique_ptr<Server>> g_servers;
std::map<int, std::unique_ptr<Database>> g_dbs;

Server& serverFor(int months)
{
    auto& slot = g_servers[months];
    if (!slot) {
        slot = std::make_unique<Server>();
        slot->process.setStandardErrorFile(QProcess::nullDevice());
        slot->process.start(QStringLiteral(KPD_APPSERVER_BIN),
                            {"--db", databaseFor(months), "--listen", "127.0.0.1:0"});
        static const QRegularExpression re(QStringLiteral("listening on (\\S+)"));
        QByteArray out;
        QDeadlineTimer deadline(30000);
        QString address;
        while (address.isEmpty() && !deadline.hasExpired()) {
            slot->process.waitForReadyRead(200);
            out += slot->process.readAllStandardOutput();
            const auto m = re.match(QString::fromUtf8(out));
            if (m.hasMatch())
                address = m.captured(1);
        }
        if (address.isEmpty())
            qFatal("kpd-appserver did not start");
        slot->stub = kpd::rpc::RemoteDataModule::NewStub(
            grpc::CreateChannel(address.toStdString(), grpc::InsecureChannelCredentials()));
    }
    return *slot;
}

std::map<std::string, double> g_p50;

// One getCkpData over loopback, in milliseconds.
double timedCall(Server& server, const kpd::rpc::InvokeRequest& req)
{
    QElapsedTimer t;
    t.start();
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(30));
    kpd::rpc::InvokeReply reply;
    if (!server.stub->Invoke(&context, req, &reply).ok())
        qFatal("getCkpData failed");
    return t.nsecsElapsed() / 1e6;
}

void report(benchmark::State& state, std::vector<double>& samples, const std::string& key)
{
    state.counters["p50_ms"] = Percentile(samples, 0.50);
    state.counters["p99_ms"] = Percentile(samples, 0.99);
    g_p50[key] = Percentile(samples, 0.50);
}

void BM_EndToEnd(benchmark::State& state)
{
    const int months = int(state.range(0));
    Server& server = serverFor(months);
    const kpd::rpc::InvokeRequest req = testfigures::request(kReference);
    const auto call = [&] {
        grpc::ClientContext context;
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(30));
        kpd::rpc::InvokeReply reply;
        const grpc::Status status = server.stub->Invoke(&context, req, &reply);
        if (!status.ok() || reply.result().int_value() != 0 || reply.args(2).packet_value().rows_size() != 10)
            qFatal("getCkpData failed: %s", status.error_message().c_str());
    };
    for (int i = 0; i < 5; ++i)
        call();   // connection, page cache and the server thread's database connection
    std::vector<double> samples;
    QElapsedTimer t;
    for (auto _ : state) {
        t.start();
        call();
        samples.push_back(t.nsecsElapsed() / 1e6);
    }
    report(state, samples, "e2e/" + std::to_string(months));
}

void BM_InProcess(benchmark::State& state)
{
    const int months = int(state.range(0));
    auto& db = g_dbs[months];
    if (!db)
        db = std::make_unique<Database>(DatabaseSettings::sqliteFile(databaseFor(months), true));
    for (int i = 0; i < 5; ++i)
        IndicResultQuery(*db).run(cockpit::RefMonth(kReference));
    std::vector<double> samples;
    QElapsedTimer t;
    for (auto _ : state) {
        t.start();
        CkpData data = IndicResultQuery(*db).run(cockpit::RefMonth(kReference));
        benchmark::DoNotOptimize(data);
        samples.push_back(t.nsecsElapsed() / 1e6);
    }
    report(state, samples, "inproc/" + std::to_string(months));
}

// The machine is shared: alternating the two calls exposes both to the same load, so their ratio
// means something even when the absolute times wander.
void BM_Interleaved(benchmark::State& state)
{
    const int months = int(state.range(0));
    Server& server = serverFor(months);
    auto& db = g_dbs[months];
    if (!db)
        db = std::make_unique<Database>(DatabaseSettings::sqliteFile(databaseFor(months), true));
    const kpd::rpc::InvokeRequest req = testfigures::request(kReference);
    std::vector<double> remote, local;
    QElapsedTimer t;
    for (auto _ : state) {
        remote.push_back(timedCall(server, req));
        t.start();
        CkpData data = IndicResultQuery(*db).run(cockpit::RefMonth(kReference));
        benchmark::DoNotOptimize(data);
        local.push_back(t.nsecsElapsed() / 1e6);
    }
    const double r50 = Percentile(remote, 0.50);
    const double l50 = Percentile(local, 0.50);
    state.counters["e2e_p50_ms"] = r50;
    state.counters["e2e_p99_ms"] = Percentile(remote, 0.99);
    state.counters["inproc_p50_ms"] = l50;
    state.counters["inproc_p99_ms"] = Percentile(local, 0.99);
    state.counters["e2e_over_inproc"] = r50 / l50;
    g_p50["mixed-e2e/" + std::to_string(months)] = r50;
    g_p50["mixed-inproc/" + std::to_string(months)] = l50;
}

// 36 months of history against 1, alternating end-to-end calls on the two servers for the same reason.
void BM_HistoryInterleaved(benchmark::State& state)
{
    Server& longHistory = serverFor(36);
    Server& shortHistory = serverFor(1);
    const kpd::rpc::InvokeRequest req = testfigures::request(kReference);
    std::vector<double> longSamples, shortSamples;
    for (auto _ : state) {
        longSamples.push_back(timedCall(longHistory, req));
        shortSamples.push_back(timedCall(shortHistory, req));
    }
    const double l50 = Percentile(longSamples, 0.50);
    const double s50 = Percentile(shortSamples, 0.50);
    state.counters["m36_p50_ms"] = l50;
    state.counters["m36_p99_ms"] = Percentile(longSamples, 0.99);
    state.counters["m1_p50_ms"] = s50;
    state.counters["m1_p99_ms"] = Percentile(shortSamples, 0.99);
    state.counters["m36_over_m1"] = l50 / s50;
    g_p50["hist-e2e/36"] = l50;
    g_p50["hist-e2e/1"] = s50;
}

BENCHMARK(BM_EndToEnd)->Arg(36)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_InProcess)->Arg(36)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_Interleaved)->Arg(36)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(6.0);
BENCHMARK(BM_HistoryInterleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(6.0);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    RunBenchmarks(argc, argv);
    g_dbs.clear();
    for (auto& [months, server] : g_servers) {
        server->stub.reset();
        server->process.terminate();
        server->process.waitForFinished(10000);
    }
    g_servers.clear();
    const auto ratio = [](const char* a, const char* b) {
        if (g_p50.count(a) && g_p50.count(b))
            std::printf("p50 %-15s / %-15s = %.3f\n", a, b, g_p50[a] / g_p50[b]);
    };
    ratio("e2e/36", "inproc/36");
    ratio("e2e/1", "inproc/1");
    ratio("e2e/36", "e2e/1");
    ratio("inproc/36", "inproc/1");
    ratio("mixed-e2e/36", "mixed-inproc/36");
    ratio("mixed-e2e/1", "mixed-inproc/1");
    ratio("hist-e2e/36", "hist-e2e/1");
    return 0;
}
