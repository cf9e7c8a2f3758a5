#include "gaugerules.h"
#include "tovergauge.h"

#include <QStringList>
#include <algorithm>
#include <QTest>

using Zones = QList<QPair<double, double>>; // start, stop of zones 0 (red), 1 (yellow), 2 (green)

namespace {

// A gauge that refuses an inverted range, as a strict component may, and records the range calls.
class RecordingGauge : public TOverGauge {
public:
    QStringList calls;
    bool invertedSeen = false;

    void SetMinValue(double v) override
    {
        calls << QStringLiteral("min %1").arg(v);
        if (v >= MaxValue()) {
            invertedSeen = true;
            return;
        }
        TOverGauge::SetMinValue(v);
    }
    void SetMaxValue(double v) override
    {
        calls << QStringLiteral("max %1").arg(v);
        if (v <= MinValue()) {
            invertedSeen = true;
            return;
        }
        TOverGauge::SetMaxValue(v);
    }
};

} // namespace

class TestGaugeRules : public QObject {
    Q_OBJECT
private slots:
    void shouldSetRangeAndZones_data();
    void shouldSetRangeAndZones();
    void shouldColourNeedleByZoneHoldingValue_data();
    void shouldColourNeedleByZoneHoldingValue();
    void shouldChangeRangeWithoutInvertingIt_data();
    void shouldChangeRangeWithoutInvertingIt();
};

void TestGaugeRules::shouldSetRangeAndZones_data()
{
    QTest::addColumn<double>("T");
    QTest::addColumn<bool>("higherIsBetter");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<Zones>("zones");

    QTest::newRow("T 40 higher worse") << 40.0 << false << 20.0 << 60.0
                                       << Zones{{44, 60}, {40, 44}, {20, 40}};
    QTest::newRow("T 5 higher better") << 5.0 << true << 2.5 << 7.5 << Zones{{2.5, 4.5}, {4.5, 5}, {5, 7.5}};
    // The range stays as the gauge had it (0 to 75 at start).
    QTest::newRow("T 0 keeps range") << 0.0 << true << 0.0 << 75.0 << Zones{{0, 0}, {0, 0}, {0, 0}};
    QTest::newRow("negative revenue") << -10.0 << true << -15.0 << -5.0
                                      << Zones{{-9, -5}, {-10, -9}, {-15, -10}};
    QTest::newRow("negative, higher worse") << -10.0 << false << -15.0 << -5.0
                                            << Zones{{-15, -11}, {-11, -10}, {-10, -5}};
    // The red/yellow edge is the double nearest to the exact product: a plain double product
    // would give 55.000000000000007 and 11.700000000000001.
    QTest::newRow("edge 1.1 x 50 exact") << 50.0 << false << 25.0 << 75.0
                                         << Zones{{55, 75}, {50, 55}, {25, 50}};
    QTest::newRow("edge 0.9 x 13 nearest") << 13.0 << true << 6.5 << 19.5
                                           << Zones{{6.5, 11.7}, {11.7, 13}, {13, 19.5}};
}

void TestGaugeRules::shouldSetRangeAndZones()
{
    QFETCH(double, T);
    QFETCH(bool, higherIsBetter);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(Zones, zones);

    TOverGauge gauge;
    gauge.SetMaxValue(75);
    gauge.SetMinValue(0);
    ConfigureGaugeZones(&gauge, higherIsBetter, T);

    QCOMPARE(gauge.MinValue(), min);
    QCOMPARE(gauge.MaxValue(), max);
    QCOMPARE(gauge.Annulars(), 3);
    QCOMPARE(gauge.AnnularID(), 2);
    const TColor colours[3] = {clRed, clYellow, clGreen};
    for (int i = 0; i < 3; ++i) {
        gauge.SetAnnularID(i);
        QCOMPARE(gauge.AnnularColor(), colours[i]);
        // Exact comparison on purpose: the borders must meet without a gap.
        QVERIFY2(gauge.AnnularStartValue() == zones[i].first, qPrintable(QString::number(i)));
        QVERIFY2(gauge.AnnularStopValue() == zones[i].second, qPrintable(QString::number(i)));
        QCOMPARE(gauge.annularInner(), 0.7);
        QCOMPARE(gauge.Annularouter(), 1.0);
    }
}

void TestGaugeRules::shouldColourNeedleByZoneHoldingValue_data()
{
    QTest::addColumn<double>("T");
    QTest::addColumn<bool>("higherIsBetter");
    QTest::addColumn<double>("value");
    QTest::addColumn<TColor>("expected"); // clBlue: the colour the needle had before

    QTest::newRow("40 worse, 42 yellow") << 40.0 << false << 42.0 << clYellow;
    QTest::newRow("40 worse, 40 green") << 40.0 << false << 40.0 << clGreen;
    QTest::newRow("40 worse, 44 yellow") << 40.0 << false << 44.0 << clYellow;
    QTest::newRow("40 worse, 45 red") << 40.0 << false << 45.0 << clRed;
    QTest::newRow("40 worse, 60 red") << 40.0 << false << 60.0 << clRed;
    QTest::newRow("40 worse, 61 red at the right end") << 40.0 << false << 61.0 << clRed;
    QTest::newRow("40 worse, 19 green at the left end") << 40.0 << false << 19.0 << clGreen;
    QTest::newRow("5 better, 5 green") << 5.0 << true << 5.0 << clGreen;
    QTest::newRow("5 better, 4.5 yellow") << 5.0 << true << 4.5 << clYellow;
    QTest::newRow("5 better, 2.5 red") << 5.0 << true << 2.5 << clRed;
    QTest::newRow("5 better, 7.5 green") << 5.0 << true << 7.5 << clGreen;
    QTest::newRow("5 better, 10 green at the right end") << 5.0 << true << 10.0 << clGreen;
    QTest::newRow("15 worse, 4 green at the left end") << 15.0 << false << 4.0 << clGreen;
    QTest::newRow("5 better, 2 red at the left end") << 5.0 << true << 2.0 << clRed;
    QTest::newRow("0, 0 green") << 0.0 << true << 0.0 << clGreen;
    QTest::newRow("0, 1 keeps") << 0.0 << true << 1.0 << clBlue;
    QTest::newRow("0, -1 limited to 0 green") << 0.0 << false << -1.0 << clGreen;
    QTest::newRow("-10 better, -12 green") << -10.0 << true << -12.0 << clGreen;
    QTest::newRow("-10 better, -10 green") << -10.0 << true << -10.0 << clGreen;
    QTest::newRow("-10 better, -9 yellow") << -10.0 << true << -9.0 << clYellow;
    QTest::newRow("-10 better, -6 red") << -10.0 << true << -6.0 << clRed;
    QTest::newRow("-10 better, -4 red at the right end") << -10.0 << true << -4.0 << clRed;
}

void TestGaugeRules::shouldColourNeedleByZoneHoldingValue()
{
    QFETCH(double, T);
    QFETCH(bool, higherIsBetter);
    QFETCH(double, value);
    QFETCH(TColor, expected);

    TOverGauge gauge;
    gauge.SetNeedleCOlor(clBlue);
    gauge.SetNeedleHubCOlor(clBlue);
    ConfigureGaugeZones(&gauge, higherIsBetter, T);
    gauge.SetProgress(value);
    ColorNeedleByZone(&gauge);

    QCOMPARE(gauge.Progress(), std::clamp(value, gauge.MinValue(), gauge.MaxValue()));
    QCOMPARE(gauge.NeedleColor(), expected);
    QCOMPARE(gauge.needleHubCOlor(), expected);
}

void TestGaugeRules::shouldChangeRangeWithoutInvertingIt_data()
{
    QTest::addColumn<double>("oldMin");
    QTest::addColumn<double>("oldMax");
    QTest::addColumn<double>("T");
    QTest::addColumn<bool>("higherIsBetter");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("0-75 to 100-300: max first") << 0.0 << 75.0 << 200.0 << true
                                                << QStringList{"max 300", "min 100"};
    QTest::newRow("200-300 to 20-60: min first") << 200.0 << 300.0 << 40.0 << false
                                                 << QStringList{"min 20", "max 60"};
    QTest::newRow("overlapping 0-75 to 20-60") << 0.0 << 75.0 << 40.0 << false
                                               << QStringList{"min 20", "max 60"};
    QTest::newRow("new min at old max") << 0.0 << 100.0 << 200.0 << true
                                        << QStringList{"max 300", "min 100"};
    QTest::newRow("negative below") << 0.0 << 75.0 << -10.0 << true << QStringList{"min -15", "max -5"};
    QTest::newRow("T 0 leaves range alone") << 0.0 << 75.0 << 0.0 << true << QStringList{};
}

void TestGaugeRules::shouldChangeRangeWithoutInvertingIt()
{
    QFETCH(double, oldMin);
    QFETCH(double, oldMax);
    QFETCH(double, T);
    QFETCH(bool, higherIsBetter);
    QFETCH(QStringList, calls);

    RecordingGauge gauge;
    gauge.SetMinValue(-1e9);
    gauge.SetMaxValue(oldMax);
    gauge.SetMinValue(oldMin);
    gauge.calls.clear();

    ConfigureGaugeZones(&gauge, higherIsBetter, T);

    QCOMPARE(gauge.calls, calls);
    QVERIFY(!gauge.invertedSeen);
    if (!calls.isEmpty()) {
        QCOMPARE(gauge.MinValue(), 0.5 * std::min(T, 3 * T));
        QCOMPARE(gauge.MaxValue(), 0.5 * std::max(T, 3 * T));
    } else {
        QCOMPARE(gauge.MinValue(), oldMin);
        QCOMPARE(gauge.MaxValue(), oldMax);
    }
}

QTEST_MAIN(TestGaugeRules)
#include "tst_gaugerules.moc"
