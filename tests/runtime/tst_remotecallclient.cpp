#include "exceptions.h"
#include "testsupport.h"
#include "fakeappserver.h"
#include "packetcodec.h"
#include "remotecallclient.h"
#include "tnetconnection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QLocale>
#include <QTest>
#include <thread>

namespace {

int closedPort() { return ClosedLoopbackPort(); }

QString refused(int port)
{
    return QString::fromUtf8("Não foi possível conectar ao servidor de aplicação 127.0.0.1:%1: a conexão foi recusada "
                             "(não há servidor em execução nesse endereço).")
        .arg(port);
}

std::string readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

// A self-signed certificate (its own authority) for the given subject alternative names, as cert.pem and
// key.pem under `name` in dir; false when openssl is not there.
bool makeCertificate(const QTemporaryDir& dir, const QString& name, const QString& altNames)
{
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                              "-days", "1", "-subj", "/CN=" + name, "-addext", "subjectAltName=" + altNames,
                              "-keyout", dir.filePath(name + "-key.pem"), "-out", dir.filePath(name + ".pem")});
    return openssl.waitForFinished(60000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
}

std::shared_ptr<grpc::ServerCredentials> serverTls(const QTemporaryDir& dir, const QString& name)
{
    grpc::SslServerCredentialsOptions options;
    options.pem_key_cert_pairs.push_back({readAll(dir.filePath(name + "-key.pem")), readAll(dir.filePath(name + ".pem"))});
    return grpc::SslServerCredentials(options);
}

} // namespace

class TestRemoteCallClient : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void shouldCallByNameAndBringArgumentsBack()
    {
        FakeAppServer server([](const kpd::rpc::InvokeRequest& rq, kpd::rpc::InvokeReply* reply) {
            reply->mutable_result()->set_int_value(0);
            *reply->mutable_args() = rq.args();
            reply->mutable_args(0)->set_datetime_value(rq.args(0).datetime_value() - 16); // to the 1st
            TDataPacket p = MakePacket({"NOME"}, {"VALOR"}, {{"a", 1.5}});
            PacketCodec::EncodeVariant(QVariant::fromValue(p), reply->mutable_args(1));
            return grpc::Status::OK;
        });
        TRemoteCallClient client;
        client.SetPort(server.port());
        client.Connect();
        QVERIFY(client.Connected());

        QVariantList args{QVariant(QDateTime(QDate(2026, 3, 17), QTime(0, 0), Qt::UTC)), QVariant(), QString("x")};
        const QVariant result = client.Invoke("KPD00100.rdmIndicResult", "getCkpData", args);
        QCOMPARE(result, QVariant(qlonglong(0)));
        QCOMPARE(server.lastRequest().server_name(), "KPD00100.rdmIndicResult");
        QCOMPARE(server.lastRequest().method(), "getCkpData");
        QCOMPARE(args.size(), 3);
        QCOMPARE(args[0].toDateTime().date(), QDate(2026, 3, 1));
        QCOMPARE(args[1].value<TDataPacket>().rows.value(0).value(1), QVariant(1.5));
        QCOMPARE(args[2], QVariant(QString("x")));
    }

    void shouldFailAtOnceWhenNothingListens()
    {
        TRemoteCallClient::SetConnectTimeoutMs(20000);
        TRemoteCallClient client;
        client.SetHost("127.0.0.1");
        client.SetPort(closedPort());
        QElapsedTimer clock;
        clock.start();
        const QString message = messageOf([&] { client.Connect(); });
        // A refusal is reported when it happens, not when the connect deadline runs out.
        QVERIFY(clock.elapsed() < 10000);
        TRemoteCallClient::SetConnectTimeoutMs(0);
        QCOMPARE(message, refused(client.Port()));
        QVERIFY(!client.Connected());
    }

    void shouldConnectToServerThatCameUpAfterARefusal()
    {
        FakeAppServer server;
        const int port = server.port();
        server.stop();
        TRemoteCallClient client;
        client.SetPort(port);
        QVERIFY_THROWS_EXCEPTION(ERemoteError, client.Connect());
        FakeAppServer again;
        client.SetPort(again.port());
        client.Connect();
        QVERIFY(client.Connected());
    }

    // Each activation opens and closes the connection: the handshakes are paid once per process.
    void shouldKeepOneConnectionAcrossOpenings()
    {
        FakeAppServer server;
        for (int opening = 0; opening < 3; ++opening) {
            TRemoteCallClient client;
            client.SetPort(server.port());
            client.Connect();
            QVariantList args{1};
            client.Invoke(QStringLiteral("M"), QStringLiteral("f"), args);
            client.Disconnect();
            QVERIFY_THROWS_EXCEPTION(ERemoteError, client.Invoke(QStringLiteral("M"), QStringLiteral("f"), args));
        }
        QCOMPARE(server.calls(), 3);
        QCOMPARE(server.connections(), 1);
    }

    void shouldReportServerErrorsWithTheirMessage_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unknown module") << int(grpc::StatusCode::NOT_FOUND)
                                        << QString::fromUtf8("O servidor de aplicação recusou KPD00100.rdmX.getCkpData: "
                                                             "Módulo remoto desconhecido");
        QTest::newRow("bad argument") << int(grpc::StatusCode::INVALID_ARGUMENT)
                                      << QString::fromUtf8("O servidor de aplicação recusou KPD00100.rdmX.getCkpData: "
                                                           "Módulo remoto desconhecido");
    }
    void shouldReportServerErrorsWithTheirMessage()
    {
        QFETCH(int, code);
        QFETCH(QString, expected);
        FakeAppServer server([code](const kpd::rpc::InvokeRequest&, kpd::rpc::InvokeReply*) {
            return grpc::Status(static_cast<grpc::StatusCode>(code), "Módulo remoto desconhecido");
        });
        TRemoteCallClient client;
        client.SetPort(server.port());
        client.Connect();
        QVariantList args{QVariant(1)};
        QCOMPARE(messageOf([&] { client.Invoke("KPD00100.rdmX", "getCkpData", args); }), expected);
        QCOMPARE(args, QVariantList{QVariant(1)});
    }

    void shouldReportAnExpiredDeadline_data()
    {
        QTest::addColumn<int>("perClient");
        QTest::addColumn<int>("processWide");
        QTest::addColumn<QString>("expected");
        // The time waited is the clock's, a few hundredths past the deadline on a busy machine.
        QTest::newRow("per client") << 200 << 0 << QString::fromUtf8("^O servidor de aplicação não respondeu em 0,2\\d? s \\(prazo desta chamada: 0,2 s\\)\\.$");
        QTest::newRow("process-wide") << 0 << 300 << QString::fromUtf8("^O servidor de aplicação não respondeu em 0,3\\d? s \\(prazo desta chamada: 0,3 s\\)\\.$");
    }
    void shouldReportAnExpiredDeadline()
    {
        QFETCH(int, perClient);
        QFETCH(int, processWide);
        QFETCH(QString, expected);
        FakeAppServer server([](const kpd::rpc::InvokeRequest& rq, kpd::rpc::InvokeReply* reply) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            return FakeAppServer::echo(rq, reply);
        });
        TRemoteCallClient::SetDefaultCallTimeoutMs(processWide);
        TRemoteCallClient client;
        client.SetPort(server.port());
        client.SetCallTimeoutMs(perClient);
        client.Connect();
        QVariantList args;
        const QString message = messageOf([&] { client.Invoke("M", "m", args); });
        TRemoteCallClient::SetDefaultCallTimeoutMs(0);
        QVERIFY2(QRegularExpression(expected).match(message).hasMatch(), qPrintable(message));
        QCOMPARE(TRemoteCallClient::DefaultCallTimeoutMs(), 30000);
    }

    void shouldRefuseMalformedRepliesAndKeepArguments_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("missing args") << 0 << QString::fromUtf8("devolveu 1 argumentos em m; esperados 2");
        QTest::newRow("extra args") << 1 << QString::fromUtf8("devolveu 3 argumentos em m; esperados 2");
        QTest::newRow("row too long") << 2 << QString::fromUtf8("Argumento 2 de m: O servidor de aplicação devolveu "
                                                                "dados malformados: a linha 1 do pacote tem 2 valores");
    }
    void shouldRefuseMalformedRepliesAndKeepArguments()
    {
        QFETCH(int, variant);
        QFETCH(QString, fragment);
        FakeAppServer server([variant](const kpd::rpc::InvokeRequest& rq, kpd::rpc::InvokeReply* reply) {
            *reply->mutable_args() = rq.args();
            if (variant == 0)
                reply->mutable_args()->RemoveLast();
            if (variant == 1)
                reply->add_args();
            if (variant == 2) {
                auto* p = reply->mutable_args(1)->mutable_packet_value();
                p->add_fields()->set_name("A");
                auto* row = p->add_rows();
                row->add_values();
                row->add_values();
            }
            return grpc::Status::OK;
        });
        TRemoteCallClient client;
        client.SetPort(server.port());
        client.Connect();
        QVariantList args{QVariant(7), QVariant()};
        const QString message = messageOf([&] { client.Invoke("M", "m", args); });
        QVERIFY2(message.contains(fragment), qPrintable(message));
        QCOMPARE(args, (QVariantList{QVariant(7), QVariant()}));
    }

    void shouldRefuseCallsWithoutLinkAndAfterServerLoss()
    {
        TRemoteCallClient client;
        QVariantList args;
        QCOMPARE(messageOf([&] { client.Invoke("M", "m", args); }),
                 QString::fromUtf8("Não há conexão aberta com o servidor de aplicação."));
        auto server = std::make_unique<FakeAppServer>();
        client.SetPort(server->port());
        client.Connect();
        server.reset();
        QVERIFY(messageOf([&] { client.Invoke("M", "m", args); })
                    .startsWith(QString::fromUtf8("A conexão com o servidor de aplicação 127.0.0.1:%1 foi perdida")
                                    .arg(client.Port())));
    }

    void shouldTalkTlsWithTheConfiguredAuthority()
    {
        QTemporaryDir dir;
        const QString cert = dir.filePath("cert.pem");
        const QString key = dir.filePath("key.pem");
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                                  "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                                  "-keyout", key, "-out", cert});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            QSKIP("openssl is not available to make a test certificate");
        auto read = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
        };
        grpc::SslServerCredentialsOptions options;
        options.pem_key_cert_pairs.push_back({read(key), read(cert)});
        FakeAppServer server({}, grpc::SslServerCredentials(options));

        TRemoteCallClient client;
        client.SetPort(server.port());
        const QString plain = messageOf([&] { client.Connect(); }); // no authority set: plain text
        QVERIFY2(plain.startsWith(QString::fromUtf8("Não foi possível conectar")), qPrintable(plain));

        TRemoteCallClient::SetTlsCaFile(dir.filePath("missing.pem"));
        const QString missing = messageOf([&] { client.Connect(); });
        TRemoteCallClient::SetTlsCaFile(cert);
        QVariantList args{QVariant(QStringLiteral("olá"))};
        const QString secure = messageOf([&] {
            client.Connect();
            client.Invoke("M", "m", args);
        });
        TRemoteCallClient::SetTlsCaFile({});
        QVERIFY2(missing.contains(QString::fromUtf8("Não foi possível ler o certificado")), qPrintable(missing));
        QCOMPARE(secure, QStringLiteral("<sem exceção>"));
        QCOMPARE(args, QVariantList{QVariant(QStringLiteral("olá"))});
        QCOMPARE(server.calls(), 1);
    }

    // Each failure in its own words, with the figures it had and nothing raw from the server. Timings read "#".
    void shouldSayWhatWentWrong_data()
    {
        QTest::addColumn<QString>("server");   // "" none, "plain", or the certificate it presents
        QTest::addColumn<QString>("authority"); // the certificate the client trusts; "" for plain text
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("code");          // status the server answers, -1 for an echo
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");  // %1: the server's port
        const QString connect = QString::fromUtf8("Não foi possível conectar ao servidor de aplicação 127.0.0.1:%1: ");
        QTest::newRow("unknown host")
            << "" << "" << "servidor.invalid" << -1 << ""
            << QString::fromUtf8("Não foi possível conectar ao servidor de aplicação servidor.invalid:2113: o nome "
                                 "\"servidor.invalid\" não foi encontrado (confira o endereço do servidor).");
        QTest::newRow("certificate not trusted")
            << "local" << "outro" << "127.0.0.1" << -1 << ""
            << connect + QString::fromUtf8("o certificado do servidor não é de confiança (não foi emitido pela "
                                           "autoridade certificadora configurada).");
        QTest::newRow("certificate for another name")
            << "outro" << "outro" << "127.0.0.1" << -1 << ""
            << connect + QString::fromUtf8("o certificado do servidor não foi emitido para o nome \"127.0.0.1\".");
        QTest::newRow("TLS against plain text")
            << "plain" << "local" << "127.0.0.1" << -1 << ""
            << connect + QString::fromUtf8("o servidor não usa TLS, e este cliente está configurado para usá-lo.");
        QTest::newRow("plain text against TLS")
            << "local" << "" << "127.0.0.1" << -1 << ""
            << connect + QString::fromUtf8("o servidor encerrou a conexão sem responder (ele pode exigir TLS).");
        QTest::newRow("deadline given up by the server")
            << "plain" << "" << "127.0.0.1" << int(grpc::StatusCode::DEADLINE_EXCEEDED) << "Deadline Exceeded"
            << QString::fromUtf8("O servidor de aplicação encerrou M.m por prazo esgotado após # s (o prazo desta "
                                 "chamada era de # s).");
        QTest::newRow("overload")
            << "plain" << "" << "127.0.0.1" << int(grpc::StatusCode::RESOURCE_EXHAUSTED) << "fila cheia"
            << QString::fromUtf8("O servidor de aplicação está sobrecarregado; tente novamente em instantes.");
        QTest::newRow("gRPC's own text")
            << "plain" << "" << "127.0.0.1" << int(grpc::StatusCode::INTERNAL) << "Received RST_STREAM with error code 2"
            << QString::fromUtf8("A chamada M.m ao servidor de aplicação 127.0.0.1:%1 falhou (código gRPC INTERNAL).");
        QTest::newRow("control characters")
            << "plain" << "" << "127.0.0.1" << int(grpc::StatusCode::NOT_FOUND) << "Sem m\x1b[2J\r\n10:00 OK"
            << QString::fromUtf8("O servidor de aplicação recusou M.m: Sem m\\x1B[2J\\r\\n10:00 OK");
    }
    void shouldSayWhatWentWrong()
    {
        QFETCH(QString, server);
        QFETCH(QString, authority);
        QFETCH(QString, host);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        if ((!server.isEmpty() && server != "plain") || !authority.isEmpty()) {
            if (!makeCertificate(dir, "local", "IP:127.0.0.1,DNS:localhost") ||
                !makeCertificate(dir, "outro", "DNS:outro.invalid"))
                QSKIP("openssl is not available to make test certificates");
        }
        std::unique_ptr<FakeAppServer> fake;
        if (!server.isEmpty())
            fake = std::make_unique<FakeAppServer>(
                [code, text](const kpd::rpc::InvokeRequest& rq, kpd::rpc::InvokeReply* reply) {
                    return code < 0 ? FakeAppServer::echo(rq, reply)
                                    : grpc::Status(static_cast<grpc::StatusCode>(code), text.toStdString());
                },
                server == "plain" ? nullptr : serverTls(dir, server));
        TRemoteCallClient::SetTlsCaFile(authority.isEmpty() ? QString() : dir.filePath(authority + ".pem"));
        TRemoteCallClient client;
        client.SetHost(host);
        client.SetPort(fake ? fake->port() : 2113);
        QString message = messageOf([&] {
            client.Connect();
            QVariantList args;
            client.Invoke("M", "m", args);
        });
        TRemoteCallClient::SetTlsCaFile({});
        message.replace(QRegularExpression(QStringLiteral("\\d+(,\\d+)? s\\b")), QStringLiteral("# s"));
        QCOMPARE(message, expected.replace(QStringLiteral("%1"), QString::number(client.Port())));
    }

    // TNetConnection: the before-connect event and the open/closed switch.
    void shouldRunBeforeConnectOncePerOpening()
    {
        FakeAppServer first;
        FakeAppServer second;
        TNetConnection net;
        net.SetServerName("KPD00100.rdmIndicResult");
        net.SetPort(213);
        int events = 0;
        int nextPort = first.port();
        QObject::connect(&net, &TNetConnection::BeforeConnect, &net, [&](QObject* sender) {
            QCOMPARE(sender, &net);
            ++events;
            net.SetHost("127.0.0.1");
            net.SetPort(nextPort);
        });
        net.SetConnected(true);
        net.SetConnected(true);
        QCOMPARE(events, 1);
        QVariantList args{QVariant(1)};
        net.AppServer()->Invoke("getCkpData", args);
        QCOMPARE(first.calls(), 1);
        QCOMPARE(first.lastRequest().server_name(), "KPD00100.rdmIndicResult");

        net.SetConnected(false);
        net.SetConnected(false);
        QCOMPARE(events, 1);
        nextPort = second.port(); // the host moved the server between two openings
        net.SetConnected(true);
        QCOMPARE(events, 2);
        net.AppServer()->Invoke("getCkpData", args);
        QCOMPARE(second.calls(), 1);
        QCOMPARE(first.calls(), 1);
    }

    void shouldStayClosedWhenOpeningFails()
    {
        TNetConnection net;
        const int port = closedPort();
        QObject::connect(&net, &TNetConnection::BeforeConnect, &net, [&](QObject*) { net.SetPort(port); });
        QCOMPARE(messageOf([&] { net.SetConnected(true); }), refused(port));
        QVERIFY(!net.Connected());
        QCOMPARE(messageOf([&] { net.AppServer(); }),
                 QString::fromUtf8("A conexão com o servidor de aplicação 127.0.0.1:%1 não está aberta.").arg(port));
    }
};

QTEST_GUILESS_MAIN(TestRemoteCallClient)
#include "tst_remotecallclient.moc"
