#include "tclientdataset.h"
#include "tdbchart.h"
#include "tpieseries.h"

#include <QImage>
#include <QPainter>
#include <QtTest>
#include <cmath>
#include <limits>

namespace
{

TDataPacket piePacket(const QList<QPair<QString, double>>& rows)
{
    TDataPacket p;
    p.fields = {{"CDAREAGERE", TFieldType::ftString, 3}, {"VRFATLIQGER", TFieldType::ftFloat}};
    for (const auto& r : rows)
        p.rows.append({r.first, r.second});
    return p;
}

QImage render(const TDBChart& chart)
{
    QImage img(chart.size(), QImage::Format_RGB32);
    QPainter p(&img);
    chart.paint(p, QRectF(QPointF(0, 0), QSizeF(chart.size())));
    return img;
}

} // namespace

class TstTDBChart : public QObject
{
    Q_OBJECT
    QObject* owner = nullptr;
    TClientDataSet* ds = nullptr;
    TDBChart* chart = nullptr;

private slots:
    void init()
    {
        owner = new QObject;
        ds = new TClientDataSet(owner);
        ds->setObjectName("cdsGrafPizza");
        ds->AddField("CDAREAGERE", TFieldType::ftString, 3);
        ds->AddField("VRFATLIQGER", TFieldType::ftFloat);
        chart = new TDBChart;
        chart->resize(227, 192);
        chart->SetTitle("Faturamento por Regional");
        chart->SetSeriesName("FastLineSeries5");
        chart->SetYValuesSource("vrfatliqger");
        chart->SetXLabelsSource("CDAREAGERE");
        chart->SetDataSetName("CDSGRAFPIZZA");
        QVERIFY(chart->LinkDataSet(owner));
    }
    void cleanup()
    {
        delete chart;
        delete owner;
    }

    void shouldMakeOneSlicePerRecordAndRebuildOnEveryLoad()
    {
        QCOMPARE(chart->Series()->Count(), 0); // closed dataset: no slices
        ds->SetData(piePacket({{"R1", 40}, {"R2", 30}, {"R3", 20}, {"R4", 10}}));
        const TPieSeries* s = chart->Series();
        QCOMPARE(s->Count(), 4);
        QCOMPARE(s->Slices()[0].label, QString("R1"));
        QCOMPARE(s->Slices()[3].value, 10.0);
        QCOMPARE(s->Slices()[0].color, ToQColor(clRed));
        QSet<QRgb> colours;
        for (const TPieSlice& sl : s->Slices())
            colours.insert(sl.color.rgb());
        QCOMPARE(colours.size(), 4);
        const QList<double> f = s->Fractions();
        QCOMPARE(f[0], 0.4);

        ds->SetData(piePacket({{"SUL", 5}, {"NOR", 5}}));
        QCOMPARE(s->Count(), 2);
        QCOMPARE(s->Slices()[1].label, QString("NOR"));
        QCOMPARE(s->Fractions()[1], 0.5);

        ds->Close();
        QCOMPARE(s->Count(), 0);
    }

    void shouldNeverBreakOnDegenerateValues_data()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        const double big = std::numeric_limits<double>::max();
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<int>("drawn");
        QTest::newRow("all zero") << QList<double>{0, 0, 0} << 0;
        QTest::newRow("all negative") << QList<double>{-1, -5} << 0;
        QTest::newRow("zero and negative among positives") << QList<double>{10, 0, -3, 30} << 2;
        QTest::newRow("NaN") << QList<double>{nan, 2} << 1;
        QTest::newRow("infinities") << QList<double>{inf, -inf, 3} << 1;
        QTest::newRow("sum overflows") << QList<double>{big, big, big} << 3;
        QTest::newRow("single slice") << QList<double>{7} << 1;
        QTest::newRow("tiny") << QList<double>{1e-300, 1e-300} << 2;
    }
    void shouldNeverBreakOnDegenerateValues()
    {
        QFETCH(QList<double>, values);
        QFETCH(int, drawn);
        QList<QPair<QString, double>> rows;
        for (int i = 0; i < values.size(); ++i)
            rows.append({QString("R%1").arg(i + 1), values[i]});
        ds->SetData(piePacket(rows));
        const TPieSeries* s = chart->Series();
        QCOMPARE(s->Count(), values.size()); // every record keeps its legend entry
        const QList<double> f = s->Fractions();
        double sum = 0;
        int n = 0;
        for (double x : f) {
            QVERIFY(std::isfinite(x) && x >= 0.0);
            sum += x;
            n += x > 0.0;
        }
        QCOMPARE(n, drawn);
        if (drawn > 0)
            QVERIFY(std::abs(sum - 1.0) < 1e-9);
        QCOMPARE(chart->PieRect(chart->rect()).isEmpty(), drawn == 0);
        render(*chart); // must not crash nor hang
    }

    void shouldDrawATiltedPieWithItsRimBelow()
    {
        ds->SetData(piePacket({{"R1", 1}}));
        chart->SetLegendVisible(false);
        const QRectF top = chart->PieRect(chart->rect());
        QVERIFY(top.height() < top.width() * 0.8); // flattened by the tilt
        const QImage img = render(*chart);
        const QColor red = ToQColor(clRed);
        QCOMPARE(img.pixelColor(top.center().toPoint()), red);
        // Just under the front of the top face lies the darker rim of the same slice.
        const QColor rim = img.pixelColor(QPoint(int(top.center().x()), int(top.bottom()) + 3));
        QCOMPARE(rim.hue(), red.hue());
        QVERIFY(rim.value() < red.value());
        // Title in white at the top, background black.
        bool white = false;
        for (int x = 0; x < chart->width(); ++x)
            for (int y = 0; y < 16; ++y)
                white |= img.pixelColor(x, y) == QColor(Qt::white);
        QVERIFY(white);
        QCOMPARE(img.pixelColor(1, chart->height() - 2), QColor(Qt::black));
    }

    void shouldPutTheLegendAtTheLeftOnlyWhenShown()
    {
        ds->SetData(piePacket({{"R1", 1}, {"R2", 2}}));
        const QRectF legend = chart->LegendRect(chart->rect());
        QVERIFY(!legend.isEmpty());
        QVERIFY(legend.right() < chart->PieRect(chart->rect()).left());
        QCOMPARE(legend.top(), chart->height() * 0.18);
        const QImage img = render(*chart);
        // The colour box of the second entry, 20 pixels wide.
        const int y = int(legend.top() + 2 + QFontMetricsF(chart->LegendFont()).height() + 2 + 6);
        QCOMPARE(img.pixelColor(int(legend.left()) + 4 + 10, y), chart->Series()->Slices()[1].color);
        chart->SetLegendVisible(false);
        QVERIFY(chart->LegendRect(chart->rect()).isEmpty());
    }

    void shouldIgnoreClicksAndKeys()
    {
        ds->SetData(piePacket({{"R1", 1}, {"R2", 2}}));
        QVERIFY(!chart->isEnabled());
        QCOMPARE(chart->focusPolicy(), Qt::NoFocus);
        chart->show();
        const QImage before = chart->grab().toImage();
        QTest::mouseClick(chart, Qt::LeftButton, {}, chart->rect().center());
        QTest::mouseDClick(chart, Qt::LeftButton, {}, chart->rect().center());
        QTest::keyClick(chart, Qt::Key_Left);
        QCOMPARE(chart->grab().toImage(), before);
        QVERIFY(!chart->hasFocus());
        QCOMPARE(chart->Series()->Count(), 2);
    }
};

QTEST_MAIN(TstTDBChart)
#include "tst_tdbchart.moc"
