// The server's standard gRPC operations: health follows the database, reflection lists the service.
#include "cockpitdatabase.h"
#include "serverprocess.h"
#include "testfigures.h"

#include "kpd.grpc.pb.h"

#include "health.grpc.pb.h"
#include "reflection.grpc.pb.h"

#include <grpcpp/grpcpp.h>
#include <httplib.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using grpc::health::v1::HealthCheckResponse;

HealthCheckResponse::ServingStatus healthOf(grpc::health::v1::Health::Stub& stub, const std::string& service)
{
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(5));
    grpc::health::v1::HealthCheckRequest request;
    request.set_service(service);
    HealthCheckResponse response;
    const grpc::Status status = stub.Check(&context, request, &response);
    return status.ok() ? response.status() : HealthCheckResponse::UNKNOWN;
}

} // namespace

class TestOperations : public QObject {
    Q_OBJECT
private slots:
    void shouldServeHealthWhileTheDatabaseAnswersAndListItsService()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cockpit.db"));
        {
            CockpitDatabase db(path);
            QVERIFY2(db.create(), qPrintable(db.error()));
        }
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({QStringLiteral("--db"), path}, &error), qPrintable(error));
        const auto channel = grpc::CreateChannel(server.address().toStdString(), grpc::InsecureChannelCredentials());

        auto health = grpc::health::v1::Health::NewStub(channel);
        for (const std::string service : {"", "kpd.rpc.RemoteDataModule"})
            QTRY_COMPARE(healthOf(*health, service), HealthCheckResponse::SERVING);
        // The database goes away (as root a file's permissions do not stop reading it): out of rotation.
        QVERIFY(QFile::rename(path, path + QStringLiteral(".fora")));
        QTRY_COMPARE_WITH_TIMEOUT(healthOf(*health, "kpd.rpc.RemoteDataModule"), HealthCheckResponse::NOT_SERVING, 5000);
        QCOMPARE(healthOf(*health, ""), HealthCheckResponse::NOT_SERVING);
        QVERIFY(QFile::rename(path + QStringLiteral(".fora"), path));
        QTRY_COMPARE_WITH_TIMEOUT(healthOf(*health, "kpd.rpc.RemoteDataModule"), HealthCheckResponse::SERVING, 5000);

        auto reflection = grpc::reflection::v1alpha::ServerReflection::NewStub(channel);
        grpc::ClientContext context;
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(5));
        auto stream = reflection->ServerReflectionInfo(&context);
        grpc::reflection::v1alpha::ServerReflectionRequest request;
        request.set_list_services("");
        QVERIFY(stream->Write(request));
        stream->WritesDone();
        grpc::reflection::v1alpha::ServerReflectionResponse response;
        QVERIFY(stream->Read(&response));
        QStringList services;
        for (const auto& s : response.list_services_response().service())
            services << QString::fromStdString(s.name());
        QVERIFY2(services.contains(QStringLiteral("kpd.rpc.RemoteDataModule")), qPrintable(services.join(' ')));
        QVERIFY2(services.contains(QStringLiteral("grpc.health.v1.Health")), qPrintable(services.join(' ')));
        QVERIFY(stream->Finish().ok());
        QVERIFY(server.stop());
    }

    // A file damaged under a running server: out of rotation, with a reason, whether a fresh connection
    // finds it at once (the header) or only a month's call meets it (a page of the index months are read
    // through), even while answers kept from before could still be handed out.
    void shouldNotServeADamagedFile_data()
    {
        QTest::addColumn<QString>("damaged");
        QTest::newRow("header") << "";
        QTest::newRow("the targets' index") << "sqlite_autoindex_meta_mensal_1";
    }
    void shouldNotServeADamagedFile()
    {
        QFETCH(QString, damaged);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cockpit.db"));
        {
            CockpitDatabase db(path);
            QVERIFY2(db.create(), qPrintable(db.error()));
        }
        qint64 at = 0, size = 100;
        if (!damaged.isEmpty()) {
            QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("paginas"));
            sql.setDatabaseName(path);
            QVERIFY(sql.open());
            QSqlQuery q(sql);
            QVERIFY(q.exec(QStringLiteral("SELECT pageno, pgsize FROM dbstat WHERE name = '%1'").arg(damaged)) && q.next());
            size = q.value(1).toLongLong();
            at = (q.value(0).toLongLong() - 1) * size;
        }
        QSqlDatabase::removeDatabase(QStringLiteral("paginas"));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({QStringLiteral("--db"), path, QStringLiteral("--http"), QStringLiteral("127.0.0.1:0")}, &error),
                 qPrintable(error));
        const auto channel = grpc::CreateChannel(server.address().toStdString(), grpc::InsecureChannelCredentials());
        auto health = grpc::health::v1::Health::NewStub(channel);
        QTRY_COMPARE(healthOf(*health, "kpd.rpc.RemoteDataModule"), HealthCheckResponse::SERVING);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(at));
            QCOMPARE(file.write(QByteArray(size, 'x')), size);
        }
        grpc::ClientContext context;
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(10));
        kpd::rpc::InvokeReply reply;
        kpd::rpc::RemoteDataModule::NewStub(channel)->Invoke(&context, testfigures::request(QDate(2024, 3, 1)), &reply);
        QTRY_COMPARE_WITH_TIMEOUT(healthOf(*health, "kpd.rpc.RemoteDataModule"), HealthCheckResponse::NOT_SERVING, 5000);
        httplib::Client http("127.0.0.1", server.httpPort());
        const auto answer = http.Get("/healthz");
        QVERIFY(answer);
        QCOMPARE(answer->status, 503);
        QVERIFY2(QString::fromStdString(answer->body).contains(QString::fromUtf8("danificado")), answer->body.c_str());
        QVERIFY(server.stop());
    }

    // A company may give the server a view for its daily figures (docs/deploy.md): the server answers
    // months from it, so health must not take it out of rotation.
    void shouldServeHealthWhenTheDailyFiguresAreAView()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("visao.db"));
        {
            CockpitDatabase db(path);
            QVERIFY2(db.create(), qPrintable(db.error()));
        }
        {
            QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("visao"));
            sql.setDatabaseName(path);
            QVERIFY(sql.open());
            QSqlQuery q(sql);
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE movimento_diario RENAME TO movimento_origem")));
            QVERIFY(q.exec(QStringLiteral("CREATE VIEW movimento_diario AS SELECT * FROM movimento_origem")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("visao"));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({QStringLiteral("--db"), path}, &error), qPrintable(error));
        auto health = grpc::health::v1::Health::NewStub(
            grpc::CreateChannel(server.address().toStdString(), grpc::InsecureChannelCredentials()));
        QTRY_COMPARE(healthOf(*health, "kpd.rpc.RemoteDataModule"), HealthCheckResponse::SERVING);
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_operations.moc"
