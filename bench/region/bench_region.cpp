// getRegionData (the largest region, some 530 of 2,000 branches) against getCkpData for the same month,
// side by side in one run, as the data module computes them for either face.
#include "databasepool.h"
#include "demodatabase.h"
#include "rdmindicresult.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>

#include <memory>

using namespace appserver;

namespace {

const QDate kMonth(2026, 11, 1);

struct Fixture {
    std::unique_ptr<Database> db;
    std::unique_ptr<DatabasePool> pool;
    std::unique_ptr<RdmIndicResult> module;
    QString largest;
};

Fixture& fixture()
{
    static Fixture f = [] {
        Fixture out;
        const QString path = QStringLiteral(KPD_BENCH_CACHE_DIR "/region-2000x13.db");
        if (!QFile::exists(path))
            DemoDatabase::create(path, {2000, 13, kMonth});
        out.db = std::make_unique<Database>(DatabaseSettings::sqliteFile(path, true));
        out.pool = std::make_unique<DatabasePool>(*out.db, 1);
        out.module = std::make_unique<RdmIndicResult>(*out.pool);
        out.pool->run([&out](Database& d) {
            d.forEachRow(QStringLiteral("SELECT cdareagere FROM filial GROUP BY cdareagere ORDER BY COUNT(*) DESC LIMIT 1"), {},
                         [&out](const Database::Row& row) { out.largest = QString::fromUtf8(row.text(0)); });
            return 0;
        });
        return out;
    }();
    return f;
}

void getCkpData(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(f.module->month(cockpit::RefMonth(kMonth), CallScope{}));
}

void getRegionData(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(f.module->region(cockpit::RefMonth(kMonth), f.largest, CallScope{}));
    state.SetLabel(f.largest.toStdString());
}

} // namespace

BENCHMARK(getCkpData)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(getRegionData)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
