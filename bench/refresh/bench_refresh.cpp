// One dashboard refresh against a real kpd-appserver over the demo database (60 branches, 5 regions), split
// into the server's part (connect and getCkpData over loopback) and the client's part (loading the packets,
// texts, gauges), and one full repaint of the dashboard.
#include "demoserver.h"
#include "benchsupport.h"
#include "ckppackets.h"

#include "hostfunctions.h"
#include "messagedlg.h"
#include "modulestate.h"
#include "tapplication.h"
#include "tappserver.h"
#include "tclientdataset.h"
#include "tfrmindiresult.h"
#include "tindicresultdata.h"
#include "tnetconnection.h"
#include "variantdate.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

ServerProcess* g_server = nullptr;
TfrmIndiResult* g_form = nullptr;
TForm* g_other = nullptr;
QStringList g_messages;
TDateTime g_month = 0;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The user leaves for another window of the host and comes back: the connection closes and the whole
// refresh runs again, connect included.
void comeBack()
{
    Application()->WindowActivated(g_other);
    dtData = g_month;
    Application()->WindowActivated(g_form);
}

// The server's part of a refresh: opening the connection and the getCkpData round trip.
QVariantList serverCall()
{
    g_form->Data()->netIndicResult->SetConnected(false);
    g_form->Data()->netIndicResult->SetConnected(true);
    QVariantList args(8);
    args[0] = VariantDate::FromDateTime(g_month);
    g_form->Data()->netIndicResult->AppServer()->Invoke(QLatin1String(CkpPackets::kMethod), args);
    return args;
}

void BM_FullRefresh(benchmark::State& state)
{
    for (auto _ : state) {
        comeBack();
        state.PauseTiming();
        if (!g_form->LastActivateCompleted())
            state.SkipWithError("a atualização não terminou");
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FullRefresh)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ServerCallOnly(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(serverCall());
}
BENCHMARK(BM_ServerCallOnly)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Both, back to back in every iteration and in alternating order, so that drifts of the machine and the
// tear-down of the previous connection hit both alike. The time reported is the client's part (whole
// refresh minus the server's part); the counters give the averages and the share.
void BM_ClientShareOfRefresh(benchmark::State& state)
{
    double whole = 0, server = 0;
    bool serverFirst = true;
    for (auto _ : state) {
        double w = 0, s = 0;
        for (int pass = 0; pass < 2; ++pass) {
            const auto t0 = Clock::now();
            if ((pass == 0) == serverFirst) {
                serverCall();
                s = secondsSince(t0);
            } else {
                comeBack();
                w = secondsSince(t0);
            }
            QCoreApplication::processEvents();
        }
        serverFirst = !serverFirst;
        whole += w;
        server += s;
        state.SetIterationTime(std::max(0.0, w - s));
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["refresh_ms"] = 1000.0 * whole / n;
    state.counters["server_ms"] = 1000.0 * server / n;
    state.counters["client_ms"] = 1000.0 * (whole - server) / n;
    state.counters["client_pct"] = whole > 0 ? 100.0 * (whole - server) / whole : 0.0;
}
// A fixed count: with manual time, a minimum time would count only the small client part.
BENCHMARK(BM_ClientShareOfRefresh)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1500)->Repetitions(5);

// A whole refresh (come back to the window: connect, call, load, draw the texts) against the server's
// own time for the call, as its log line gives it (from the request's arrival to its reply).
void BM_RefreshOverServerTime(benchmark::State& state)
{
    QFile log(DemoServerLogPath(QStringLiteral("appserver.log")));
    if (!log.open(QIODevice::ReadOnly))
        state.SkipWithError("sem o registro do servidor");
    log.seek(log.size());
    static const QRegularExpression ms(QStringLiteral(" getCkpData ref=\\S+ (\\d+\\.\\d+) ms OK"));
    double whole = 0, own = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        comeBack();
        const double w = secondsSince(t0);
        state.SetIterationTime(w);
        whole += w;
        QCoreApplication::processEvents();
        const auto m = ms.match(QString::fromUtf8(log.readAll()));
        if (!m.hasMatch()) {
            state.SkipWithError("a chamada não apareceu no registro do servidor");
            break;
        }
        own += m.captured(1).toDouble() / 1000.0;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["refresh_ms"] = 1000.0 * whole / n;
    state.counters["server_own_ms"] = 1000.0 * own / n;
    state.counters["ratio"] = own > 0 ? whole / own : 0.0;
}
BENCHMARK(BM_RefreshOverServerTime)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1500)->Repetitions(3);

// The client's data work in isolation: the five recorded packets checked and loaded into the datasets,
// with the grids and charts that follow them.
void BM_LoadRecordedPackets(benchmark::State& state)
{
    const QVariantList args = serverCall();
    const std::pair<TClientDataSet*, int> loads[] = {{g_form->Data()->cdsIndicadores, 1}, {g_form->Data()->cdsTop10, 2},
                                                     {g_form->Data()->cdsBottom10, 3}, {g_form->Data()->cdsGrafPizza, 4},
                                                     {g_form->Data()->cdsDiasEstoque, 7}};
    for (auto _ : state) {
        for (const auto& [cds, index] : loads) {
            const TDataPacket packet = args[index].value<TDataPacket>();
            cds->SetData(packet);
        }
    }
}
BENCHMARK(BM_LoadRecordedPackets)->Unit(benchmark::kMicrosecond);

void BM_FullRepaint(benchmark::State& state)
{
    comeBack();
    QCoreApplication::processEvents();
    QImage image(g_form->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        g_form->render(&painter);
        painter.end();
        benchmark::DoNotOptimize(image.bits());
    }
    state.counters["width"] = g_form->width();
    state.counters["height"] = g_form->height();
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    SetMessagePresenter([](MessageKind, const QString& text) {
        g_messages << text;
        std::fprintf(stderr, "mensagem: %s\n", qPrintable(text));
    });

    ServerProcess server;
    if (!StartDemoServer(server, QStringLiteral("appserver.log")))
        return 1;
    g_server = &server;

    // The last complete month of the demo.
    const QDate thisMonth(QDate::currentDate().year(), QDate::currentDate().month(), 1);
    g_month = DateTimeUtil::fromDate(thisMonth.addMonths(-1));
    dtData = g_month;

    auto form = std::make_unique<TfrmIndiResult>();
    auto other = std::make_unique<TForm>();
    g_form = form.get();
    g_other = other.get();
    g_form->Show();
    if (!g_form->LastActivateCompleted()) {
        std::fprintf(stderr, "a primeira atualização falhou\n");
        return 1;
    }
    std::fprintf(stderr, "regionais: %d, top10: %d, dias de estoque: %d\n", g_form->Data()->cdsIndicadores->RecordCount() - 1,
                 g_form->Data()->cdsTop10->RecordCount(), g_form->Data()->cdsDiasEstoque->RecordCount());

    RunBenchmarks(argc, argv);

    form.reset();
    other.reset();
    server.stop();
    return g_messages.isEmpty() ? 0 : 1;
}
