// The host's resident memory over many launches: each cycle opens the month dialog, confirms it, lets the
// dashboard refresh against a real kpd-appserver over the demo database, and closes it with Escape, as a
// manager who opens the cockpit many times a day does. Reports the growth from the first to the last cycle.
#include "demoserver.h"
#include "benchsupport.h"

#include "hostfunctions.h"
#include "launch.h"
#include "messagedlg.h"
#include "modulestate.h"
#include "tbuttonflat.h"
#include "tdateeditplus.h"
#include "tfrmfiltroindicresult.h"
#include "tfrmindiresult.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLocale>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace {

QDate g_month;
int g_messages = 0;

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

void confirmWhenAsked()
{
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TfrmFiltroIndicResult*>(QApplication::activeModalWidget());
        if (!dialog)
            return confirmWhenAsked();
        dialog->depData->SetDate(DateTimeUtil::fromDate(g_month));
        dialog->sbtConfirma->Click();
    });
}

// Launch, confirm, first refresh, Escape; then back to the host's event loop, as between two launches.
void launchCycle()
{
    confirmWhenAsked();
    CriaIndicResult();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
    QApplication::sendEvent(frmIndiResult, &escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void BM_LaunchCycles(benchmark::State& state)
{
    const int cycles = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < 10; ++i) // warm-up: caches, fonts, the channel
            launchCycle();
        const double before = residentMegabytes();
        for (int i = 0; i < cycles; ++i)
            launchCycle();
        state.counters["rss_before_mb"] = before;
        state.counters["rss_after_mb"] = residentMegabytes();
        state.counters["rss_growth_mb"] = residentMegabytes() - before;
    }
}
BENCHMARK(BM_LaunchCycles)->Arg(500)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    SetMessagePresenter([](MessageKind, const QString& text) {
        ++g_messages;
        std::fprintf(stderr, "mensagem: %s\n", qPrintable(text));
    });

    ServerProcess server;
    if (!StartDemoServer(server, QStringLiteral("appserver-launch.log")))
        return 1;
    const QDate thisMonth(QDate::currentDate().year(), QDate::currentDate().month(), 1);
    g_month = thisMonth.addMonths(-1);

    RunBenchmarks(argc, argv);
    server.stop();
    return g_messages == 0 ? 0 : 1;
}
