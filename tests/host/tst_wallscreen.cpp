// Runs under Xvfb with openbox (1600x1000): kpd-host's wall screen with the module loaded by path, as the
// host loads it, against a real kpd-appserver that stops and comes back on the same port.
#include "moduleloader.h"
#include "refreshserver.h"
#include "tform.h"
#include "tlabel.h"
#include "wallscreen.h"

#include <QApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

class TestWallScreen : public QObject
{
    Q_OBJECT

    static TLabel* label(QWidget* dashboard, const char* name)
    {
        auto* form = qobject_cast<TForm*>(dashboard);
        return form ? form->FindComponentAs<TLabel>(QLatin1String(name)) : nullptr;
    }

private slots:
    void shouldShowTheFiguresAgainOnceTheServerIsBack()
    {
        RefreshServer server;
        QString error;
        QVERIFY2(server.startAndUse(&error), qPrintable(error));
        ModuleLoader module;
        QVERIFY2(module.Load(QStringLiteral(KPD_MODULE_PATH)), qPrintable(module.ErrorString()));
        // A cycle far longer than the test: what brings the figures back is the retry after the failure.
        WallScreen wall(module, {cockpit::RefMonth(RefreshServer::kFiveRegions), 600});
        QSignalSpy quit(&wall, &WallScreen::quitRequested);
        QVERIFY(wall.Start());
        QWidget* dashboard = wall.Dashboard();
        QVERIFY(dashboard && dashboard->isVisible());
        QTRY_COMPARE(dashboard->geometry(), dashboard->screen()->geometry());
        // The content's bounds, 1108x779, scaled to 1000 high are 1422 wide: the content is centred in a band
        // of 89 pixels on either side, the title panel spanning the content only.
        QCOMPARE(dashboard->findChild<QWidget*>(QStringLiteral("pnlTitulo"))->geometry(),
                 QRect(89, 0, 1422, 49));
        QCOMPARE(label(dashboard, "lblR1")->Caption(), QStringLiteral("AAA"));
        QCOMPARE(label(dashboard, "lblAviso")->Caption(), QString());

        QTest::keyClick(dashboard, Qt::Key_Escape);
        QVERIFY(dashboard->isVisible());

        QVERIFY(server.stop());
        QVERIFY(!wall.Refresh());
        // Nobody would close a box on a wall: the failure is in the header, red, with the figures' time.
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        TLabel* notice = label(dashboard, "lblAviso");
        QVERIFY2(notice->Caption().startsWith(QStringLiteral("Atualização falhou às ")),
                 qPrintable(notice->Caption()));
        QCOMPARE(notice->FontColor(), clRed);
        QCOMPARE(label(dashboard, "lblR1")->Caption(), QStringLiteral("AAA"));

        QSignalSpy refreshed(&wall, &WallScreen::refreshed);
        QVERIFY2(server.restart(&error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(!refreshed.isEmpty() && refreshed.last().first().toBool(),
                                 (WallScreen::kRetrySeconds + 10) * 1000);
        QCOMPARE(notice->Caption(), QString());
        QCOMPARE(notice->FontColor(), clYellow);

        QTest::keyClick(dashboard, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quit.size(), 1);
        QVERIFY(server.stop());
    }
};

QTEST_MAIN(TestWallScreen)
#include "tst_wallscreen.moc"
