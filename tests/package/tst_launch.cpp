#include "hostfunctions.h"
#include "launch.h"
#include "modulestate.h"
#include "tapplication.h"
#include "tbuttonflat.h"
#include "tdateeditplus.h"
#include "tfrmfiltroindicresult.h"
#include "tfrmindiresult.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

namespace {

TfrmFiltroIndicResult* asDialog(QWidget* w) { return qobject_cast<TfrmFiltroIndicResult*>(w); }

// Types the date into the open dialog's editor and confirms.
void confirmWith(const QString& digits)
{
    WhenModal([digits](QWidget* w) {
        auto* dlg = asDialog(w);
        QVERIFY(dlg);
        dlg->depData->Clear();
        dlg->depData->SetFocus();
        QTest::keyClicks(dlg->depData, digits);
        dlg->sbtConfirma->Click();
    });
}

void cancelDialog()
{
    WhenModal([](QWidget* w) { asDialog(w)->sbtCancela->Click(); });
}

int dashboardCount()
{
    int n = 0;
    for (QWidget* w : Application()->OwnedWindows())
        n += qobject_cast<TfrmIndiResult*>(w) != nullptr;
    return n;
}

} // namespace

class TestLaunch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        // Nothing listens there: every first refresh fails at its connect, as with a server that is down.
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        m_recorder = std::make_unique<MessageRecorder>();
    }
    void init() { m_recorder->messages.clear(); }
    void cleanupTestCase() { m_recorder.reset(); }

    void shouldStoreFirstDayOfConfirmedMonth()
    {
        confirmWith(QStringLiteral("17032008"));
        CriaIndicResult();
        QCOMPARE(dtData, 39508.0);
        QVERIFY(frmIndiResult);
        QVERIFY(frmIndiResult->isVisible());
        QCOMPARE(frmIndiResult->windowTitle(), QStringLiteral("Indicadores de Resultado"));
        QVERIFY(frmIndiResult->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(frmIndiResult->palette().color(QPalette::Window), QColor(Qt::black));
        QVERIFY(Application()->OwnedWindows().contains(frmIndiResult));
        QCOMPARE(frmFiltroIndicResult->ModalResult(), int(mrOk));
        // The dialog outlives its modal run and its editor still answers.
        QCOMPARE(frmFiltroIndicResult->depData->GetPrimDia(), 39508.0);
        // The first refresh ran inside the launch and failed at its connect: the launch goes on regardless.
        QCOMPARE(frmIndiResult->ActivateCount(), 1);
        QVERIFY(!frmIndiResult->LastActivateCompleted());
        QCOMPARE(m_recorder->messages.size(), 1);
        QVERIFY2(m_recorder->messages.first().contains(QStringLiteral("127.0.0.1")), qPrintable(m_recorder->messages.first()));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void shouldLeaveEverythingAsItWasOnCancel()
    {
        const double before = dtData;
        TfrmIndiResult* const dashboard = frmIndiResult;
        const int dashboards = dashboardCount();
        cancelDialog();
        CriaIndicResult();
        QCOMPARE(dtData, before);
        QCOMPARE(frmIndiResult, dashboard);
        QCOMPARE(dashboardCount(), dashboards);
        QCOMPARE(frmFiltroIndicResult->ModalResult(), int(mrCancel));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void shouldCancelWhenTheDialogIsClosedOtherwise()
    {
        const double before = dtData;
        WhenModal([](QWidget* w) { w->close(); });
        CriaIndicResult();
        QCOMPARE(dtData, before);
        QCOMPARE(frmFiltroIndicResult->ModalResult(), int(mrCancel));
    }

    void shouldKeepBothDashboardsOfTwoLaunches()
    {
        const int dashboards = dashboardCount();
        confirmWith(QStringLiteral("10012008"));
        CriaIndicResult();
        TfrmIndiResult* first = frmIndiResult;
        confirmWith(QStringLiteral("05022008"));
        CriaIndicResult();
        QVERIFY(frmIndiResult != first);
        QCOMPARE(dashboardCount(), dashboards + 2);
        QVERIFY(first->isVisible() && frmIndiResult->isVisible());
        QCOMPARE(dtData, DateTimeUtil::fromDate(QDate(2008, 2, 1)));

        // A later launch releases the earlier windows that are hidden, and only those.
        QPointer<TfrmIndiResult> hidden = first;
        QPointer<TfrmIndiResult> shown = frmIndiResult;
        QPointer<TfrmFiltroIndicResult> oldDialog = frmFiltroIndicResult;
        hidden->Close();
        confirmWith(QStringLiteral("05032008"));
        CriaIndicResult();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!hidden && !oldDialog);
        QVERIFY(shown && shown->isVisible());
        QVERIFY(frmIndiResult != shown && frmIndiResult->isVisible());
    }

    void shouldHoldTheHourglassWhileTheDialogIsOpen()
    {
        bool hourglass = false;
        WhenModal([&hourglass](QWidget* w) {
            hourglass = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
            asDialog(w)->sbtCancela->Click();
        });
        CriaIndicResult();
        QVERIFY(hourglass);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void shouldAnswerKeysByFocus_data()
    {
        QTest::addColumn<int>("tabs"); // Tab presses after typing into the editor
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("Enter in the editor confirms") << 0 << int(Qt::Key_Return) << int(mrOk);
        QTest::newRow("Enter on Confirmar confirms") << 1 << int(Qt::Key_Return) << int(mrOk);
        QTest::newRow("Space on Confirmar confirms") << 1 << int(Qt::Key_Space) << int(mrOk);
        QTest::newRow("Enter on Cancelar cancels") << 2 << int(Qt::Key_Enter) << int(mrCancel);
        QTest::newRow("Space on Cancelar cancels") << 2 << int(Qt::Key_Space) << int(mrCancel);
        QTest::newRow("Escape in the editor cancels") << 0 << int(Qt::Key_Escape) << int(mrCancel);
    }
    void shouldAnswerKeysByFocus()
    {
        QFETCH(int, tabs);
        QFETCH(int, key);
        QFETCH(int, result);
        dtData = 123.0;
        WhenModal([tabs, key](QWidget* w) {
            auto* d = asDialog(w);
            d->depData->Clear();
            d->depData->SetFocus();
            QTest::keyClicks(d->depData, QStringLiteral("05062024"));
            for (int i = 0; i < tabs; ++i)
                QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
            QTest::keyClick(d->focusWidget(), Qt::Key(key));
            if (d->isVisible())
                d->sbtCancela->Click(); // the key did nothing: end the test's modal run
        });
        const int before = dashboardCount();
        CriaIndicResult();
        QCOMPARE(frmFiltroIndicResult->ModalResult(), result);
        QCOMPARE(dashboardCount(), before + (result == mrOk ? 1 : 0));
        QCOMPARE(dtData, result == mrOk ? DateTimeUtil::fromDate(QDate(2024, 6, 1)) : 123.0);
        if (result == mrOk)
            frmIndiResult->Close();
    }

private:
    std::unique_ptr<MessageRecorder> m_recorder;
};

QTEST_MAIN(TestLaunch)
#include "tst_launch.moc"
