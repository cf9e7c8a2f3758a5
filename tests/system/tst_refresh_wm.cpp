// Runs under Xvfb with openbox: only a window manager hands the activation back after a message box.
#include "cockpitview.h"
#include "tdbgrid.h"
#include "tdbchart.h"
#include "tpanel.h"
#include "tlabel.h"
#include "testsupport.h"
#include "refreshserver.h"

#include "hostfunctions.h"
#include "messagedlg.h"
#include "modulestate.h"
#include "tfrmindiresult.h"

#include <QApplication>
#include <QLocale>
#include <QScopeGuard>
#include <QTableView>
#include <QWindow>
#include <QtTest>

class TestRefreshWithWindowManager : public QObject {
    Q_OBJECT
    RefreshServer m_server;
    std::unique_ptr<TfrmIndiResult> m_form; // gone after each test, even a failed one

    TfrmIndiResult* showCockpit(const QDate& month)
    {
        m_form = std::make_unique<TfrmIndiResult>();
        dtData = DateTimeUtil::fromDate(month);
        m_form->Show();
        return m_form.get();
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QString error;
        QVERIFY2(m_server.startAndUse(&error), qPrintable(error));
    }

    void cleanup() { m_form.reset(); }

    void cleanupTestCase()
    {
        SetServerAddressProvider({}, {});
        QVERIFY(m_server.stop());
    }

    // After the refresh the keyboard is on the first grid, also once the desktop has activated the window.
    void focusLandsOnTheFirstGrid()
    {
        TfrmIndiResult* form = showCockpit(RefreshServer::kFiveRegions);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::qWait(200);
        QVERIFY(form->LastActivateCompleted());
        QCOMPARE(form->ActivateCount(), 1);
        QCOMPARE(QApplication::focusWidget(), ComponentOf<TDBGrid>(form, "dbgTop10"));
    }

    // A double-click on a region's code opens its window with its branches; Escape closes it, and the
    // cockpit is left as it was.
    void regionWindowOpensOnDoubleClickAndClosesOnEscape()
    {
        TfrmIndiResult* form = showCockpit(RefreshServer::kFiveRegions);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::mouseDClick(ComponentOf<TLabel>(form, "lblR4"), Qt::LeftButton);
        QWidget* region = nullptr;
        QTRY_VERIFY((region = qobject_cast<QWidget*>(QApplication::activeWindow())) && region != form);
        QCOMPARE(region->objectName(), QStringLiteral("frmRegiao"));
        QCOMPARE(region->findChild<TLabel*>(QStringLiteral("lblTitulo"))->Caption(), QString::fromUtf8("Regional DDD — Janeiro/2008"));
        const QAbstractItemModel* branches = region->findChild<QTableView*>(QStringLiteral("grdFiliais"))->model();
        QCOMPARE(branches->rowCount(), 1);
        QCOMPARE(branches->index(0, 1).data().toString(), QStringLiteral("Filial DDD"));
        QCOMPARE(branches->index(0, 6).data().toString(), QStringLiteral("6,0%"));
        QTest::keyClick(region, Qt::Key_Escape);
        QTRY_VERIFY(!region->isVisible());
    }

    // A double-click on "Total" opens the twelve months' window on the month shown (T does too); Escape
    // closes it and leaves the cockpit open.
    void trendWindowOpensOnTotalAndClosesOnEscape()
    {
        TfrmIndiResult* form = showCockpit(RefreshServer::kThreeRegions);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::mouseDClick(ComponentOf<TLabel>(form, "lblTotal"), Qt::LeftButton);
        QWidget* trends = nullptr;
        QTRY_VERIFY((trends = qobject_cast<QWidget*>(QApplication::activeWindow())) && trends != form);
        QCOMPARE(trends->objectName(), QStringLiteral("frmTendencia"));
        QCOMPARE(trends->findChild<TLabel*>(QStringLiteral("lblTitulo"))->Caption(), QString::fromUtf8("Últimos 12 meses até Fevereiro/2008"));
        QTest::keyClick(trends, Qt::Key_Escape);
        QTRY_VERIFY(!trends->isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), form);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_T);
        QTRY_VERIFY(trends->isVisible());
    }

    // The region window belongs to its cockpit: kept above it, on the month the cockpit shows whichever of
    // the two takes PageUp/PageDown, closed by the cockpit's Escape before the cockpit is, and with it.
    void regionWindowFollowsItsCockpit()
    {
        TfrmIndiResult* form = showCockpit(RefreshServer::kFiveRegions);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::mouseDClick(ComponentOf<TLabel>(form, "lblR4"), Qt::LeftButton);
        QWidget* region = nullptr;
        QTRY_VERIFY((region = qobject_cast<QWidget*>(QApplication::activeWindow())) && region != form);
        QCOMPARE(region->windowHandle()->transientParent(), form->windowHandle());
        QVERIFY(!(region->windowFlags() & Qt::FramelessWindowHint));
        const auto title = [region] { return region->findChild<TLabel*>(QStringLiteral("lblTitulo"))->Caption(); };
        QCOMPARE(title(), QString::fromUtf8("Regional DDD — Janeiro/2008"));

        const auto needle = [region] { return region->findChild<QWidget*>(QStringLiteral("indicFat"))->property("NeedleColor").toInt(); };
        QVERIFY(needle() != clGray);

        // February has no DDD: its gauges rest, not January's needles.
        QTest::keyClick(region, Qt::Key_PageDown);
        QTRY_COMPARE(title(), QString::fromUtf8("Regional DDD — Fevereiro/2008"));
        QCOMPARE(cockpit::ShownView(form).month, cockpit::RefMonth(RefreshServer::kThreeRegions));
        QCOMPARE(needle(), int(clGray));
        QCOMPARE(QApplication::activeWindow(), region);
        QTest::keyClick(form, Qt::Key_PageUp);
        QTRY_COMPARE(title(), QString::fromUtf8("Regional DDD — Janeiro/2008"));
        QVERIFY(needle() != clGray);

        QTest::keyClick(form, Qt::Key_Escape);
        QTRY_VERIFY(!region->isVisible());
        QVERIFY(form->isVisible());
        QTest::mouseDClick(ComponentOf<TLabel>(form, "lblR4"), Qt::LeftButton);
        QTRY_VERIFY(region->isVisible());
        QTest::keyClick(region, Qt::Key_Escape);
        QTRY_VERIFY(!region->isVisible());
        QTest::keyClick(form, Qt::Key_Escape);
        QTRY_VERIFY(!form->isVisible());

        form->Show();
        QTest::mouseDClick(ComponentOf<TLabel>(form, "lblR4"), Qt::LeftButton);
        QTRY_VERIFY(region->isVisible());
        form->Close();
        QTRY_VERIFY(!region->isVisible());
    }

    // Dismissing the message of a sixth region gives the activation back to the dashboard: that must not
    // start a second refresh, which would show the message again without end.
    void sixRegionsShowTheMessageOnce()
    {
        QStringList shown;
        const MessagePresenter previous = CurrentMessagePresenter();
        SetMessagePresenter([&shown](MessageKind kind, const QString& text) {
            shown << text;
            // The real box, dismissed shortly as a user would.
            QTimer::singleShot(400, [] {
                if (QWidget* box = QApplication::activeModalWidget())
                    box->close();
            });
            ShowMessageBox(kind, text);
        });
        const auto restore = qScopeGuard([&] {
            m_form.reset();
            SetMessagePresenter(previous);
        });

        m_form = std::make_unique<TfrmIndiResult>();
        TfrmIndiResult* form = m_form.get();
        dtData = DateTimeUtil::fromDate(RefreshServer::kSixRegions);
        form->Show();
        QTest::qWait(2500);

        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first().startsWith(QString::fromUtf8("Há mais de 5 regionais")));
        QCOMPARE(form->ActivateCount(), 1);
        QVERIFY(!form->LastActivateCompleted());
        QVERIFY(form->isVisible());
        QCOMPARE(form->FindComponent(QStringLiteral("lblR5"))->property("Caption").toString(), QStringLiteral("EEE"));
    }
};

QTEST_MAIN(TestRefreshWithWindowManager)
#include "tst_refresh_wm.moc"
