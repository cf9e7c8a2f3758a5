// Work follows the caller: on a slow database, a call the client gave up on stops costing the server,
// so does a browser's call past the HTTP face's deadline or whose browser left, calls beyond the queue
// are refused at once, and SIGTERM ends the server promptly with calls queued.
#include "databasepool.h"
#include "serverprocess.h"
#include "slowdatabase.h"
#include "testfigures.h"

#include "kpd.grpc.pb.h"

#include <grpcpp/grpcpp.h>
#include <httplib.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <thread>
#include <mutex>

namespace {

const QDate kMarch(2024, 3, 15);

using slowdatabase::setSteps;

QString slowDatabase(const QTemporaryDir& dir, const QString& name) { return slowdatabase::create(dir, name); }

// Calls in flight through gRPC's callback API, so that dozens need no thread each.
class Calls {
public:
    explicit Calls(const QString& address)
        : m_stub(kpd::rpc::RemoteDataModule::NewStub(
              grpc::CreateChannel(address.toStdString(), grpc::InsecureChannelCredentials())))
    {
    }
    ~Calls()
    {
        for (auto& c : m_calls)
            c->context.TryCancel();
        QTRY_VERIFY_WITH_TIMEOUT(finished() == int(m_calls.size()), 10000);
    }

    void start(int count, std::chrono::milliseconds deadline)
    {
        for (int i = 0; i < count; ++i) {
            auto call = std::make_unique<Call>();
            call->request = testfigures::request(kMarch);
            call->context.set_deadline(std::chrono::system_clock::now() + deadline);
            call->timer.start();
            Call* c = call.get();
            m_calls.push_back(std::move(call));
            m_stub->async()->Invoke(&c->context, &c->request, &c->reply, [this, c](grpc::Status status) {
                std::lock_guard lock(m_mutex);
                c->status = status;
                c->elapsedMs = c->timer.elapsed();
                c->done = true;
            });
        }
    }
    void cancel(int index) { m_calls.at(size_t(index))->context.TryCancel(); }
    int finished()
    {
        std::lock_guard lock(m_mutex);
        return int(std::count_if(m_calls.begin(), m_calls.end(), [](const auto& c) { return c->done; }));
    }
    // Code and milliseconds of each finished call.
    QList<std::pair<grpc::StatusCode, qint64>> outcomes()
    {
        std::lock_guard lock(m_mutex);
        QList<std::pair<grpc::StatusCode, qint64>> out;
        for (const auto& c : m_calls) {
            if (c->done)
                out.append({c->status.error_code(), c->elapsedMs});
        }
        return out;
    }

private:
    struct Call {
        grpc::ClientContext context;
        kpd::rpc::InvokeRequest request;
        kpd::rpc::InvokeReply reply;
        grpc::Status status;
        QElapsedTimer timer;
        qint64 elapsedMs = 0;
        bool done = false;
    };
    std::unique_ptr<kpd::rpc::RemoteDataModule::Stub> m_stub;
    std::vector<std::unique_ptr<Call>> m_calls;
    std::mutex m_mutex;
};

} // namespace

class TestDatabasePool : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // Work that has started refers to its caller's call: the caller whose call ends leaves only once the
    // work has stopped, never while it may still write to what the caller held.
    void shouldNotLeaveBeforeTheWorkItStarted()
    {
        const QString path = slowDatabase(m_dir, QStringLiteral("inprocess"));
        appserver::Database db(appserver::DatabaseSettings::sqliteFile(path, true));
        appserver::DatabasePool pool(db, 1);
        std::atomic<bool> started = false, ended = false;
        appserver::CallScope scope;
        scope.ended = [&]() -> std::optional<appserver::CallEnd> {
            return started ? std::optional(appserver::CallEnd::Cancelled) : std::nullopt;
        };
        QVERIFY_THROWS_EXCEPTION(appserver::CallEnded, pool.run([&](appserver::Database&) {
            started = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));   // no statement to interrupt
            ended = true;
            return 0;
        }, scope));
        QVERIFY(ended);
    }

    void shouldStopTheWorkOfACallItsClientGaveUp_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("logged");
        QTest::newRow("deadline passed") << false << "DEADLINE_EXCEEDED";
        QTest::newRow("cancelled") << true << "CANCELLED";
    }

    void shouldStopTheWorkOfACallItsClientGaveUp()
    {
        QFETCH(bool, cancel);
        QFETCH(QString, logged);
        const QString path = slowDatabase(m_dir, QTest::currentDataTag());
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({"--db", path, "--db-pool", "1"}, &error), qPrintable(error));
        {
            Calls calls(server.address());
            calls.start(1, std::chrono::milliseconds(cancel ? 30000 : 300));
            if (cancel) {
                QTest::qWait(300);
                calls.cancel(0);
            }
            QTRY_COMPARE(calls.finished(), 1);
        }
        // The one connection is free again: its statement was interrupted, not left to run for minutes.
        QTRY_VERIFY2(server.log().contains(QRegularExpression(" ms " + logged + ": ")), qPrintable(server.log()));
        setSteps(path, 0);
        Calls next(server.address());
        next.start(1, std::chrono::seconds(5));
        QTRY_COMPARE(next.finished(), 1);
        QCOMPARE(next.outcomes().at(0).first, grpc::StatusCode::OK);
        QVERIFY(server.stop());
    }

    void shouldFreeTheConnectionOfABrowserCallPastItsDeadline()
    {
        const QString path = slowDatabase(m_dir, QStringLiteral("browser"));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({"--db", path, "--db-pool", "1", "--http", "127.0.0.1:0", "--http-deadline", "1"}, &error),
                 qPrintable(error));
        httplib::Client browser("127.0.0.1", server.httpPort());
        browser.set_read_timeout(std::chrono::seconds(60));
        const auto late = browser.Get("/api/cockpit?month=2024-03");
        QVERIFY(late);
        QCOMPARE(late->status, 504);
        // The call's line says when it ended and why; the one connection is free again.
        QTRY_VERIFY2(server.log().contains(QRegularExpression(
                         "getCkpData ref=2024-03-01 \\d+\\.\\d\\d ms DEADLINE_EXCEEDED: O prazo da chamada terminou")),
                     qPrintable(server.log()));
        QTRY_VERIFY(browser.Get("/metrics")->body.find("kpd_database_connections_busy 0") != std::string::npos);
        setSteps(path, 0);
        const auto next = browser.Get("/api/cockpit?month=2024-03");
        QVERIFY(next);
        QCOMPARE(next->status, 200);
        QVERIFY(server.stop());
    }

    // A browser that closes its connection while its month is on the database frees the connection at once.
    void shouldCancelTheCallOfABrowserThatLeft()
    {
        const QString path = slowDatabase(m_dir, QStringLiteral("browser-left"));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({"--db", path, "--db-pool", "1", "--http", "127.0.0.1:0"}, &error), qPrintable(error));
        {
            httplib::Client browser("127.0.0.1", server.httpPort());
            browser.set_read_timeout(std::chrono::milliseconds(500));
            QVERIFY(!browser.Get("/api/cockpit?month=2024-03"));   // gives up and closes its connection
        }
        QTRY_VERIFY2(server.log().contains(QRegularExpression("getCkpData ref=2024-03-01 \\d+\\.\\d\\d ms CANCELLED: ")),
                     qPrintable(server.log()));
        setSteps(path, 0);
        httplib::Client next("127.0.0.1", server.httpPort());
        const auto month = next.Get("/api/cockpit?month=2024-03");
        QVERIFY(month);
        QCOMPARE(month->status, 200);
        QVERIFY(server.stop());
    }

    void shouldRefuseCallsBeyondTheQueueAtOnce()
    {
        const QString path = slowDatabase(m_dir, QStringLiteral("overload"));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({"--db", path, "--db-pool", "1", "--db-queue", "1"}, &error), qPrintable(error));
        Calls calls(server.address());
        calls.start(3, std::chrono::seconds(20));   // one runs, one waits, one has no place
        QTRY_COMPARE(calls.finished(), 1);
        QTest::qWait(200);
        const auto outcomes = calls.outcomes();
        QCOMPARE(outcomes.size(), 1);
        QCOMPARE(outcomes.at(0).first, grpc::StatusCode::RESOURCE_EXHAUSTED);
        QVERIFY2(outcomes.at(0).second < 1000, qPrintable(QString::number(outcomes.at(0).second)));
        QTRY_VERIFY(server.log().contains(QStringLiteral(" ms RESOURCE_EXHAUSTED: O servidor de aplicação está sobrecarregado")));
    }

    void shouldStopOnSigtermWithinThreeSecondsUnderLoad()
    {
        const QString path = slowDatabase(m_dir, QStringLiteral("sigterm"));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({"--db", path, "--db-pool", "2"}, &error), qPrintable(error));
        Calls calls(server.address());
        calls.start(66, std::chrono::seconds(30));   // two on the database, 64 queued
        QTest::qWait(500);
        QCOMPARE(calls.finished(), 0);
        QElapsedTimer timer;
        timer.start();
        ::kill(pid_t(server.process().processId()), SIGTERM);
        QVERIFY(server.process().waitForFinished(10000));
        const qint64 ms = timer.elapsed();
        qInfo("SIGTERM with 66 calls on a slow database: ended in %lld ms", ms);
        QVERIFY2(ms < 3000, qPrintable(QString::number(ms)));
        QCOMPARE(server.process().exitCode(), 0);
        QTRY_COMPARE(calls.finished(), 66);
        const QString log = server.log();
        QVERIFY2(log.contains(QStringLiteral("CANCELLED: A chamada foi interrompida pelo encerramento do servidor.")),
                 qPrintable(log));
        QVERIFY2(!log.contains(QStringLiteral("cancelada pelo cliente")), qPrintable(log));
    }
};

QTEST_GUILESS_MAIN(TestDatabasePool)
#include "tst_databasepool.moc"
