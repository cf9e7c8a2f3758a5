// kpd-appserver --http seen by an HTTP client: a bad month, sign-in refused, slowed and accepted, TLS
// required off loopback, the counters Prometheus reads; what a client may send (bodies, headers,
// pipelining, the Host of an open face); sign-in under a burst and across addresses, the users file
// changed under a running server, sign-out, SIGHUP, and a port that cannot be bound.
#include "auditlog.h"
#include "httpsessions.h"
#include "signinthrottle.h"
#include "cockpitdatabase.h"
#include "refreshserver.h"
#include "serverprocess.h"
#include "testcertificates.h"

#include <httplib.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// What a raw HTTP/1.1 exchange brought back: everything the server wrote until it closed or went quiet.
struct Raw {
    std::string text;
    int status() const { return text.size() > 12 ? std::atoi(text.c_str() + 9) : 0; }
    int answers() const { return int(QString::fromStdString(text).count(QStringLiteral("HTTP/1.1 "))); }
    bool has(const std::string& s) const { return text.find(s) != std::string::npos; }
};

// A connection from a loopback address of our choice (127.0.0.0/8 is all this machine's), so a test
// can be many clients.
int connectFrom(int port, const char* from)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{}, server{};
    local.sin_family = server.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    server.sin_port = htons(quint16(port));
    timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0
        || ::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

Raw readAll(int fd)
{
    Raw r;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        r.text.append(buffer, size_t(n));
    ::close(fd);
    return r;
}

Raw raw(int port, const std::string& request, const char* from = "127.0.0.1")
{
    const int fd = connectFrom(port, from);
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return readAll(fd);
}

std::string host(int port) { return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"; }

std::string signInRequest(int port, const char* password, const std::string& extra = "")
{
    const std::string body = QJsonDocument(QJsonObject{{"usuario", kUser}, {"senha", password}}).toJson().toStdString();
    return "POST /api/entrar HTTP/1.1\r\n" + host(port) + "Connection: close\r\nContent-Type: application/json\r\n"
           + extra + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string monthRequest(int port, const std::string& cookie)
{
    return "GET /api/cockpit?month=2008-04 HTTP/1.1\r\n" + host(port) + "Connection: close\r\nCookie: " + cookie
           + "\r\n\r\n";
}

// The session cookie a sign-in answer set, "kpd_sessao=…".
std::string cookieOf(const Raw& r)
{
    const auto at = r.text.find("kpd_sessao=");
    return at == std::string::npos ? std::string() : r.text.substr(at, r.text.find(';', at) - at);
}

bool changeUsers(const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(QStringLiteral(KPD_APPSERVER_BIN), args);
    p.write(input);
    p.closeWriteChannel();
    return p.waitForFinished(30000) && p.exitCode() == 0;
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
    // A value is one line for every reader: no character any of them breaks a line at, and a cut value
    // still valid UTF-8.
    void shouldWriteEveryAuditValueOnOneLine_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << "ana" << QByteArray("ana");
        QTest::newRow("C0 and quotes") << "a\nb\"c" << QByteArray("\"a\\x0ab\\\"c\"");
        QTest::newRow("NEL and line separator") << QString::fromUtf8("a\u0085 entrada usuario=admin\u2028b")
                                                 << QByteArray("\"a\\x85 entrada usuario=admin\\u2028b\"");
        QTest::newRow("cut at a whole character") << QString(199, QLatin1Char('a')) + QString::fromUtf8("é")
                                                   << "\"" + QByteArray(199, 'a') + "...\"";
    }
    void shouldWriteEveryAuditValueOnOneLine()
    {
        QFETCH(QString, value);
        const QByteArray written = appserver::AuditLog::quoted(value);
        QTEST(written, "written");
        QVERIFY(QString::fromUtf8(written).toUtf8() == written);
    }

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
        QTest::newRow("line feed after the month") << "?month=2026-03%0A";
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

    // Any region code the schema allows is drilled into (its CSV named safely); one the database does not
    // have is not found (404), which is not a failure of anything; a code that cannot be one is a bad request.
    void shouldAnswerAnyRegionCodeAndNotFindAnUnknownOne()
    {
        CockpitDatabase db(m_dir.filePath(QStringLiteral("regioes.db")));
        QVERIFY2(db.create(), qPrintable(db.error()));
        QVERIFY(db.addRegion("P&D") && db.addBranch(1, "Laboratório", "P&D") &&
                db.addDay(1, QDate(2026, 12, 1), 100000, 40000, 40000, 10000));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({"--db", db.path(), "--http", "127.0.0.1:0"}, &error), qPrintable(error));
        httplib::Client client("127.0.0.1", server.httpPort());
        const auto region = client.Get("/api/region?month=2026-12&region=P%26D");
        QVERIFY(region && region->status == 200);
        QCOMPARE(bodyOf(region)["title"].toString(), QStringLiteral("Regional P&D — Dezembro/2026"));
        const auto csv = client.Get("/api/region.csv?month=2026-12&region=P%26D");
        QVERIFY(csv && csv->status == 200);
        QCOMPARE(QString::fromStdString(csv->get_header_value("Content-Disposition")),
                 QStringLiteral("attachment; filename=\"regional-P_D-2026-12.csv\""));
        const auto unknown = client.Get("/api/region?month=2026-12&region=ZZ");
        QVERIFY(unknown && unknown->status == 404);
        QCOMPARE(bodyOf(unknown)["erro"].toString(), QStringLiteral("A regional \"ZZ\" não existe."));
        const auto malformed = client.Get("/api/region?month=2026-12&region=%01A");
        QVERIFY(malformed && malformed->status == 400);
        const auto page = client.Get("/regiao/P.D");   // a code with a dot is not a file's name
        QVERIFY(page && page->status == 200);
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
        QCOMPARE(j["title"].toString(),
                 QStringLiteral("BI Business Intelligence - Resultados Operacionais  (Abril/2008)"));
    }

    // A wall asking again gets 304 without a body while nothing changed; a plain write committed before
    // the call gives the new month; another user never revalidates against the first one's answer.
    void shouldRevalidateUntilTheFiguresChange()
    {
        const QString db = m_dir.filePath(QStringLiteral("revalida.db"));
        QVERIFY(QFile::copy(m_data.databasePath(), db));
        const QString users = m_dir.filePath(QStringLiteral("usuarios-revalida"));
        QVERIFY(QFile::copy(m_users, users));
        QVERIFY(changeUsers({"--add-user", "bia", "--users", users}, "senha-da-bia\n"));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({"--db", db, "--http", "127.0.0.1:0", "--users", users}, &error), qPrintable(error));
        httplib::Client client("127.0.0.1", server.httpPort());
        const std::string path = "/api/cockpit?month=2008-04";
        const auto first = client.Get(path, basic(kUser, kPassword));
        QVERIFY(first && first->status == 200);
        const std::string tag = first->get_header_value("ETag");
        QVERIFY(!tag.empty());
        httplib::Headers again = basic(kUser, kPassword);
        again.emplace("If-None-Match", tag);
        const auto same = client.Get(path, again);
        QCOMPARE(same->status, 304);
        QVERIFY(same->body.empty());
        QVERIFY(client.Get("/api/region?month=2008-04&region=NE", again)->status != 304);
        httplib::Headers other = basic("bia", "senha-da-bia");
        other.emplace("If-None-Match", tag);
        QCOMPARE(client.Get(path, other)->status, 200);
        {
            QSqlDatabase write = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("revalida"));
            write.setDatabaseName(db);
            QVERIFY(write.open());
            QVERIFY(QSqlQuery(write).exec(QStringLiteral("INSERT INTO carga_etl VALUES ('2009-01-02 06:00:00')")));
            write.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("revalida"));
        const auto changed = client.Get(path, again);
        QCOMPARE(changed->status, 200);
        QVERIFY(changed->get_header_value("ETag") != tag);
        QVERIFY(changed->body.find("02/01/2009") != std::string::npos);
        QVERIFY(server.stop());
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

    // A page elsewhere can make its own name resolve to 127.0.0.1; an open face answers only its own names.
    void shouldAnswerAnOpenFaceOnlyByThisMachinesNames_data()
    {
        QTest::addColumn<QString>("hostHeader");
        QTest::addColumn<int>("status");
        QTest::newRow("127.0.0.1 and the port") << "127.0.0.1:%1" << 200;
        QTest::newRow("localhost and the port") << "LocalHost:%1" << 200;
        QTest::newRow("[::1] and the port") << "[::1]:%1" << 200;
        QTest::newRow("another name") << "rebind.attacker.example:%1" << 421;
        QTest::newRow("another port") << "127.0.0.1:1" << 421;
        QTest::newRow("no port") << "127.0.0.1" << 421;
    }

    void shouldAnswerAnOpenFaceOnlyByThisMachinesNames()
    {
        QFETCH(QString, hostHeader);
        QFETCH(int, status);
        const Raw r = raw(m_open.httpPort(), "GET /api/cockpit?month=2008-04 HTTP/1.1\r\nHost: "
                                                 + hostHeader.replace("%1", QString::number(m_open.httpPort())).toStdString() + "\r\n\r\n");
        QCOMPARE(r.status(), status);
        QCOMPARE(r.has("scopes"), status == 200);
    }

    // Nothing a client sends is kept beyond its limit: a body only where sign-in takes one, by its
    // declared length, and headers within the connection's memory.
    void shouldRefuseWhatNoRouteTakesBeforeReadingIt_data()
    {
        QTest::addColumn<QString>("head");
        QTest::addColumn<int>("status");
        QTest::newRow("chunked body where none is taken") << "POST /api/cockpit HTTP/1.1\r\nTransfer-Encoding: chunked\r\n" << 413;
        QTest::newRow("body on a page") << "GET / HTTP/1.1\r\nContent-Length: 10\r\n" << 413;
        QTest::newRow("sign-in of 300 MiB") << "POST /api/entrar HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: 314572800\r\n" << 413;
        QTest::newRow("sign-in without a length") << "POST /api/entrar HTTP/1.1\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n" << 411;
        QTest::newRow("headers beyond the connection's memory") << "GET / HTTP/1.1\r\n" + QString("X-Enchimento: 0123456789\r\n").repeated(3000) << 431;
    }

    void shouldRefuseWhatNoRouteTakesBeforeReadingIt()
    {
        QFETCH(QString, head);
        QFETCH(int, status);
        const int fd = connectFrom(m_open.httpPort(), "127.0.0.1");
        const std::string request = head.toStdString() + host(m_open.httpPort()) + "\r\n";
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        // Then the body keeps coming, a mebibyte at a time, until the server has closed the connection.
        const std::string chunk = "100000\r\n" + std::string(0x100000, 'x') + "\r\n";
        qint64 sent = 0;
        for (ssize_t n; sent < 300LL << 20 && (n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL)) > 0;)
            sent += n;
        const Raw r = readAll(fd);
        QCOMPARE(r.status(), status);
        QVERIFY2(sent < 300LL << 20, "the server read the whole body");
    }

    void shouldAnswerPipelinedRequestsInOrder()
    {
        const std::string h = host(m_open.httpPort());
        const Raw r = raw(m_open.httpPort(), "GET /cockpit.css HTTP/1.1\r\n" + h + "\r\nGET /api/cockpit?month=2008-04 HTTP/1.1\r\n" + h
                                                 + "\r\nGET /nada HTTP/1.1\r\n" + h + "Connection: close\r\n\r\n");
        QCOMPARE(r.answers(), 3);
        const auto css = r.text.find("text/css"), month = r.text.find("\"scopes\""), missing = r.text.find("404 Not Found");
        QVERIFY2(css < month && month < missing && missing != std::string::npos, r.text.c_str());
    }

    // Sixteen wrong passwords at once from one address: one is checked, the others wait their turn.
    void shouldCheckOnePasswordOfAParallelBurst()
    {
        std::vector<int> sockets;
        for (int i = 0; i < 16; ++i) {
            sockets.push_back(connectFrom(m_guarded.httpPort(), "127.0.0.77"));
            const std::string r = signInRequest(m_guarded.httpPort(), "errada");
            ::send(sockets.back(), r.data(), r.size(), MSG_NOSIGNAL);
        }
        QMap<int, int> statuses;
        for (int fd : sockets)
            ++statuses[readAll(fd).status()];
        QCOMPARE(statuses, (QMap<int, int>{{401, 1}, {429, 15}}));
    }

    // Wrong passwords from changing addresses, all at once: past the minute's cap a new address waits
    // too; a person already signed in does not notice.
    void shouldCapWrongPasswordsAcrossAddresses()
    {
        ServerProcess server;
        QVERIFY(startServer(server, {"--users", m_users}));
        const int port = server.httpPort();
        const std::string cookie = cookieOf(raw(port, signInRequest(port, kPassword), "127.0.1.1"));
        QVERIFY(!cookie.empty());
        std::vector<int> sockets;
        for (int i = 0; i < appserver::SignInThrottle::kFailuresPerMinute + 12; ++i) {
            sockets.push_back(connectFrom(port, qPrintable(QStringLiteral("127.0.2.%1").arg(i + 1))));
            const std::string r = signInRequest(port, "errada");
            ::send(sockets.back(), r.data(), r.size(), MSG_NOSIGNAL);
        }
        QMap<int, int> statuses;
        for (int fd : sockets)
            ++statuses[readAll(fd).status()];
        QCOMPARE(statuses, (QMap<int, int>{{401, appserver::SignInThrottle::kFailuresPerMinute}, {429, 12}}));
        QCOMPARE(raw(port, signInRequest(port, kPassword), "127.0.2.200").status(), 429);
        QCOMPARE(raw(port, monthRequest(port, cookie)).status(), 200);
        QVERIFY(server.stop());
    }

    // The users file changed under a running server: the new password works at once, the old one and
    // the sessions opened with it no longer do; a removed user's sessions end; sign-out needs no body.
    void shouldFollowTheUsersFile()
    {
        const QString users = m_dir.filePath(QStringLiteral("usuarios-mudam"));
        QVERIFY(QFile::copy(m_users, users));
        ServerProcess server;
        QVERIFY(startServer(server, {"--users", users}));
        const int port = server.httpPort();
        const std::string before = cookieOf(raw(port, signInRequest(port, kPassword), "127.0.3.1"));
        QCOMPARE(raw(port, monthRequest(port, before)).status(), 200);

        QVERIFY(changeUsers({"--add-user", kUser, "--users", users}, "outra-senha-1\n"));
        QCOMPARE(raw(port, signInRequest(port, kPassword), "127.0.3.2").status(), 401);
        QCOMPARE(raw(port, monthRequest(port, before)).status(), 401);
        const std::string after = cookieOf(raw(port, signInRequest(port, "outra-senha-1"), "127.0.3.3"));
        QCOMPARE(raw(port, monthRequest(port, after)).status(), 200);

        const std::string out = "POST /api/sair HTTP/1.1\r\n" + host(port) + "Connection: close\r\nCookie: " + after + "\r\n\r\n";
        QCOMPARE(raw(port, out).status(), 204);
        QCOMPARE(raw(port, monthRequest(port, after)).status(), 401);

        const std::string last = cookieOf(raw(port, signInRequest(port, "outra-senha-1"), "127.0.3.4"));
        QVERIFY(changeUsers({"--add-user", "bia", "--users", users}, "senha-da-bia\n"));
        QVERIFY(changeUsers({"--remove-user", kUser, "--users", users}));
        QCOMPARE(raw(port, monthRequest(port, last)).status(), 401);
        QVERIFY(server.stop());
    }

    void shouldRefuseAUsersFileOthersMayWrite()
    {
        const QString users = m_dir.filePath(QStringLiteral("usuarios-abertos"));
        QVERIFY(QFile::copy(m_users, users));
        QVERIFY(QFile::setPermissions(users, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                                 | QFileDevice::WriteGroup));
        QProcess server;
        server.start(QStringLiteral(KPD_APPSERVER_BIN),
                     {"--db", m_data.databasePath(), "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0", "--users", users});
        QVERIFY(server.waitForFinished(30000));
        QCOMPARE(server.exitCode(), 1);
        const QString error = QString::fromUtf8(server.readAllStandardError());
        QVERIFY2(error.contains(QStringLiteral("pode ser alterado por outros")) && error.contains(QStringLiteral("chmod 600")),
                 qPrintable(error));
    }

    // SIGHUP, a reload reflex or a closed terminal, reopens the log and rereads the users; it stops nothing.
    void shouldReloadOnSighup()
    {
        const QString log = m_dir.filePath(QStringLiteral("servidor.log"));
        ServerProcess server;
        QVERIFY(startServer(server, {"--users", m_users, "--log", log}));
        QVERIFY(QFile::rename(log, log + QStringLiteral(".1")));
        ::kill(pid_t(server.process().processId()), SIGHUP);
        QTRY_VERIFY(QFile::exists(log));
        const auto logged = [&log] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) && f.readAll().contains("arquivo de usuários");
        };
        QTRY_VERIFY(logged());
        QCOMPARE(raw(server.httpPort(), "GET / HTTP/1.1\r\n" + host(server.httpPort()) + "Connection: close\r\n\r\n").status(), 200);
        QVERIFY(server.stop());
    }

    // The audit record: each sign-in with its method and result, what was seen and taken, sign-out, and a
    // rotation by SIGHUP; never the password. Prometheus counts the sign-ins.
    void shouldRecordWhoSignedInSawAndTookWhat()
    {
        const QString audit = m_dir.filePath(QStringLiteral("auditoria.log"));
        ServerProcess server;
        QVERIFY(startServer(server, {"--users", m_users, "--audit", audit}));
        const int port = server.httpPort();
        QCOMPARE(raw(port, signInRequest(port, "errada"), "127.0.4.1").status(), 401);
        const std::string cookie = cookieOf(raw(port, signInRequest(port, kPassword), "127.0.4.2"));
        QVERIFY(!cookie.empty());
        const auto get = [&](const std::string& path) {
            return raw(port, "GET " + path + " HTTP/1.1\r\n" + host(port) + "Connection: close\r\nCookie: " + cookie + "\r\n\r\n");
        };
        QCOMPARE(get("/api/cockpit?month=2008-04").status(), 200);
        QCOMPARE(get("/api/cockpit?month=2008-04&lista=top10").status(), 200);
        QCOMPARE(get("/api/region?month=2008-04&region=AAA").status(), 200);
        const Raw metrics = get("/metrics");
        QVERIFY2(metrics.has("kpd_signins_total{method=\"arquivo\",result=\"aceita\"} 1")
                     && metrics.has("kpd_signins_total{method=\"arquivo\",result=\"recusada\"} 1"),
                 metrics.text.c_str());

        QVERIFY(QFile::rename(audit, audit + QStringLiteral(".1")));
        ::kill(pid_t(server.process().processId()), SIGHUP);
        QTRY_VERIFY(QFile::exists(audit));
        const std::string out = "POST /api/sair HTTP/1.1\r\n" + host(port) + "Connection: close\r\nCookie: " + cookie + "\r\n\r\n";
        QCOMPARE(raw(port, out).status(), 204);
        QVERIFY(server.stop());

        const auto lines = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
        };
        const QStringList before = lines(audit + QStringLiteral(".1")), after = lines(audit);
        const QStringList expected{
            "entrada usuario=ana origem=127.0.4.1 via=pagina metodo=arquivo resultado=recusada motivo=usuario-ou-senha",
            "entrada usuario=ana origem=127.0.4.2 via=pagina metodo=arquivo resultado=aceita",
            "mes usuario=ana origem=127.0.0.1 mes=2008-04",
            "lista usuario=ana origem=127.0.0.1 mes=2008-04 lista=top10 formato=csv",
            "regional usuario=ana origem=127.0.0.1 mes=2008-04 regional=AAA"};
        QCOMPARE(before.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(before[i].section(' ', 1), expected[i]);
        QCOMPARE(after.size(), 1);
        QCOMPARE(after[0].section(' ', 1), QStringLiteral("saida usuario=ana origem=127.0.0.1"));
        QVERIFY(QDateTime::fromString(after[0].section(' ', 0, 0), Qt::ISODateWithMs).isValid());
        QVERIFY(!(before + after).join('\n').contains(QLatin1String(kPassword)));
    }

    void shouldSayWhyThePortCannotBeBound()
    {
        QProcess server;
        server.start(QStringLiteral(KPD_APPSERVER_BIN), {"--db", m_data.databasePath(), "--listen", "127.0.0.1:0", "--http",
                                                         QStringLiteral("127.0.0.1:%1").arg(m_open.httpPort())});
        QVERIFY(server.waitForFinished(30000));
        QCOMPARE(server.exitCode(), 2);
        const QString error = QString::fromUtf8(server.readAllStandardError());
        QVERIFY2(error.contains(QStringLiteral("já está em uso")), qPrintable(error));
    }

    // A session ends after half an hour without a request, after twelve hours in any case, and with
    // the password it was opened with.
    void shouldEndASession_data()
    {
        using namespace std::chrono;
        QTest::addColumn<int>("idleMinutes");
        QTest::addColumn<int>("ageMinutes");
        QTest::addColumn<bool>("passwordChanged");
        QTest::addColumn<bool>("valid");
        QTest::newRow("used 29 minutes ago") << 29 << 29 << false << true;
        QTest::newRow("idle for 30 minutes") << 30 << 30 << false << false;
        QTest::newRow("in use, 11 h 59 old") << 1 << 719 << false << true;
        QTest::newRow("in use, 12 h old") << 1 << 720 << false << false;
        QTest::newRow("password changed") << 1 << 1 << true << false;
    }

    void shouldEndASession()
    {
        QFETCH(int, idleMinutes);
        QFETCH(int, ageMinutes);
        QFETCH(bool, passwordChanged);
        QFETCH(bool, valid);
        using namespace std::chrono;
        appserver::HttpSessions sessions;
        const auto opened = appserver::HttpSessions::Clock::now();
        const QByteArray token = sessions.open(QStringLiteral("ana"), "hash-1", opened);
        const auto credential = [&](const QString&) { return QByteArray(passwordChanged ? "hash-2" : "hash-1"); };
        // Used every 25 minutes until the last use, then idle.
        const auto lastUse = opened + minutes(ageMinutes - idleMinutes);
        for (auto t = opened + minutes(25); t < lastUse; t += minutes(25))
            QVERIFY(sessions.use(token, [](const QString&) { return QByteArray("hash-1"); }, t));
        if (lastUse > opened)
            QVERIFY(sessions.use(token, [](const QString&) { return QByteArray("hash-1"); }, lastUse));
        QCOMPARE(sessions.use(token, credential, opened + minutes(ageMinutes)).has_value(), valid);
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
