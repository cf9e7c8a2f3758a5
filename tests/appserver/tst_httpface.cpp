// kpd-appserver --http seen by an HTTP client: a bad month, sign-in refused, slowed and accepted, TLS
// required off loopback, and the counters Prometheus reads.
#include "refreshserver.h"
#include "serverprocess.h"
#include "testcertificates.h"

#include <httplib.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

const char* const kUser = "ana";
const char* const kPassword = "segredo-de-teste";

QJsonObject bodyOf(const httplib::Result& r)
{
    return r ? QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object() : QJsonObject();
}

httplib::Headers basic(const std::string& user, const std::string& password)
{
    return {{"Authorization", "Basic " + QByteArray::fromStdString(user + ":" + password).toBase64().toStdString()}};
}

} // namespace

class TestHttpFace : public QObject {
    Q_OBJECT
    RefreshServer m_data;
    QTemporaryDir m_dir;
    ServerProcess m_open;     // loopback, no users
    ServerProcess m_guarded;  // loopback, with users
    QString m_users;

    bool startServer(ServerProcess& server, const QStringList& extra)
    {
        QString error;
        const bool ok = server.start(QStringList{"--db", m_data.databasePath(), "--http", "127.0.0.1:0"} + extra, &error);
        if (!ok)
            qWarning("%s", qPrintable(error));
        return ok && server.httpPort() > 0;
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_data.start(&error), qPrintable(error));
        m_users = m_dir.filePath(QStringLiteral("usuarios"));
        QProcess add;
        add.start(QStringLiteral(KPD_APPSERVER_BIN), {"--add-user", kUser, "--users", m_users});
        add.write(QByteArray(kPassword) + '\n');
        add.closeWriteChannel();
        QVERIFY(add.waitForFinished(30000));
        QVERIFY2(add.exitCode() == 0, add.readAllStandardError().constData());
        QVERIFY(startServer(m_open, {}));
        QVERIFY(startServer(m_guarded, {"--users", m_users}));
    }

    void shouldRefuseABadMonthInPortuguese_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("month 13") << "?month=2008-13";
        QTest::newRow("short year") << "?month=08-04";
        QTest::newRow("trailing text") << "?month=2008-04x";
        QTest::newRow("no month") << "";
    }

    void shouldRefuseABadMonthInPortuguese()
    {
        QFETCH(QString, query);
        httplib::Client client("127.0.0.1", m_open.httpPort());
        const auto r = client.Get(("/api/cockpit" + query).toStdString());
        QVERIFY(r);
        QCOMPARE(r->status, 400);
        QVERIFY2(bodyOf(r)["erro"].toString().contains(QStringLiteral("mês"), Qt::CaseInsensitive), r->body.c_str());
    }

    void shouldServeThePageAndTheMonthOnAnOpenLoopback()
    {
        httplib::Client client("127.0.0.1", m_open.httpPort());
        const auto page = client.Get("/");
        QVERIFY(page && page->status == 200);
        QVERIFY(page->body.find("cockpit.js") != std::string::npos);
        const auto month = client.Get("/api/cockpit?month=2008-04");
        QVERIFY(month && month->status == 200);
        const QJsonObject j = bodyOf(month);
        QCOMPARE(j["labels"]["lblTitulo"].toString(),
                 QStringLiteral("BI Business Intelligence - Resultados Operacionais  (Abril/2008)"));
    }

    void shouldShowNoFigureBeforeSignIn()
    {
        httplib::Client client("127.0.0.1", m_guarded.httpPort());
        for (const char* path : {"/api/cockpit?month=2008-04", "/metrics"}) {
            const auto r = client.Get(path);
            QVERIFY(r);
            QCOMPARE(r->status, 401);
            QVERIFY(r->body.find("gauges") == std::string::npos && r->body.find("kpd_calls") == std::string::npos);
        }
    }

    void shouldSlowWrongPasswordsAndAcceptTheRightOne()
    {
        httplib::Client client("127.0.0.1", m_guarded.httpPort());
        const std::string path = "/api/cockpit?month=2008-04";
        QCOMPARE(client.Get(path, basic(kUser, "errada"))->status, 401);
        // Right after a failure the address waits, even with the right password.
        const auto throttled = client.Get(path, basic(kUser, kPassword));
        QCOMPARE(throttled->status, 429);
        QVERIFY(throttled->has_header("Retry-After"));
        QTest::qWait(1100);
        QCOMPARE(client.Get(path, basic(kUser, kPassword))->status, 200);

        const auto signIn = client.Post("/api/entrar", QJsonDocument(QJsonObject{{"usuario", kUser}, {"senha", kPassword}})
                                                           .toJson().toStdString(),
                                        "application/json");
        QVERIFY(signIn && signIn->status == 200);
        const QString cookie = QString::fromStdString(signIn->get_header_value("Set-Cookie"));
        for (const char* attribute : {"HttpOnly", "SameSite=Strict"})
            QVERIFY2(cookie.contains(QLatin1String(attribute)), qPrintable(cookie));
        const auto withCookie = client.Get(path, {{"Cookie", cookie.section(QLatin1Char(';'), 0, 0).toStdString()}});
        QCOMPARE(withCookie->status, 200);
    }

    void shouldRequireTlsAndUsersOffLoopback()
    {
        QProcess server;
        server.start(QStringLiteral(KPD_APPSERVER_BIN),
                     {"--db", m_data.databasePath(), "--listen", "127.0.0.1:0", "--http", "0.0.0.0:0"});
        QVERIFY(server.waitForFinished(30000));
        QCOMPARE(server.exitCode(), 2);
        QVERIFY(QString::fromUtf8(server.readAllStandardError()).contains(QStringLiteral("exige TLS")));

        TestCertificates certs;
        QString error;
        QVERIFY2(certs.create(m_dir.path(), &error), qPrintable(error));
        ServerProcess tls;
        QVERIFY2(tls.start({"--db", m_data.databasePath(), "--http", "0.0.0.0:0", "--users", m_users, "--tls-cert",
                            certs.serverCert, "--tls-key", certs.serverKey},
                           &error),
                 qPrintable(error));
        httplib::SSLClient client("127.0.0.1", tls.httpPort());
        client.set_ca_cert_path(certs.ca.toLocal8Bit().constData());
        const auto r = client.Get("/api/cockpit?month=2008-04", basic(kUser, kPassword));
        QVERIFY2(r, httplib::to_string(r.error()).c_str());
        QCOMPARE(r->status, 200);
        const auto signIn = client.Post("/api/entrar", QJsonDocument(QJsonObject{{"usuario", kUser}, {"senha", kPassword}})
                                                           .toJson().toStdString(),
                                        "application/json");
        QVERIFY(signIn && signIn->status == 200);
        const QString cookie = QString::fromStdString(signIn->get_header_value("Set-Cookie"));
        for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict"})
            QVERIFY2(cookie.contains(QLatin1String(attribute)), qPrintable(cookie));
        QVERIFY(tls.stop());
    }

    void shouldCountCallsForPrometheus()
    {
        httplib::Client client("127.0.0.1", m_open.httpPort());
        QVERIFY(client.Get("/api/cockpit?month=2008-01")->status == 200);
        const auto r = client.Get("/metrics");
        QVERIFY(r && r->status == 200);
        for (const char* series : {"kpd_calls_total{method=\"getCkpData\",outcome=\"OK\"}",
                                   "kpd_call_duration_seconds_bucket{method=\"getCkpData\",le=\"+Inf\"}",
                                   "kpd_work_queue_depth 0", "kpd_database_errors_total 0"})
            QVERIFY2(r->body.find(series) != std::string::npos, series);
    }

    void shouldServeOnlyMetricsWhenAskedTo()
    {
        ServerProcess metricsOnly;
        QString error;
        QVERIFY2(metricsOnly.start({"--db", m_data.databasePath(), "--metrics-only", "127.0.0.1:0"}, &error), qPrintable(error));
        httplib::Client client("127.0.0.1", metricsOnly.httpPort());
        QCOMPARE(client.Get("/metrics")->status, 200);
        QCOMPARE(client.Get("/api/cockpit?month=2008-04")->status, 404);
        QVERIFY(metricsOnly.stop());
    }

    void cleanupTestCase()
    {
        QVERIFY(m_open.stop());
        QVERIFY(m_guarded.stop());
        QVERIFY(m_data.stop());
    }
};

QTEST_GUILESS_MAIN(TestHttpFace)
#include "tst_httpface.moc"
