// A real browser (Debian's headless chromium) loads the cockpit page from kpd-appserver --http; the
// gauges' texts and needle colours and the grids' stripes it draws are those of the server's JSON.
#include "refreshserver.h"
#include "serverprocess.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestBrowser : public QObject {
    Q_OBJECT
    RefreshServer m_data;
    ServerProcess m_server;
    QTemporaryDir m_profile;
    QString m_chromium;

    // The page after its scripts ran: chromium dumps the DOM once the fetch and the drawing are done.
    QString renderedPage(const QString& month, const QString& path = QStringLiteral("/"))
    {
        // No sandbox: it needs user namespaces a CI container may not give, and the page is our own.
        QStringList args{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--user-data-dir=" + m_profile.path(),
                         "--virtual-time-budget=10000", "--dump-dom",
                         QStringLiteral("http://127.0.0.1:%1%2?mes=%3").arg(m_server.httpPort()).arg(path, month)};
        QProcess browser;
        browser.start(m_chromium, args);
        if (!browser.waitForFinished(60000)) {
            browser.kill();
            browser.waitForFinished();
        }
        return QString::fromUtf8(browser.readAllStandardOutput());
    }

private slots:
    void initTestCase()
    {
        m_chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        QVERIFY2(!m_chromium.isEmpty(), "chromium não está instalado (scripts/common.sh o instala)");
        QString error;
        QVERIFY2(m_data.start(&error), qPrintable(error));
        QVERIFY2(m_server.start({"--db", m_data.databasePath(), "--http", "127.0.0.1:0"}, &error), qPrintable(error));
    }

    void shouldDrawWhatTheServerComputed_data()
    {
        QTest::addColumn<QString>("month");
        QTest::newRow("five regions") << "2008-01";
        QTest::newRow("off the dial") << "2008-07";
    }

    void shouldDrawWhatTheServerComputed()
    {
        QFETCH(QString, month);
        httplib::Client client("127.0.0.1", m_server.httpPort());
        const auto r = client.Get(("/api/cockpit?month=" + month).toStdString());
        QVERIFY(r && r->status == 200);
        const QJsonObject j = QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object();

        const QString dom = renderedPage(month);
        QVERIFY2(dom.contains(QStringLiteral("data-mes=\"%1\"").arg(month)), "a página não desenhou o mês");

        // Each drawn gauge: its name, its needle's painted colour and the text under it.
        static const QRegularExpression gauge(QStringLiteral(
            "data-gauge=\"([^\"]+)\".*?class=\"agulha\"[^>]*fill=\"#([0-9a-f]{6})\".*?<div class=\"valor\">([^<]*)</div>"));
        const QJsonObject gauges = j["gauges"].toObject();
        QStringList panelNames = j["panels"].toObject().keys();
        int drawn = 0;
        for (auto it = gauge.globalMatch(dom); it.hasNext(); ++drawn) {
            const auto m = it.next();
            const QString name = m.captured(1);
            QVERIFY2(gauges.contains(name), qPrintable(name));
            // The needle as painted, #RRGGBB, against the JSON's 0x00BBGGRR.
            const int rgb = m.captured(2).toInt(nullptr, 16);
            QCOMPARE((rgb >> 16) | (rgb & 0xFF00) | (rgb & 0xFF) << 16, gauges[name]["needleColor"].toInt());
            // The text under a gauge is its panel's: pnl + the gauge's name without "indic".
            const QString panel = QStringLiteral("pnl") + name.mid(name.indexOf(QLatin1String("ndic"), 0, Qt::CaseInsensitive) - 1);
            const auto found = std::find_if(panelNames.begin(), panelNames.end(),
                                            [&](const QString& p) { return p.compare(panel, Qt::CaseInsensitive) == 0; });
            QVERIFY2(found != panelNames.end(), qPrintable(panel));
            QCOMPARE(m.captured(3).toHtmlEscaped(), j["panels"][*found].toString().toHtmlEscaped());
        }
        // The totals and one row per region this month has.
        int regions = 0;
        for (int n = 1; n <= 5; ++n)
            regions += j["labels"][QStringLiteral("lblR%1").arg(n)].toString().isEmpty() ? 0 : 1;
        QCOMPARE(drawn, 5 * (1 + regions));

        static const QRegularExpression row(QStringLiteral("<table id=\"dbgTop10\">.*?</table>"));
        // The colour each row is painted with, as 0x00BBGGRR.
        static const QRegularExpression stripe(
            QStringLiteral("<tr [^>]*style=\"background-color: rgb\\((\\d+), (\\d+), (\\d+)\\);\""));
        QJsonArray colors;
        for (auto it = stripe.globalMatch(row.match(dom).captured(0)); it.hasNext();) {
            const auto m = it.next();
            colors.append(m.captured(1).toInt() | m.captured(2).toInt() << 8 | m.captured(3).toInt() << 16);
        }
        QCOMPARE(colors, j["grids"]["dbgTop10"]["rowColors"].toArray());
    }

    // A region's page (a link one can send) draws the branches /api/region gives, in their colours.
    void shouldDrawARegionsBranchesAsTheServerGivesThem()
    {
        httplib::Client client("127.0.0.1", m_server.httpPort());
        const auto r = client.Get("/api/region?month=2008-01&region=DDD");
        QVERIFY(r && r->status == 200);
        const QJsonObject region = QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object();
        const QString page = renderedPage(QStringLiteral("2008-01"), QStringLiteral("/regiao/DDD"));
        static const QRegularExpression table(QStringLiteral("<table id=\"filiais\">.*</table>"));
        const QString rows = table.match(page).captured(0);
        QVERIFY2(!rows.isEmpty(), qPrintable(page.left(2000)));
        for (const QJsonValue& row : region[QStringLiteral("rows")].toArray())
            for (const QJsonValue& cell : row.toArray())
                QVERIFY2(rows.contains(QStringLiteral(">%1</td>").arg(cell[QStringLiteral("text")].toString())),
                         qPrintable(cell[QStringLiteral("text")].toString()));
        QVERIFY(page.contains(QStringLiteral("Voltar ao cockpit")));
        // A branch's consumption of 42 % is judged against its region's own target of 45 %, not the fixed 40:
        // green, as the desktop paints it.
        QVERIFY(rows.contains(QStringLiteral("color: rgb(0, 128, 0);\">42,0%")));
    }

    void cleanupTestCase()
    {
        QVERIFY(m_server.stop());
        QVERIFY(m_data.stop());
    }
};

QTEST_GUILESS_MAIN(TestBrowser)
#include "tst_browser.moc"
