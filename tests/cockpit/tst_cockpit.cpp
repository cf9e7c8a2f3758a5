// The browser's cockpit view: what kpd-appserver --http serves
// against what the desktop dashboard shows for the same month.
#include "cockpitview.h"
#include "jsondiff.h"
#include "refreshserver.h"


#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

class TestCockpitView : public QObject {
    Q_OBJECT
    RefreshServer m_server;
    ServerProcess m_browserFace;
    QTemporaryDir m_dir;

    QJsonObject desktopExport(const QDate& month)
    {
        const QString path = m_dir.filePath(QStringLiteral("painel.json"));
        QFile::remove(path);
        QProcess host;
        host.start(QStringLiteral(KPD_HOST_BIN), {"--server", m_server.address(), "--month",
                                                  month.toString(QStringLiteral("yyyy-MM")), "--export-json", path});
        if (!host.waitForFinished(60000))
            host.kill();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }

    QJsonObject browserView(const QDate& month)
    {
        httplib::Client client("127.0.0.1", m_browserFace.httpPort());
        const auto r = client.Get("/api/cockpit?month=" + month.toString(QStringLiteral("yyyy-MM")).toStdString());
        return r && r->status == 200 ? QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object() : QJsonObject();
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY2(m_browserFace.start({"--db", m_server.databasePath(), "--http", "127.0.0.1:0"}, &error), qPrintable(error));
    }

    // The whole view of each of the test server's months, as the browser face serves it, against the
    // documents in golden/ (KPD_UPDATE_GOLDEN=1 writes them anew; read the diff before committing it).
    void shouldServeTheGoldenView_data()
    {
        QTest::addColumn<QDate>("month");
        for (const QDate& m : {RefreshServer::kFiveRegions, RefreshServer::kThreeRegions, RefreshServer::kSixRegions,
                               RefreshServer::kOneRegion, RefreshServer::kZeroRevenue, RefreshServer::kNoFigures,
                               RefreshServer::kOffDial})
            QTest::newRow(qPrintable(m.toString(QStringLiteral("yyyy-MM")))) << m;
    }

    void shouldServeTheGoldenView()
    {
        QFETCH(QDate, month);
        const QJsonObject view = browserView(month);
        QVERIFY(!view.isEmpty());
        QFile golden(QStringLiteral(KPD_GOLDEN_DIR "/%1.json").arg(month.toString(QStringLiteral("yyyy-MM"))));
        if (qEnvironmentVariableIsSet("KPD_UPDATE_GOLDEN")) {
            QVERIFY(golden.open(QIODevice::WriteOnly | QIODevice::Truncate));
            golden.write(QJsonDocument(view).toJson(QJsonDocument::Compact));
            return;
        }
        QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(golden.fileName()));
        QStringList diff;
        JsonDifferences(QJsonDocument::fromJson(golden.readAll()).object(), view, QStringLiteral("$"), diff);
        QVERIFY2(diff.isEmpty(), qPrintable(diff.join(QLatin1Char('\n'))));
    }

    void shouldShowWhatTheDesktopShows_data()
    {
        QTest::addColumn<QDate>("month");
        QTest::newRow("five regions") << RefreshServer::kFiveRegions;
        QTest::newRow("six regions") << RefreshServer::kSixRegions;
        QTest::newRow("one region") << RefreshServer::kOneRegion;
        QTest::newRow("zero revenue") << RefreshServer::kZeroRevenue;
        QTest::newRow("no figures") << RefreshServer::kNoFigures;
        QTest::newRow("off the dial") << RefreshServer::kOffDial;
    }

    void shouldShowWhatTheDesktopShows()
    {
        QFETCH(QDate, month);
        const QJsonObject desktop = desktopExport(month);
        QVERIFY(!desktop.isEmpty());
        const QJsonObject view = browserView(month);
        QVERIFY(!view.isEmpty());
        // The page in the desktop's words, against what the window shows of it.
        const QJsonObject shown = PageInDesktopNames(view);
        QStringList diff;
        JsonDifferences(DesktopPart(desktop, shown), shown, QStringLiteral("$"), diff);
        QVERIFY2(diff.isEmpty(), qPrintable(diff.join(QLatin1Char('\n'))));
    }

    void cleanupTestCase()
    {
        QVERIFY(m_browserFace.stop());
        QVERIFY(m_server.stop());
    }
};

QTEST_GUILESS_MAIN(TestCockpitView)
#include "tst_cockpit.moc"
