// Runs under Xvfb with openbox: only a window manager hands the activation back after a message box.
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
#include <QtTest>

class TestRefreshWithWindowManager : public QObject {
    Q_OBJECT
    RefreshServer m_server;
    std::unique_ptr<TfrmIndiResult> m_form; // gone after each test, even a failed one

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
        m_form = std::make_unique<TfrmIndiResult>();
        TfrmIndiResult* form = m_form.get();
        dtData = DateTimeUtil::fromDate(RefreshServer::kFiveRegions);
        form->Show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::qWait(200);
        QVERIFY(form->LastActivateCompleted());
        QCOMPARE(form->ActivateCount(), 1);
        QCOMPARE(QApplication::focusWidget(), ComponentOf<TDBGrid>(form, "dbgTop10"));
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
