// Two kpd-appserver instances over one PostgreSQL database behind a real load balancer (Debian's HAProxy,
// checking each instance's /healthz): one instance killed under load and started again. Desktops (the
// client's own call, over gRPC) and browsers keep getting answers, every answer is the one a --no-keep
// server gives, and the instance that comes back is sent calls only once it says it is healthy.
#include "pgcluster.h"
#include "serverprocess.h"
#include "testfigures.h"

#include "datapacket.h"
#include "remotecallclient.h"
#include "variantdate.h"
#include "tdatetime.h"

#include <httplib.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port free on loopback now (the balancer's configuration names each instance's ports before they start).
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// The balancer's view of a server: "UP", "DOWN", ... from its statistics page.
QString stateOf(int statsPort, const char* server)
{
    httplib::Client client("127.0.0.1", statsPort);
    client.set_url_encode(false);   // ";csv" as it is
    const auto r = client.Get("/stats;csv");
    if (!r)
        return {};
    for (const QString& line : QString::fromStdString(r->body).split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("grpc,%1,").arg(QLatin1String(server))))
            return line.section(QLatin1Char(','), 17, 17);
    return {};
}

// A desktop's call of a month, with the client the module uses: the indicators' rows, or the failure.
QString desktopCall(int port, const QDate& month)
{
    TRemoteCallClient client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(port);
    try {
        client.Connect();
        QVariantList args(8);
        args[0] = VariantDate::FromDateTime(DateTimeUtil::fromDate(month));
        const QVariant result = client.Invoke(QStringLiteral("KPD00100.rdmIndicResult"), QStringLiteral("getCkpData"), args);
        if (result.toInt() != 0 || result.typeId() == QMetaType::QString)
            return QStringLiteral("falha: ") + result.toString();
        QStringList rows;
        for (int a = 1; a < 8; ++a)
            for (const QVector<QVariant>& row : args[a].value<TDataPacket>().rows) {
                QStringList cells;
                for (const QVariant& v : row)
                    cells << v.toString();
                rows << cells.join(QLatin1Char('|'));
            }
        return rows.join(QLatin1Char('\n'));
    } catch (const std::exception& e) {
        return QStringLiteral("falha: ") + QString::fromUtf8(e.what());
    }
}

std::string browserCall(int port, const QDate& month)
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(20, 0);
    const auto r = client.Get("/api/cockpit?month=" + month.toString(QStringLiteral("yyyy-MM")).toStdString());
    return r ? (r->status == 200 ? r->body : "falha: " + std::to_string(r->status) + ' ' + r->body) : "falha: sem resposta";
}

} // namespace

class TestFleet : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    PgCluster m_cluster;

private slots:
    void shouldKeepAnsweringWhenAnInstanceIsLost()
    {
        const QString haproxy = QStandardPaths::findExecutable(QStringLiteral("haproxy"), {"/usr/sbin", "/usr/bin"});
        QVERIFY2(!haproxy.isEmpty(), "HAProxy is missing (Debian package haproxy)");
        QString error;
        QVERIFY2(m_cluster.start(&error), qPrintable(error));
        const QString csv = m_dir.filePath(QStringLiteral("csv"));
        QVERIFY(QDir().mkpath(csv) && testfigures::write(csv));
        QProcess import;
        import.start(QStringLiteral(KPD_APPSERVER_BIN), {"--import", csv, "--db", m_cluster.uri(), "--init-schema"});
        QVERIFY(import.waitForFinished(120000) && import.exitCode() == 0);

        // Two instances on ports of their own (the balancer names them), and the oracle that keeps nothing.
        struct Instance {
            ServerProcess process;
            int grpc = freePort(), http = freePort();
            bool start()
            {
                QString e;
                const bool ok = process.start({"--db", m_uri, "--db-pool", "2", "--http", QStringLiteral("127.0.0.1:%1").arg(http)}, &e, grpc);
                if (!ok)
                    qWarning("%s", qPrintable(e));
                return ok;
            }
            QString m_uri;
        };
        Instance a, b;
        a.m_uri = b.m_uri = m_cluster.uri();
        QVERIFY(a.start() && b.start());
        ServerProcess oracle;
        QVERIFY2(oracle.start({"--db", m_cluster.uri(), "--no-keep", "--http", "127.0.0.1:0"}, &error), qPrintable(error));

        const int grpcFront = freePort(), httpFront = freePort(), stats = freePort();
        const QString config = QStringLiteral(R"(
global
  log stderr format raw local0 info
defaults
  log global
  option httplog
  mode http
  timeout connect 1s
  timeout client 30s
  timeout server 30s
  retries 3
  option redispatch
  retry-on conn-failure empty-response response-timeout 502 503
  default-server inter 200 fall 2 rise 2 check
listen stats
  bind 127.0.0.1:%1
  stats enable
  stats uri /stats
frontend grpc_in
  bind 127.0.0.1:%2 proto h2
  default_backend grpc
frontend http_in
  bind 127.0.0.1:%3
  default_backend http
backend grpc
  option httpchk GET /healthz
  server a 127.0.0.1:%4 proto h2 port %5 check-proto h1
  server b 127.0.0.1:%6 proto h2 port %7 check-proto h1
backend http
  option httpchk GET /healthz
  # The open face answers only by its own name: each request names the instance it is sent to.
  http-send-name-header Host
  server 127.0.0.1:%5 127.0.0.1:%5
  server 127.0.0.1:%7 127.0.0.1:%7
)")
                                   .arg(stats).arg(grpcFront).arg(httpFront).arg(a.grpc).arg(a.http).arg(b.grpc).arg(b.http);
        QFile file(m_dir.filePath(QStringLiteral("haproxy.cfg")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(config.toUtf8()) > 0);
        file.close();
        QProcess balancer;
        balancer.setProcessChannelMode(QProcess::MergedChannels);
        balancer.start(haproxy, {"-db", "-f", file.fileName()});
        QVERIFY(balancer.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(stats, "a"), QStringLiteral("UP"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(stats, "b"), QStringLiteral("UP"), 10000);

        const QList<QDate> months = testfigures::months();
        QHash<QDate, QString> desktopTruth;
        QHash<QDate, std::string> browserTruth;
        for (const QDate& m : months) {
            desktopTruth[m] = desktopCall(oracle.port(), m);
            browserTruth[m] = browserCall(oracle.httpPort(), m);
            QVERIFY2(!desktopTruth[m].startsWith(QStringLiteral("falha")), qPrintable(desktopTruth[m]));
        }

        // Under load for eight seconds: a desktop's and a browser's call in turn; instance a is killed at 2.5 s
        // and started again at 5.5 s. Not one call may fail or differ from the oracle's.
        QStringList wrong;
        std::mutex wrongMutex;
        bool sawDown = false, restarted = false;
        int calls = 0;
        QElapsedTimer clock;
        clock.start();
        // Browsers beside the desktop, so that calls are in flight on the instance when it dies.
        std::atomic<bool> done{false};
        std::vector<std::thread> browsers;
        for (int t = 0; t < 3; ++t)
            browsers.emplace_back([&, t] {
                for (int i = t; !done; ++i) {
                    const QDate m = months[i % months.size()];
                    if (const std::string w = browserCall(httpFront, m); w != browserTruth[m]) {
                        std::lock_guard lock(wrongMutex);
                        wrong << QStringLiteral("navegador %1: %2").arg(m.toString(Qt::ISODate), QString::fromStdString(w).left(200));
                    }
                }
            });
        const qint64 pid = a.process.process().processId();
        std::thread killer([pid] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            ::kill(pid_t(pid), SIGKILL);
        });
        for (int i = 0; clock.elapsed() < 8000; ++i, ++calls) {
            if (!restarted && clock.elapsed() > 5500) {
                killer.join();
                a.process.process().waitForFinished();
                sawDown = stateOf(stats, "a").startsWith(QStringLiteral("DOWN"));
                QVERIFY(a.start());
                // Back, but not sent calls until its checks pass twice.
                QVERIFY2(!stateOf(stats, "a").startsWith(QStringLiteral("UP")), qPrintable(stateOf(stats, "a")));
                restarted = true;
            }
            const QDate m = months[i % months.size()];
            if (const QString d = desktopCall(grpcFront, m); d != desktopTruth[m]) {
                std::lock_guard lock(wrongMutex);
                wrong << QStringLiteral("%1 desktop %2: %3").arg(i).arg(m.toString(Qt::ISODate), d.left(200));
            }
            // The instances' logs are read as they come: a full pipe would stop the instance writing it.
            QCoreApplication::processEvents();
        }
        done = true;
        for (std::thread& t : browsers)
            t.join();
        qInfo("%d chamadas do desktop em 8 s, com três navegadores ao lado; a instância a parou aos 2,5 s e voltou aos 5,5 s",
              calls);
        if (!wrong.isEmpty())
            qWarning("%s", balancer.readAll().right(6000).constData());
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
        QVERIFY2(sawDown, "the balancer never took the killed instance out");
        // Healthy again, the instance that came back is sent calls again.
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(stats, "a"), QStringLiteral("UP"), 10000);
        const int before = a.process.log().count(QStringLiteral("getCkpData"));
        for (int i = 0; i < 6; ++i)
            QCOMPARE(desktopCall(grpcFront, months[0]), desktopTruth[months[0]]);
        QTRY_VERIFY(a.process.log().count(QStringLiteral("getCkpData")) > before);

        balancer.terminate();
        balancer.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestFleet)
#include "tst_fleet.moc"
