#include "tovergauge.h"
#include "ui_gaugedefinition.h"

#include <QImage>
#include <QMetaProperty>
#include <QPainter>
#include <QTest>

namespace {

const QRgb kSentinel = qRgb(255, 0, 255);

QImage render(const TOverGauge& gauge, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kSentinel);
    QPainter painter(&image);
    gauge.paint(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

bool near(QRgb p, QColor c, int tol = 40)
{
    return std::abs(qRed(p) - c.red()) <= tol && std::abs(qGreen(p) - c.green()) <= tol &&
           std::abs(qBlue(p) - c.blue()) <= tol;
}

// Mean x of the pixels close to `c`, or -1 when there are none.
double meanX(const QImage& image, QColor c)
{
    double sum = 0;
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (near(image.pixel(x, y), c)) {
                sum += x;
                ++n;
            }
    return n ? sum / n : -1;
}

// A gauge whose only bright blue is its needle.
void needleOnly(TOverGauge& g)
{
    for (int i = 0; i < g.Annulars(); ++i) {
        g.SetAnnularID(i);
        g.SetAnnularColor(clBlack);
    }
    g.SetNeedleCOlor(clBlue);
    g.SetNeedleHubRadius(0);
}

} // namespace

class TestTOverGauge : public QObject {
    Q_OBJECT
private slots:
    void shouldKeepZonesIndependent();
    void shouldApplyDefinitionInPropertyOrder();
    void shouldLoadFromWindowDefinition();
    void shouldKeepZonesWhenCountChanges();
    void shouldRepaintOnlyWhenASetterChangesTheDrawing_data();
    void shouldRepaintOnlyWhenASetterChangesTheDrawing();
    void shouldPointNeedleAtValue_data();
    void shouldPointNeedleAtValue();
    void shouldDrawNothingOutsideItsRect();
    void shouldDrawZonesAlongTheArc();
    void shouldWriteValueTextOnlyWithTextStyle();
};

void TestTOverGauge::shouldKeepZonesIndependent()
{
    TOverGauge g;
    g.SetAnnulars(3);
    const TColor colours[3] = {clRed, clYellow, clGreen};
    for (int i = 0; i < 3; ++i) {
        g.SetAnnularID(i);
        g.SetAnnularColor(colours[i]);
        g.SetAnnularStartValue(10 * i);
        g.SetAnnularStopValue(10 * i + 10);
    }
    g.SetAnnularID(1);
    QCOMPARE(g.AnnularColor(), clYellow);
    QCOMPARE(g.AnnularStartValue(), 10.0);
    QCOMPARE(g.AnnularStopValue(), 20.0);

    g.SetAnnularColor(clBlue);
    QCOMPARE(g.Zones()[0].color, clRed);
    QCOMPARE(g.Zones()[1].color, clBlue);
    QCOMPARE(g.Zones()[2].color, clGreen);
    QCOMPARE(g.Zones()[2].start, 20.0);

    g.SetAnnularID(7); // names no zone: ignored
    QCOMPARE(g.AnnularID(), 1);
    g.SetAnnularID(-1);
    QCOMPARE(g.AnnularID(), 1);
}

void TestTOverGauge::shouldApplyDefinitionInPropertyOrder()
{
    // A window definition writes the properties in their declared order, so the zone values must come
    // after Annulars and AnnularID.
    const QMetaObject* mo = &TOverGauge::staticMetaObject;
    const int annulars = mo->indexOfProperty("Annulars");
    const int id = mo->indexOfProperty("AnnularID");
    QVERIFY(annulars >= mo->propertyOffset() && annulars < id);
    const char* zoneProps[] = {"AnnularColor", "AnnularStartValue", "AnnularStopValue", "annularInner",
                               "Annularouter"};
    int lastZone = id;
    for (const char* name : zoneProps) {
        const int i = mo->indexOfProperty(name);
        QVERIFY2(i > id, name);
        lastZone = std::max(lastZone, i);
    }
    for (const char* name : {"BackColor", "MinValue", "MaxValue", "Progress", "NeedleColor",
                             "needleHubCOlor", "TextStyle", "TextPrecicsion", "TextPointLeft", "ParentFont"})
        QVERIFY2(mo->indexOfProperty(name) > lastZone, name);
}

void TestTOverGauge::shouldLoadFromWindowDefinition()
{
    QWidget form;
    Ui::GaugeDefinition ui;
    ui.setupUi(&form);

    const TOverGauge* r1 = ui.indicFatR1;
    QCOMPARE(r1->AnnularID(), 1);
    QCOMPARE(r1->Zones()[1].color, clYellow);
    QCOMPARE(r1->Zones()[1].start, 40.0);
    QCOMPARE(r1->Zones()[1].stop, 50.0);
    QCOMPARE(r1->Zones()[0].color, clBlack);
    QCOMPARE(r1->Zones()[2].stop, 0.0);
    QCOMPARE(r1->MaxValue(), 75.0);
    QCOMPARE(r1->MinValue(), 0.0);
    QCOMPARE(r1->Progress(), 0.0);
    QCOMPARE(r1->NeedleColor(), clRed);
    QCOMPARE(r1->needleHubCOlor(), clRed);
    QCOMPARE(r1->NeedleLength(), 0.65);
    QCOMPARE(r1->TextStyle(), TOverGauge::tsNone);
    QCOMPARE(r1->TextUnit(), QStringLiteral(" M"));
    QCOMPARE(r1->TextPointLeft(), 50);
    QVERIFY(!r1->ParentFont());

    QCOMPARE(ui.indicConsTotal->Zones()[1].inner, 0.0);
    QCOMPARE(ui.indicConsTotal->Zones()[0].inner, 0.7);
}

void TestTOverGauge::shouldKeepZonesWhenCountChanges()
{
    TOverGauge g;
    g.SetAnnulars(3);
    g.SetAnnularID(2);
    g.SetAnnularColor(clGreen);
    g.SetAnnulars(5);
    QCOMPARE(g.Annulars(), 5);
    QCOMPARE(g.AnnularID(), 2);
    QCOMPARE(g.Zones()[2].color, clGreen);
    QCOMPARE(g.Zones()[4].color, clBlack);
    QCOMPARE(g.Zones()[4].start, 0.0);
    QCOMPARE(g.Zones()[4].stop, 0.0);

    g.SetAnnulars(2); // the selected zone goes: the last remaining one is selected
    QCOMPARE(g.AnnularID(), 1);
    g.SetAnnulars(0); // one zone always stays selectable
    QCOMPARE(g.Annulars(), 1);
    QCOMPARE(g.AnnularID(), 0);
    g.SetAnnulars(1 << 30);
    QCOMPARE(g.Annulars(), TOverGauge::MaxAnnulars);
}

void TestTOverGauge::shouldRepaintOnlyWhenASetterChangesTheDrawing_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");
    const QMetaObject* mo = &TOverGauge::staticMetaObject;
    for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        if (qstrcmp(p.name(), "AnnularID") == 0)
            continue; // the selection is not drawn
        QVariant v;
        switch (p.typeId()) {
        case QMetaType::Int: v = 2; break;
        case QMetaType::Double: v = 0.5; break;
        case QMetaType::Bool: v = false; break;
        case QMetaType::QString: v = QStringLiteral(" M"); break;
        default: v = QStringLiteral("tsValue"); break; // the text style enumeration
        }
        QTest::newRow(p.name()) << QByteArray(p.name()) << v;
    }
}

void TestTOverGauge::shouldRepaintOnlyWhenASetterChangesTheDrawing()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);

    struct PaintCounter : TOverGauge {
        int paints = 0;
        void paintEvent(QPaintEvent* e) override
        {
            ++paints;
            TOverGauge::paintEvent(e);
        }
    } g;
    g.resize(107, 54);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    QTest::qWait(20);
    g.paints = 0;
    QVERIFY(g.setProperty(property.constData(), value));
    QTRY_VERIFY(g.paints > 0);
    // The same value again changes nothing on screen.
    QTest::qWait(20);
    g.paints = 0;
    QVERIFY(g.setProperty(property.constData(), value));
    QTest::qWait(50);
    QCOMPARE(g.paints, 0);
}

void TestTOverGauge::shouldPointNeedleAtValue_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("where"); // where the needle's tip lies in the widget

    for (QSize size : {QSize(107, 54), QSize(68, 34)}) {
        const QByteArray s = QByteArray::number(size.width());
        QTest::newRow(s + " at min") << size << 20.0 << 60.0 << 20.0 << "left";
        QTest::newRow(s + " below min") << size << 20.0 << 60.0 << -100.0 << "left";
        QTest::newRow(s + " middle") << size << 20.0 << 60.0 << 40.0 << "top";
        QTest::newRow(s + " quarter") << size << 20.0 << 60.0 << 30.0 << "upper left";
        QTest::newRow(s + " at max") << size << 20.0 << 60.0 << 60.0 << "right";
        QTest::newRow(s + " above max") << size << 20.0 << 60.0 << 1e300 << "right";
        QTest::newRow(s + " negative range") << size << -15.0 << -5.0 << -6.0 << "right";
        QTest::newRow(s + " empty range") << size << 5.0 << 5.0 << 7.0 << "left";
        QTest::newRow(s + " no value") << size << 0.0 << 75.0 << qQNaN() << "left";
        QTest::newRow(s + " infinite range") << size << -qInf() << 75.0 << 7.0 << "left";
    }
}

void TestTOverGauge::shouldPointNeedleAtValue()
{
    QFETCH(QSize, size);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, value);
    QFETCH(QString, where);

    TOverGauge g;
    needleOnly(g);
    g.SetMinValue(min);
    g.SetMaxValue(max);
    g.SetProgress(value);
    const QImage image = render(g, size);

    // The tip is the needle pixel farthest from the bottom middle, where the needle turns.
    const QPointF pivot(size.width() / 2.0, size.height());
    QPointF tip(-1, -1);
    double best = -1;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (near(image.pixel(x, y), QColor(Qt::blue), 60)) {
                const double d = QLineF(pivot, QPointF(x, y)).length();
                if (d > best) {
                    best = d;
                    tip = QPointF(x, y);
                }
            }
    QVERIFY2(best > 0, "needle not drawn");
    const double fx = tip.x() / size.width(), fy = tip.y() / size.height();
    const QByteArray at = QByteArray::number(fx, 'f', 2) + ", " + QByteArray::number(fy, 'f', 2);
    if (where == "left")
        QVERIFY2(fx < 0.3 && fy > 0.65, at);
    else if (where == "right")
        QVERIFY2(fx > 0.7 && fy > 0.65, at);
    else if (where == "top")
        QVERIFY2(std::abs(fx - 0.5) < 0.06 && fy < 0.5, at);
    else
        QVERIFY2(fx > 0.2 && fx < 0.45 && fy < 0.6 && fy > 0.2, at);
}

void TestTOverGauge::shouldDrawNothingOutsideItsRect()
{
    TOverGauge g;
    g.SetMinValue(0);
    g.SetMaxValue(10);
    g.SetAnnularColor(clGreen);
    g.SetAnnularStartValue(-100);
    g.SetAnnularStopValue(100);
    g.SetAnnularouterRadius(50);
    g.SetNeedleLength(40);
    g.SetNeedleWidth(3);
    g.SetNeedleHubRadius(9);
    g.SetProgress(1e9);
    g.SetTextStyle(TOverGauge::tsValue);
    g.SetTextUnit(QString(60, QLatin1Char('M')));
    g.SetTextPointLeft(100);

    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(kSentinel);
    const QRect inside(50, 40, 107, 54);
    {
        QPainter painter(&image);
        g.paint(painter, QRectF(inside));
    }
    int changedInside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const bool in = inside.contains(x, y);
            if (!in)
                QVERIFY2(image.pixel(x, y) == kSentinel, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            else if (image.pixel(x, y) != kSentinel)
                ++changedInside;
        }
    QCOMPARE(changedInside, inside.width() * inside.height()); // the background covers the whole rect
}

void TestTOverGauge::shouldDrawZonesAlongTheArc()
{
    // Red, yellow, green from left to right when higher is better, the other way round when worse.
    for (bool better : {true, false}) {
        TOverGauge g;
        g.SetMinValue(20);
        g.SetMaxValue(60);
        const double edges[2][4] = {{20, 36, 40, 60}, {60, 44, 40, 20}};
        const TColor colours[3] = {clRed, clYellow, clGreen};
        for (int i = 0; i < 3; ++i) {
            g.SetAnnularID(i);
            g.SetAnnularColor(colours[i]);
            g.SetAnnularStartValue(edges[better ? 0 : 1][i]);
            g.SetAnnularStopValue(edges[better ? 0 : 1][i + 1]);
        }
        g.SetNeedleCOlor(clWhite);
        g.SetNeedleHubCOlor(clWhite);
        for (QSize size : {QSize(107, 54), QSize(68, 34)}) {
            const QImage image = render(g, size);
            const double red = meanX(image, Qt::red), yellow = meanX(image, Qt::yellow);
            const double green = meanX(image, QColor(0, 128, 0));
            QVERIFY(red >= 0 && yellow >= 0 && green >= 0);
            if (better)
                QVERIFY(red < yellow && yellow < green);
            else
                QVERIFY(green < yellow && yellow < red);
        }
    }
}

void TestTOverGauge::shouldWriteValueTextOnlyWithTextStyle()
{
    TOverGauge g;
    g.setFont(QFont(QStringLiteral("Arial"), 9));
    QVERIFY(!g.ParentFont());
    g.SetMaxValue(2000);
    g.SetProgress(1234.5);
    g.SetTextPrecicsion(1);
    g.SetTextStyle(TOverGauge::tsNone);
    g.SetTextUnit(QString());
    const QImage plain = render(g, QSize(107, 54));
    g.SetTextUnit(QStringLiteral(" M"));
    QCOMPARE(g.ValueText(), QString());
    QCOMPARE(render(g, QSize(107, 54)), plain);

    g.SetTextStyle(TOverGauge::tsValue);
    QCOMPARE(g.ValueText(), QStringLiteral("1.234,5 M"));
    QVERIFY(render(g, QSize(107, 54)) != plain);
}

QTEST_MAIN(TestTOverGauge)
#include "tst_tovergauge.moc"
