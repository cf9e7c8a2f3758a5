// Connections that never speak cannot lock real clients out, even beyond the descriptor limit.
#include "database.h"
#include "schema.h"
#include "serverprocess.h"
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

private slots:
    void shouldServeARealClientWithManyIdleConnectionsOpen()
    {
        constexpr int kIdle = 1100;
        rlimit own{};
        getrlimit(RLIMIT_NOFILE, &own);
        if (own.rlim_max != RLIM_INFINITY && own.rlim_max < rlim_t(kIdle + 200))
            QSKIP("the descriptor limit of this test cannot hold the idle connections");
        own.rlim_cur = own.rlim_max == RLIM_INFINITY ? rlim_t(kIdle + 200) : own.rlim_max;
        QVERIFY(setrlimit(RLIMIT_NOFILE, &own) == 0);

        const QString path = m_dir.filePath(QStringLiteral("empty.db"));
        {
            appserver::Database db(appserver::DatabaseSettings::sqliteFile(path, false));
            appserver::Schema::create(db);
        }
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
        qInfo("a real call with %d idle connections open: %s in %lld ms", kIdle, status.ok() ? "OK" : "failed", ms);
        for (int fd : idle)
            ::close(fd);
        QVERIFY2(status.ok(), status.error_message().c_str());
        QCOMPARE(reply.result().int_value(), 0);
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(TestListener)
#include "tst_listener.moc"
