// Runs under Xvfb with openbox on a screen of 1366x768 and of 1920x1080 (KPD_XVFB_SCREEN): the dashboard
// opens scaled to the screen, whole and centred, every component at its stored place times one factor
// and its texts drawn at the scaled size. The expected rectangles are worked out by hand from the .ui's:
// the window takes the stored size times the screen's factor, rounded, and its content the factor of that.
#include "hostfunctions.h"
#include "tapplication.h"
#include "testsupport.h"
#include "tfrmindiresult.h"
#include "tlabel.h"

#include <QScreen>
#include <QtTest>

class TestScreenFit : public QObject
{
    Q_OBJECT
    TfrmIndiResult* form = nullptr;
    MessageRecorder* recorder = nullptr;

    static QSize screenSize() { return QGuiApplication::primaryScreen()->size(); }

private slots:
    void initTestCase()
    {
        QVERIFY2(screenSize() == QSize(1366, 768) || screenSize() == QSize(1920, 1080),
                 "run under tests/with-wm.sh with KPD_XVFB_SCREEN=1366x768x24 or 1920x1080x24");
        // Nothing listens on port 1: the refresh fails at once, and the layout is all this test looks at.
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        recorder = new MessageRecorder;
        Application()->SetFit(TApplication::WindowFit::Screen);
        form = new TfrmIndiResult;
        form->Show();
        QVERIFY(form->isVisible());
    }
    void cleanupTestCase()
    {
        delete form;
        delete recorder;
        Application()->SetFit(TApplication::WindowFit::Stored);
    }

    void shouldOpenWholeAndCentredOnTheScreen()
    {
        const QRect screen = form->screen()->availableGeometry();
        QVERIFY(screen.contains(form->frameGeometry()));
        // 1383x779 times the smaller of the two ratios of the screen's sides to the window's.
        QTRY_COMPARE(form->size(), screenSize().width() == 1366 ? QSize(1363, 768) : QSize(1917, 1080));
        const QRect g = form->geometry();
        QVERIFY(qAbs((g.left() - screen.left()) - (screen.right() - g.right())) <= 1);
        QVERIFY(qAbs((g.top() - screen.top()) - (screen.bottom() - g.bottom())) <= 1);
    }

    void shouldKeepEveryComponentInProportion_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        if (screenSize().width() == 1366) {
            QTest::newRow("indicFatTotal") << "indicFatTotal" << QRect(113, 71, 106, 53);
            QTest::newRow("indicMDOR1") << "indicMDOR1" << QRect(468, 149, 67, 33);
            QTest::newRow("grafFatReg") << "grafFatReg" << QRect(126, 579, 224, 189);
            QTest::newRow("pnlTitulo") << "pnlTitulo" << QRect(0, 0, 1363, 37);
        } else {
            QTest::newRow("indicFatTotal") << "indicFatTotal" << QRect(159, 100, 149, 75);
            QTest::newRow("indicMDOR1") << "indicMDOR1" << QRect(658, 209, 95, 47);
            QTest::newRow("grafFatReg") << "grafFatReg" << QRect(177, 814, 315, 266);
            QTest::newRow("pnlTitulo") << "pnlTitulo" << QRect(0, 0, 1917, 53);
        }
    }
    void shouldKeepEveryComponentInProportion()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        auto* w = form->FindComponentAs<QWidget>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), geometry);
    }

    void shouldDrawTextsAtTheScaledSize()
    {
        // 12 points at 96 dpi are 16 pixels; 16 times the factor, rounded.
        const int expected = screenSize().width() == 1366 ? 16 : 22;
        QCOMPARE(form->FindComponentAs<TLabel>(QStringLiteral("lblFaturamento"))->font().pixelSize(),
                 expected);
    }
};

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
