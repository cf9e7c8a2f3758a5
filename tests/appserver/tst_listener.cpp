// Connections that never speak, or stall half-way through their opening, cannot lock real clients out,
// even beyond the descriptor limit; plain text on a TLS port does not flood the log.
#include "database.h"
#include "schema.h"
#include "serverprocess.h"
#include "testcertificates.h"
#include "testfigures.h"

#include "kpd.grpc.pb.h"

#include <grpcpp/grpcpp.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

class TestListener : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString emptyDatabase()
    {
        const QString path = m_dir.filePath(QStringLiteral("empty.db"));
        if (!QFile::exists(path)) {
            appserver::Database db(appserver::DatabaseSettings::sqliteFile(path, false));
            appserver::Schema::create(db);
        }
        return path;
    }

private slots:
    void shouldServeARealClientWithManyIdleConnectionsOpen_data()
    {
        QTest::addColumn<QByteArray>("opening");   // what each idle connection sends, then nothing more
        QTest::newRow("silent") << QByteArray();
        QTest::newRow("one byte of the HTTP/2 preface") << QByteArray("P");
    }

    void shouldServeARealClientWithManyIdleConnectionsOpen()
    {
        QFETCH(QByteArray, opening);
        constexpr int kIdle = 1100;
        rlimit own{};
        getrlimit(RLIMIT_NOFILE, &own);
        if (own.rlim_max != RLIM_INFINITY && own.rlim_max < rlim_t(kIdle + 200))
            QSKIP("the descriptor limit of this test cannot hold the idle connections");
        own.rlim_cur = own.rlim_max == RLIM_INFINITY ? rlim_t(kIdle + 200) : own.rlim_max;
        QVERIFY(setrlimit(RLIMIT_NOFILE, &own) == 0);

        const QString path = emptyDatabase();
        // A small limit, as an unconfigured service gets, below what the idle connections take: the
        // server raises its soft limit to the hard one and lets the oldest silent connections go.
        ServerProcess server;
        server.process().setChildProcessModifier([] {
            const rlimit limit{256, 1024};
            setrlimit(RLIMIT_NOFILE, &limit);
        });
        QString error;
        QVERIFY2(server.start({"--db", path}, &error), qPrintable(error));

        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(server.port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::vector<int> idle;
        for (int i = 0; i < kIdle; ++i) {
            // Not waiting for each: a server that stopped accepting would hold them in its backlog.
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            QVERIFY(fd >= 0);
            idle.push_back(fd);
            QVERIFY(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 || errno == EINPROGRESS);
        }
        QTest::qWait(200);
        if (!opening.isEmpty()) {
            for (int fd : idle)
                ::send(fd, opening.constData(), size_t(opening.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            QTest::qWait(200);
        }

        grpc::ChannelArguments arguments;
        arguments.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
        auto stub = kpd::rpc::RemoteDataModule::NewStub(grpc::CreateCustomChannel(
            server.address().toStdString(), grpc::InsecureChannelCredentials(), arguments));
        grpc::ClientContext context;
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(1));
        kpd::rpc::InvokeReply reply;
        QElapsedTimer timer;
        timer.start();
        const grpc::Status status = stub->Invoke(&context, testfigures::request(QDate(2024, 3, 1)), &reply);
        const qint64 ms = timer.elapsed();
        qInfo("a real call with %d idle connections open (%s): %s in %lld ms", kIdle, QTest::currentDataTag(),
              status.ok() ? "OK" : "failed", ms);
        for (int fd : idle)
            ::close(fd);
        QVERIFY2(status.ok(), status.error_message().c_str());
        QCOMPARE(reply.result().int_value(), 0);
        QVERIFY(server.stop());
    }

    // A port scan or a plain-text client on the TLS port is one line per address, not one per connection;
    // so are failed TLS handshakes (here: clients without the certificate the server asks for).
    void shouldLogRefusedHandshakesOncePerAddress()
    {
        TestCertificates c;
        QString error;
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("certs"))));
        QVERIFY2(c.create(m_dir.filePath(QStringLiteral("certs")), &error), qPrintable(error));
        ServerProcess server;
        QVERIFY2(server.start({"--db", emptyDatabase(), "--tls-cert", c.serverCert, "--tls-key", c.serverKey,
                               "--tls-client-ca", c.ca},
                              &error),
                 qPrintable(error));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(server.port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        static constexpr char kPreface[] = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";
        for (int i = 0; i < 200; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            QVERIFY(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
            ::send(fd, kPreface, sizeof kPreface - 1, MSG_NOSIGNAL);
            ::close(fd);
        }
        for (int i = 0; i < 5; ++i) {
            grpc::SslCredentialsOptions ssl;
            ssl.pem_root_certs = TestCertificates::read(c.ca);
            grpc::ChannelArguments arguments;
            arguments.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
            auto stub = kpd::rpc::RemoteDataModule::NewStub(
                grpc::CreateCustomChannel(server.address().toStdString(), grpc::SslCredentials(ssl), arguments));
            grpc::ClientContext context;
            context.set_deadline(std::chrono::system_clock::now() + std::chrono::milliseconds(500));
            kpd::rpc::InvokeReply reply;
            QVERIFY(!stub->Invoke(&context, testfigures::request(QDate(2024, 3, 1)), &reply).ok());
        }
        QTRY_VERIFY(server.log().contains(QStringLiteral("handshake TLS falhou")));
        QTest::qWait(300);
        const QString log = server.log();
        QCOMPARE(log.count(QStringLiteral("conexão sem TLS de 127.0.0.1 recusada")), 1);
        QCOMPARE(log.count(QStringLiteral("handshake TLS falhou")), 1);
        QVERIFY2(log.count(QStringLiteral("Handshake failed")) == 1, qPrintable(log));   // quoted in that line only
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(TestListener)
#include "tst_listener.moc"
