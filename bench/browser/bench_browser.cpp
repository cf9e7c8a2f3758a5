// The browser face on the demo database, last full month: GET /api/cockpit (the same getCkpData plus the
// cockpit view and its JSON) against getCkpData over gRPC as the desktop calls it, and the page in a
// headless chromium from navigation to its last gauge drawn (the page records performance.now() then).
#include "benchsupport.h"
#include "packets.h"
#include "pagejson.h"
#include "demoserver.h"
#include "testfigures.h"

#include "kpd.grpc.pb.h"

#include <grpcpp/grpcpp.h>
#include <httplib.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <map>

namespace {

ServerProcess g_server;
std::map<std::string, double> g_p50;
const QDate kMonth = QDate::currentDate().addMonths(-1);

void startServer()
{
    if (g_server.httpPort() == 0 && !StartDemoServer(g_server, QStringLiteral("bench_browser.log"), {"--http", "127.0.0.1:0"}))
        qFatal("kpd-appserver did not start");
}

void BM_GetCkpData(benchmark::State& state)
{
    startServer();
    auto stub = kpd::rpc::RemoteDataModule::NewStub(
        grpc::CreateChannel(g_server.address().toStdString(), grpc::InsecureChannelCredentials()));
    const kpd::rpc::InvokeRequest request = testfigures::request(kMonth);
    std::vector<double> samples;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        grpc::ClientContext context;
        kpd::rpc::InvokeReply reply;
        if (!stub->Invoke(&context, request, &reply).ok())
            qFatal("getCkpData failed");
        samples.push_back(t.nsecsElapsed() / 1e6);
    }
    state.counters["p50_ms"] = g_p50["grpc"] = Percentile(samples, 0.5);
    state.counters["p99_ms"] = Percentile(samples, 0.99);
}

void BM_ApiCockpit(benchmark::State& state)
{
    startServer();
    httplib::Client client("127.0.0.1", g_server.httpPort());
    client.set_keep_alive(true);
    const std::string path = "/api/cockpit?month=" + kMonth.toString(QStringLiteral("yyyy-MM")).toStdString();
    std::vector<double> samples;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const auto r = client.Get(path);
        if (!r || r->status != 200)
            qFatal("/api/cockpit failed");
        samples.push_back(t.nsecsElapsed() / 1e6);
    }
    state.counters["p50_ms"] = g_p50["http"] = Percentile(samples, 0.5);
    state.counters["p99_ms"] = Percentile(samples, 0.99);
}

// The server's share beyond getCkpData: the packets decoded, the view computed and written as JSON.
void BM_CockpitViewInProcess(benchmark::State& state)
{
    startServer();
    auto stub = kpd::rpc::RemoteDataModule::NewStub(
        grpc::CreateChannel(g_server.address().toStdString(), grpc::InsecureChannelCredentials()));
    grpc::ClientContext context;
    kpd::rpc::InvokeReply reply;
    if (!stub->Invoke(&context, testfigures::request(kMonth), &reply).ok())
        qFatal("getCkpData failed");
    for (auto _ : state)
        benchmark::DoNotOptimize(cockpit::MonthPageJsonText(cockpit::PacketsFromReply(reply)));
}

// One page load in a fresh headless chromium; the page's own clock from navigation to its last gauge.
// The dump waits on the browser's virtual time, which runs idle periods fast but not the work itself.
double pageDrawn(const QString& chromium, const QString& profile)
{
    static const QRegularExpression drawn(QStringLiteral("data-desenhado-ms=\"([0-9.]+)\""));
    QStringList args{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--user-data-dir=" + profile,
                     "--virtual-time-budget=10000",
                     "--dump-dom",
                     QStringLiteral("http://127.0.0.1:%1/?mes=%2").arg(g_server.httpPort()).arg(kMonth.toString("yyyy-MM"))};
    for (int attempt = 0; attempt < 5; ++attempt) {
        QProcess browser;
        browser.start(chromium, args);
        browser.waitForFinished(60000);
        const auto m = drawn.match(QString::fromUtf8(browser.readAllStandardOutput()));
        if (m.hasMatch())
            return m.captured(1).toDouble();
    }
    return -1;   // the page never drew
}

void BM_PageLoadToLastGauge(benchmark::State& state)
{
    startServer();
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty()) {
        state.SkipWithError("chromium não está instalado");
        return;
    }
    QTemporaryDir profile;
    pageDrawn(chromium, profile.path());   // a first run fills the profile and the disk cache of the program
    std::vector<double> samples;
    for (auto _ : state) {
        samples.push_back(pageDrawn(chromium, profile.path()));
        if (samples.back() < 0) {
            state.SkipWithError("a página não desenhou o mês");
            return;
        }
    }
    state.counters["p50_ms"] = Percentile(samples, 0.5);
    state.counters["max_ms"] = Percentile(samples, 1.0);
}

} // namespace

BENCHMARK(BM_GetCkpData)->Iterations(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApiCockpit)->Iterations(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CockpitViewInProcess)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PageLoadToLastGauge)->Iterations(10)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    RunBenchmarks(argc, argv);
    if (g_p50.count("grpc") && g_p50.count("http"))
        std::printf("/api/cockpit p50 / getCkpData p50 = %.2f (meta: até 1,2)\n", g_p50["http"] / g_p50["grpc"]);
    g_server.stop();
    return 0;
}
