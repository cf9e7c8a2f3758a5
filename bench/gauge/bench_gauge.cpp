// Cost of one full paint of a dashboard gauge (three zones, needle, hub) at the two sizes the dashboard
// uses. Thirty of them repaint on every refresh.

#include "tovergauge.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

static void BM_PaintGauge(benchmark::State& state)
{
    const QSize size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    TOverGauge gauge;
    gauge.SetMinValue(20);
    gauge.SetMaxValue(60);
    const double edges[4] = {20, 36, 40, 60};
    const TColor colours[3] = {clRed, clYellow, clGreen};
    for (int i = 0; i < 3; ++i) {
        gauge.SetAnnularID(i);
        gauge.SetAnnularColor(colours[i]);
        gauge.SetAnnularStartValue(edges[i]);
        gauge.SetAnnularStopValue(edges[i + 1]);
    }
    gauge.SetProgress(42);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        gauge.paint(painter, QRectF(QPointF(0, 0), QSizeF(size)));
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaintGauge)->Args({107, 54})->Args({68, 34})->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
