// Runs under Xvfb with openbox: a launch from the host's main window, as a user makes it.
#include "hostfunctions.h"
#include "launch.h"
#include "modulestate.h"
#include "tbuttonflat.h"
#include "tfrmfiltroindicresult.h"
#include "tfrmindiresult.h"
#include "testsupport.h"

#include <QApplication>
#include <QtTest>

class TestLaunchWm : public QObject {
    Q_OBJECT
private slots:
    void shouldRefreshOnceWhenLaunchedFromTheHostWindow()
    {
        // Nothing listens on port 1: every refresh shows exactly one message, which counts the refreshes.
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        MessageRecorder recorder;
        QWidget host;
        host.setWindowTitle(QStringLiteral("Host"));
        host.setGeometry(100, 100, 400, 300);
        // Launched right after the host shows itself, as `kpd-host --launch` does: the window system's
        // activation of the host window may still be on its way.
        host.show();
        bool launched = false;
        QTimer::singleShot(0, [&launched] {
            WhenModal([](QWidget* w) { qobject_cast<TfrmFiltroIndicResult*>(w)->sbtConfirma->Click(); });
            CriaIndicResult();
            launched = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(launched, 10000);
        QVERIFY(frmIndiResult);
        // A late activation of another window of the host must not cost the new dashboard a second refresh.
        QTest::qWait(1500);
        QCOMPARE(frmIndiResult->ActivateCount(), 1);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(QApplication::activeWindow(), frmIndiResult);
    }
};

QTEST_MAIN(TestLaunchWm)
#include "tst_launch_wm.moc"
