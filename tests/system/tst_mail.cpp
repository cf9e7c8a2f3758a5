// Mail against a real SMTP relay on loopback (Debian's aiosmtpd, STARTTLS required, AUTH after it): when a
// subscription is due and which months it holds; the board pack arrives as a PDF naming its month, once; an import that turns a region's
// result red sends one message, through a relay that was away at first, and neither the same import again
// nor a restart sends another; two instances over one PostgreSQL send one between them.
#include "alertrules.h"
#include "mailrelay.h"
#include "pgcluster.h"
#include "serverprocess.h"
#include "subscription.h"
#include "testcertificates.h"
#include "testfigures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kRelayScript = QStringLiteral(KPD_TESTS_DIR "/support/smtprelay.py");

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

std::pair<int, QString> run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {-1, QStringLiteral("não terminou")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

bool writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

// Region AL (branch 901) in April 2024, the latest month of the test figures, with the given result.
QString regionFigures(const QString& dir, double resultPercent)
{
    QDir().mkpath(dir);
    writeFile(dir + QStringLiteral("/regional.csv"), "cdareagere,nmareagere\nAL,Alagoas\n");
    writeFile(dir + QStringLiteral("/filial.csv"), "cdfilial,nmfilial,cdareagere\n901,Maceió,AL\n");
    QByteArray days = "cdfilial,dtmovimento,vrfatliq,vrconsumo,vrmdo,vrdespesas\n";
    const double expenses = 10000.0 * (15.0 - resultPercent + 5.0) / 100.0;   // consumption 40 %, labour 40 %
    for (int d = 1; d <= 30; ++d)
        days += QStringLiteral("901,2024-04-%1,10000.00,4000.00,4000.00,%2\n").arg(d, 2, 10, QLatin1Char('0')).arg(expenses, 0, 'f', 2).toUtf8();
    writeFile(dir + QStringLiteral("/movimento_diario.csv"), days);
    return dir;
}

} // namespace

class TestMail : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void shouldSendThePackOnceWhenItsDayAndTimeHaveCome_data();
    void shouldSendThePackOnceWhenItsDayAndTimeHaveCome();
    void shouldMailTheBoardPackAsPdfOnceForItsMonth();
    void shouldRefuseABrokenRuleFileByItsLine();
    void shouldRefuseARelaySettingWithALineBreak();
    void shouldWatchARegionByAnyCodeALoadTakes_data();
    void shouldWatchARegionByAnyCodeALoadTakes();
    void shouldSendOneAlertPerChangeThroughARelayThatWasAway();
    void shouldSendOneAlertFromTwoInstancesOnPostgres();

private:
    bool startRelay();
    void stopRelay();
    QStringList messages() const;
    // The message's headers, body and attachment, as a mail program reads them, in folder out.
    QString open(const QString& eml, const QString& out) const;
    QString serverDb(const QString& db);
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QProcess m_relay;
    int m_relayPort = 0;
    TestCertificates m_certs;
};

void TestMail::initTestCase()
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3")) || run(QStringLiteral("/usr/bin/python3"), {"-c", "import aiosmtpd"}).first != 0)
        QSKIP("python3-aiosmtpd não instalado (scripts/common.sh o instala)");
    QString error;
    QDir().mkpath(path(QStringLiteral("certs")));
    QVERIFY2(m_certs.create(path(QStringLiteral("certs")), &error), qPrintable(error));
    QDir().mkpath(path(QStringLiteral("caixa")));
    m_relayPort = freePort();
    QVERIFY(startRelay());
    QVERIFY(writeFile(path(QStringLiteral("senha")), "segredo\n"));
    QFile::setPermissions(path(QStringLiteral("senha")), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // localhost: the relay's certificate names it, and STARTTLS is checked against the test's authority.
    QVERIFY(writeFile(path(QStringLiteral("relay.ini")), QStringLiteral("[relay]\nurl = smtp://localhost:%1\nremetente = bi@empresa.com.br\n"
                                                                   "usuario = kpd\narquivo_senha = senha\nca = %2\nprazo = 5\n"
                                                                   "tentar_por = 30\nprimeira_espera = 1\n")
                                                                .arg(m_relayPort)
                                                                .arg(m_certs.ca)
                                                                .toUtf8()));
    QVERIFY(writeFile(path(QStringLiteral("regras.txt")), "relay = relay.ini\npagina = https://bi.empresa.com.br\n"
                                                          "alerta = * resultado vermelho controladoria@empresa.com.br\n"));
    QDir().mkpath(path(QStringLiteral("csv")));
    QVERIFY(testfigures::write(path(QStringLiteral("csv"))));
}

void TestMail::cleanupTestCase()
{
    stopRelay();
}

bool TestMail::startRelay()
{
    m_relay.start(QStringLiteral("/usr/bin/python3"),
                  {kRelayScript, "--port", QString::number(m_relayPort), "--folder", path(QStringLiteral("caixa")), "--cert",
                   m_certs.serverCert, "--key", m_certs.serverKey, "--user", "kpd", "--password", "segredo"});
    m_relay.waitForStarted();
    for (int i = 0; i < 100 && m_relay.state() == QProcess::Running; ++i)
        if (m_relay.waitForReadyRead(100) && m_relay.readAllStandardOutput().contains("pronto"))
            return true;
    qWarning() << m_relay.readAllStandardError();
    return false;
}

void TestMail::stopRelay()
{
    m_relay.terminate();
    m_relay.waitForFinished(5000);
}

QStringList TestMail::messages() const
{
    return QDir(path(QStringLiteral("caixa"))).entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
}

QString TestMail::open(const QString& eml, const QString& out) const
{
    run(QStringLiteral("/usr/bin/python3"), {kRelayScript, "--extract", path(QStringLiteral("caixa/")) + eml, out});
    QFile headers(out + QStringLiteral("/headers.txt")), body(out + QStringLiteral("/body.txt"));
    headers.open(QIODevice::ReadOnly);
    body.open(QIODevice::ReadOnly);
    return QString::fromUtf8(headers.readAll() + body.readAll());
}

// A database with the test figures and region AL green in April, ready to serve.
QString TestMail::serverDb(const QString& db)
{
    for (const QString& dir : {path(QStringLiteral("csv")), regionFigures(path(QStringLiteral("verde")), 12.0)}) {
        const auto [code, output] = run(QStringLiteral(KPD_APPSERVER_BIN), {"--import", dir, "--db", db, "--init-schema"});
        if (code != 0)
            return output;
    }
    return {};
}

void TestMail::shouldSendThePackOnceWhenItsDayAndTimeHaveCome_data()
{
    QTest::addColumn<int>("day");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("lastSent");
    QTest::addColumn<QString>("months");
    QTest::addColumn<bool>("due");
    QTest::addColumn<QStringList>("pack");
    const QStringList may{"2026-05"};
    const auto at = [](int m, int d, int h, int min) { return QDateTime(QDate(2026, m, d), QTime(h, min)); };
    QTest::newRow("a day before") << 5 << at(6, 4, 23, 0) << "" << "mes" << false << may;
    QTest::newRow("the day, before the time") << 5 << at(6, 5, 6, 59) << "" << "mes" << false << may;
    QTest::newRow("the day and time") << 5 << at(6, 5, 7, 0) << "" << "mes" << true << may;
    QTest::newRow("days later, not sent") << 5 << at(6, 20, 9, 0) << "2026-04" << "mes" << true << may;
    QTest::newRow("sent already") << 5 << at(6, 20, 9, 0) << "2026-05" << "mes" << false << may;
    QTest::newRow("day 31 in February: its last day") << 31 << at(2, 28, 8, 0) << "" << "ano" << true << QStringList{"2026-01"};
    QTest::newRow("the year so far") << 1 << at(6, 1, 8, 0) << "" << "ano" << true
                                     << QStringList{"2026-01", "2026-02", "2026-03", "2026-04", "2026-05"};
    QTest::newRow("January closes the year before") << 1 << at(1, 2, 8, 0) << "" << "ano" << true
                                                    << QStringList{"2025-01", "2025-02", "2025-03", "2025-04", "2025-05", "2025-06",
                                                                   "2025-07", "2025-08", "2025-09", "2025-10", "2025-11", "2025-12"};
    QTest::newRow("the last three, over a new year") << 1 << at(2, 1, 8, 0) << "" << "3" << true
                                                     << QStringList{"2025-11", "2025-12", "2026-01"};
}

void TestMail::shouldSendThePackOnceWhenItsDayAndTimeHaveCome()
{
    QFETCH(int, day);
    QFETCH(QDateTime, now);
    QFETCH(QString, lastSent);
    QFETCH(QString, months);
    const QString file = path(QStringLiteral("quando.ini"));
    QVERIFY(writeFile(file, QStringLiteral("[assinatura]\ndestinatarios = a@b.com\ndia = %1\nhora = 07:00\nmeses = %2\n[relay]\narquivo = relay.ini\n")
                                .arg(day)
                                .arg(months)
                                .toUtf8()));
    Subscription s;
    QString error;
    QVERIFY2(Subscription::load(file, &s, &error), qPrintable(error));
    QFile::remove(s.statePath());
    if (!lastSent.isEmpty())
        QVERIFY(writeFile(s.statePath(), lastSent.toUtf8() + " 2026-01-01T00:00:00\n"));
    const cockpit::RefMonth closed = Subscription::closedMonth(now);
    QTEST(s.due(now, closed), "due");
    QStringList pack;
    for (const cockpit::RefMonth& m : s.monthsFor(closed))
        pack << m.key();
    QTEST(pack, "pack");
}

void TestMail::shouldMailTheBoardPackAsPdfOnceForItsMonth()
{
    const QString db = path(QStringLiteral("pacote.db"));
    QCOMPARE(serverDb(db), QString());
    ServerProcess server;
    QString error;
    QVERIFY2(server.start({"--db", db}, &error), qPrintable(error));
    const QString subscription = path(QStringLiteral("assinatura.ini"));
    QVERIFY(writeFile(subscription, QStringLiteral("[assinatura]\ndestinatarios = conselho@empresa.com.br, diretoria@empresa.com.br\n"
                                                   "dia = 1\nhora = 00:00\nmeses = ano\nempresa = Comercial Exemplo\ntema = claro\n"
                                                   "servidor = %1\n\n[relay]\narquivo = relay.ini\n")
                                        .arg(server.address())
                                        .toUtf8()));
    const int before = int(messages().size());
    // A password the relay refuses is not tried again for minutes: the run ends at once, saying why.
    QVERIFY(writeFile(path(QStringLiteral("senha-errada")), "outra\n"));
    QFile::setPermissions(path(QStringLiteral("senha-errada")), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QFile relay(path(QStringLiteral("relay.ini")));
    QVERIFY(relay.open(QIODevice::ReadOnly));
    QVERIFY(writeFile(path(QStringLiteral("relay-errado.ini")), relay.readAll().replace("arquivo_senha = senha", "arquivo_senha = senha-errada")));
    const QString wrong = path(QStringLiteral("assinatura-errada.ini"));
    QVERIFY(writeFile(wrong, QStringLiteral("[assinatura]\ndestinatarios = conselho@empresa.com.br\nservidor = %1\n[relay]\narquivo = relay-errado.ini\n")
                                 .arg(server.address())
                                 .toUtf8()));
    QElapsedTimer timer;
    timer.start();
    const auto [refused, refusal] = run(QStringLiteral(KPD_HOST_BIN), {"--send-subscription", wrong, "--now", "--month", "2024-04", "--module", KPD_MODULE_PATH});
    QCOMPARE(refused, 1);
    QVERIFY2(refusal.contains(QStringLiteral("recusou o usuário ou a senha")) && timer.elapsed() < 10000, qPrintable(refusal));

    // A record of what was sent that cannot be written (as on a full disk; here a folder where the file
    // should be): nothing goes, run after run.
    const QString full = path(QStringLiteral("assinatura-cheia.ini"));
    QVERIFY(QDir().mkpath(path(QStringLiteral("estado-impossivel"))));
    QVERIFY(writeFile(full, QStringLiteral("[assinatura]\ndestinatarios = conselho@empresa.com.br\nestado = %1\nservidor = %2\n"
                                           "[relay]\narquivo = relay.ini\n")
                                .arg(path(QStringLiteral("estado-impossivel")), server.address())
                                .toUtf8()));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto [fullCode, fullOutput] = run(QStringLiteral(KPD_HOST_BIN), {"--send-subscription", full, "--month", "2024-04", "--module", KPD_MODULE_PATH});
        QVERIFY2(fullCode == 1, qPrintable(fullOutput));
        QVERIFY2(fullOutput.contains(QStringLiteral("não foi possível registrar o envio")), qPrintable(fullOutput));
    }
    QCOMPARE(messages().size(), before);

    const QStringList send{"--send-subscription", subscription, "--month", "2024-04", "--module", KPD_MODULE_PATH};
    const auto [code, output] = run(QStringLiteral(KPD_HOST_BIN), send);
    QVERIFY2(code == 0, qPrintable(output));
    QCOMPARE(messages().size(), before + 1);
    const QString out = path(QStringLiteral("pacote"));
    const QString text = open(messages().last(), out);
    QVERIFY2(text.contains(QStringLiteral("Subject: Caderno do conselho — Abril/2024 — Comercial Exemplo")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("A empresa em Abril/2024")) && text.contains(QStringLiteral("% Resultado: ")), qPrintable(text));
    // A month without a revenue budget: the revenue is its own target, green, and the words say so.
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("Faturamento: [0-9.,]+ M \\(sem meta definida\\) — verde"))), qPrintable(text));
    const auto [pdfCode, pdfText] = run(QStringLiteral("pdftotext"), {out + QStringLiteral("/caderno-2024-04.pdf"), "-"});
    QCOMPARE(pdfCode, 0);
    QVERIFY2(pdfText.contains(QStringLiteral("Janeiro/2024 a Abril/2024")) && pdfText.contains(QStringLiteral("Abril/2024")),
             qPrintable(pdfText.left(400)));

    // The timer's next run finds the month sent.
    const auto [again, againOutput] = run(QStringLiteral(KPD_HOST_BIN), send);
    QCOMPARE(again, 0);
    QVERIFY2(againOutput.contains(QStringLiteral("nada a enviar")), qPrintable(againOutput));
    QCOMPARE(messages().size(), before + 1);
}

void TestMail::shouldRefuseABrokenRuleFileByItsLine()
{
    QVERIFY(writeFile(path(QStringLiteral("quebradas.txt")), "relay = relay.ini\n# regional norte\nalerta = NO lucro vermelho a@b.com\n"));
    const auto [code, output] = run(QStringLiteral(KPD_APPSERVER_BIN), {"--db", path(QStringLiteral("pacote.db")), "--listen",
                                                                       "127.0.0.1:0", "--alert-rules", path(QStringLiteral("quebradas.txt"))});
    QCOMPARE(code, 2);
    QVERIFY2(output.contains(QStringLiteral("linha 3: indicador desconhecido \"lucro\"")), qPrintable(output));
}

// A line break in the sender, through the INI file's escapes, would add a recipient and a header to the
// SMTP dialogue: the relay's settings are refused, with the line.
void TestMail::shouldRefuseARelaySettingWithALineBreak()
{
    const QString file = path(QStringLiteral("relay-quebrado.ini"));
    QVERIFY(writeFile(file, "[relay]\nurl = smtp://localhost:25\nremetente = \"bi@empresa.com.br\\r\\nRCPT TO:<intruso@fora.example>\"\n"));
    QSettings settings(file, QSettings::IniFormat);
    MailRelay relay;
    QString error;
    QVERIFY(!MailRelay::load(settings, &relay, &error));
    QVERIFY2(error.contains(QStringLiteral("relay/remetente com caractere de controle")) && error.contains(QStringLiteral("linha 3")),
             qPrintable(error));
}

void TestMail::shouldWatchARegionByAnyCodeALoadTakes_data()
{
    QTest::addColumn<QString>("scope");
    QTest::addColumn<bool>("taken");
    QTest::newRow("letters") << "NO" << true;
    QTest::newRow("an ampersand") << "P&D" << true;
    QTest::newRow("longer than a code") << "NORTE" << false;
}

void TestMail::shouldWatchARegionByAnyCodeALoadTakes()
{
    QFETCH(QString, scope);
    QFETCH(bool, taken);
    const QString file = path(QStringLiteral("escopo.txt"));
    QVERIFY(writeFile(file, "relay = relay.ini\nalerta = " + scope.toUtf8() + " resultado vermelho a@b.com\n"));
    appserver::AlertRules rules;
    QString error;
    QCOMPARE(appserver::AlertRules::load(file, &rules, &error), taken);
    QVERIFY2(taken ? rules.rules.first().region == scope : error.contains(QStringLiteral("escopo inválido")), qPrintable(error));
}

void TestMail::shouldSendOneAlertPerChangeThroughARelayThatWasAway()
{
    const QString db = path(QStringLiteral("alertas.db"));
    QCOMPARE(serverDb(db), QString());
    const QStringList args{"--db", db, "--alert-rules", path(QStringLiteral("regras.txt")), "--metrics-only", "127.0.0.1:0"};
    auto server = std::make_unique<ServerProcess>();
    QString error;
    QVERIFY2(server->start(args, &error), qPrintable(error));
    // The first look learns where the figures stand, and sends nothing for what was red already.
    QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("sqlite3"), {db, "SELECT COUNT(*) FROM alerta_estado"}).second.trimmed().toInt() > 0, 10000);
    const int before = int(messages().size());

    stopRelay();
    const QString red = regionFigures(path(QStringLiteral("vermelho")), -4.0);
    QCOMPARE(run(QStringLiteral(KPD_APPSERVER_BIN), {"--import", red, "--db", db}).first, 0);
    QTRY_VERIFY_WITH_TIMEOUT(server->log().contains(QStringLiteral("nova tentativa")), 10000);
    QVERIFY(startRelay());
    QTRY_COMPARE_WITH_TIMEOUT(messages().size(), before + 1, 20000);
    const QString text = open(messages().last(), path(QStringLiteral("alerta")));
    for (const QString& part : {QStringLiteral("Subject: Alerta: regional AL — % Resultado entrou no vermelho (04/2024)"),
                                QStringLiteral("Valor: -4,0%"), QStringLiteral("Meta: 5,0% · −9,0 p.p."),
                                QStringLiteral("Mudança: de 12,0% para -4,0%"),
                                QStringLiteral("https://bi.empresa.com.br/regiao/AL?mes=2024-04")})
        QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" em\n") + text));

    // The same figures again, then a restart: the region is still red, which is no news.
    QCOMPARE(run(QStringLiteral(KPD_APPSERVER_BIN), {"--import", red, "--db", db}).first, 0);
    QTest::qWait(2500);
    QVERIFY(server->stop());
    server = std::make_unique<ServerProcess>();
    QVERIFY2(server->start(args, &error), qPrintable(error));
    QTest::qWait(2500);
    QCOMPARE(messages().size(), before + 1);
    QVERIFY(server->stop());
    QVERIFY2(run(QStringLiteral("sqlite3"), {db, "SELECT estado, tentativas > 1 FROM alerta_saida"}).second.trimmed() == "enviada|1",
             qPrintable(server->log()));
}

void TestMail::shouldSendOneAlertFromTwoInstancesOnPostgres()
{
    PgCluster cluster;
    QString error;
    QVERIFY2(cluster.start(&error), qPrintable(error));
    QCOMPARE(serverDb(cluster.uri()), QString());
    const QStringList args{"--db", cluster.uri(), "--alert-rules", path(QStringLiteral("regras.txt"))};
    ServerProcess first, second;
    QVERIFY2(first.start(args, &error), qPrintable(error));
    QVERIFY2(second.start(args, &error), qPrintable(error));
    QString rows;
    QTRY_VERIFY_WITH_TIMEOUT(cluster.psql(QStringLiteral("SELECT COUNT(*) FROM alerta_estado"), &rows) && rows.toInt() > 0, 10000);
    const int before = int(messages().size());
    // The states held still while both instances see the new figures: they then judge them at once, and
    // only the claim in the database keeps the second from sending too.
    QProcess hold;
    hold.start(QStringLiteral("psql"), {cluster.uri(), "-c", "BEGIN; LOCK TABLE alerta_estado IN EXCLUSIVE MODE; SELECT pg_sleep(2.5); COMMIT;"});
    QVERIFY(hold.waitForStarted());
    QTest::qWait(300);
    QCOMPARE(run(QStringLiteral(KPD_APPSERVER_BIN), {"--import", regionFigures(path(QStringLiteral("vermelho")), -4.0), "--db", cluster.uri()}).first, 0);
    QVERIFY(hold.waitForFinished(10000));
    QTRY_COMPARE_WITH_TIMEOUT(messages().size(), before + 1, 15000);
    QTest::qWait(2500);   // both instances have looked at the new figures by now
    QCOMPARE(messages().size(), before + 1);
    QVERIFY(cluster.psql(QStringLiteral("SELECT COUNT(*), MIN(estado) FROM alerta_saida"), &rows));
    QCOMPARE(rows, QStringLiteral("1|enviada"));
    QVERIFY(first.log().contains(QStringLiteral("alertas: enviada")) != second.log().contains(QStringLiteral("alertas: enviada")));
}

QTEST_GUILESS_MAIN(TestMail)
#include "tst_mail.moc"
