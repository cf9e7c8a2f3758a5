// kpd-host without a display: opens the month, writes the PNG and the JSON of the dashboard, exits.
#include "refreshserver.h"
#include "testcertificates.h"

#include "tfrmindiresult.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QtTest>

namespace {

struct HostRun {
    int exitCode = -1;
    QString stderrText;
    QImage snapshot;
    QJsonObject json;
};

HostRun runHost(const QString& server, const QString& month, const QTemporaryDir& dir)
{
    HostRun run;
    const QString png = dir.filePath(QStringLiteral("painel.png"));
    const QString json = dir.filePath(QStringLiteral("painel.json"));
    QFile::remove(png);
    QFile::remove(json);
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(KPD_HOST_BIN),
               {"--server", server, "--month", month, "--snapshot", png, "--export-json", json});
    if (!host.waitForFinished(60000)) {
        host.kill();
        host.waitForFinished();
        run.stderrText = QStringLiteral("kpd-host não terminou");
        return run;
    }
    run.exitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
    run.stderrText = QString::fromUtf8(host.readAllStandardError());
    run.snapshot.load(png);
    QFile file(json);
    if (file.open(QIODevice::ReadOnly))
        run.json = QJsonDocument::fromJson(file.readAll()).object();
    return run;
}

// Runs kpd-host with the given arguments after "--server"; exit code and standard error.
std::pair<int, QString> runHostWith(const QStringList& args)
{
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(KPD_HOST_BIN), args);
    if (!host.waitForFinished(120000)) {
        host.kill();
        host.waitForFinished();
        return {-1, QStringLiteral("kpd-host não terminou")};
    }
    return {host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1,
            QString::fromUtf8(host.readAllStandardError())};
}

QJsonObject zone(int color, double start, double stop)
{
    return QJsonObject{{"color", color}, {"start", start}, {"stop", stop}};
}

} // namespace

class TestHeadlessHost : public QObject {
    Q_OBJECT
    RefreshServer m_server;
    QTemporaryDir m_dir;
    QSize m_windowSize;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY(m_dir.isValid());
        TfrmIndiResult form;
        m_windowSize = form.size();
    }

    void cleanupTestCase() { QVERIFY(m_server.stop()); }

    void shouldExportTheMonthItShows()
    {
        const HostRun run = runHost(m_server.address(), QStringLiteral("2008-04"), m_dir);
        QVERIFY2(run.exitCode == 0, qPrintable(run.stderrText));
        QCOMPARE(run.snapshot.size(), m_windowSize);

        const QJsonObject& j = run.json;
        QCOMPARE(j["refDate"].toString(), QStringLiteral("2008-04-01"));
        QCOMPARE(j["messages"].toArray(), QJsonArray());
        QCOMPARE(j["labels"]["lblTitulo"].toString(),
                 QStringLiteral("BI Business Intelligence - Resultados Operacionais  (Abril/2008)"));
        QCOMPARE(j["labels"]["lblR1"].toString(), QStringLiteral("CON"));
        QCOMPARE(j["panels"]["pnlIndicFatTotal"].toString(), QStringLiteral("12,5 M"));
        QCOMPARE(j["panels"]["pnlIndicConsR1"].toString(), QStringLiteral("42%"));

        const QJsonObject fat = j["gauges"]["indicFatTotal"].toObject();
        QCOMPARE(fat["min"].toDouble(), 6.25);
        QCOMPARE(fat["max"].toDouble(), 18.75);
        QCOMPARE(fat["value"].toDouble(), 12.5);
        // No revenue budget that month: the figure is its own target, the needle green on the yellow/green edge.
        QCOMPARE(fat["needleColor"].toInt(), 0x008000);
        QCOMPARE(fat["hubColor"].toInt(), 0x008000);
        QCOMPARE(fat["zones"].toArray(),
                 (QJsonArray{zone(0x0000FF, 6.25, 11.25), zone(0x00FFFF, 11.25, 12.5), zone(0x008000, 12.5, 18.75)}));
        // What the window judged, as it judged it: the scorecard the dashboard carries, not one worked out again.
        const QJsonObject company = j["scorecard"]["scopes"][0].toObject();
        QCOMPARE(company["faturamento"]["targetText"].toString(), QStringLiteral("sem meta definida"));
        QCOMPARE(company["faturamento"]["zone"].toString(), QStringLiteral("verde"));
        QCOMPARE(j["gauges"]["indicConsR1"]["needleColor"].toInt(), 0x00FFFF);
        QCOMPARE(j["gauges"].toObject().size(), 30);

        const QJsonObject top = j["grids"]["dbgTop10"].toObject();
        QCOMPARE(top["titles"].toArray().size(), 3);
        const QJsonArray rows = top["rows"].toArray();
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows[0].toArray().contains(QStringLiteral("Filial CON")));
        QVERIFY(rows[0].toArray().contains(QStringLiteral("18,0%")));
        QCOMPARE(top["rowColors"].toArray(), QJsonArray{0});
        QCOMPARE(j["grids"]["dbgAtrasaLanca"]["rows"].toArray(), QJsonArray());

        const QJsonObject revenue = j["charts"]["grafFatReg"].toObject();
        QVERIFY(!revenue["title"].toString().isEmpty());
        QCOMPARE(revenue["slices"].toArray(), QJsonArray{QJsonObject({{"label", "CON"}, {"value", 12.5}})});
        QCOMPARE(j["charts"]["grafResultReg"]["slices"].toArray(),
                 QJsonArray{QJsonObject({{"label", "CON"}, {"value", 2.25}})});
    }

    void shouldStillWriteTheOutputsWhenTheRefreshFails_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("message");
        QTest::newRow("unreachable server")
            << false << "2008-04"
            << QString::fromUtf8("Não foi possível conectar ao servidor de aplicação 127.0.0.1:1: a conexão foi recusada "
                                 "(não há servidor em execução nesse endereço).");
        QTest::newRow("six regions") << true << "2008-03"
                                     << QString::fromUtf8("Há mais de 5 regionais cadastradas no sistema.Este cockpit "
                                                          "está programado para exibir dados de apenas 5 regionais.");
    }
    void shouldStillWriteTheOutputsWhenTheRefreshFails()
    {
        QFETCH(bool, reachable);
        QFETCH(QString, month);
        QFETCH(QString, message);
        const HostRun run = runHost(reachable ? m_server.address() : QStringLiteral("127.0.0.1:1"), month, m_dir);
        QVERIFY2(run.exitCode > 0, qPrintable(run.stderrText));
        QVERIFY2(run.stderrText.contains(message), qPrintable(run.stderrText));
        QCOMPARE(run.snapshot.size(), m_windowSize);
        QCOMPARE(run.json["messages"].toArray(), QJsonArray{message});
        // With nothing fetched the window names no month and says why it has no figures.
        QCOMPARE(run.json["refDate"].toString(), reachable ? month + QStringLiteral("-01") : QString());
        QCOMPARE(run.json["labels"]["lblAviso"].toString(), reachable ? QString() : QStringLiteral("Sem dados: ") + message);
        QCOMPARE(run.json["gauges"].toObject().size(), 30);
    }

    void shouldShowSeveralMonthsInOneWindowAndWriteEach()
    {
        QTemporaryDir dir;
        const QString pattern = dir.filePath(QStringLiteral("painel-{month}"));
        const QString pdf = dir.filePath(QStringLiteral("pacote.pdf"));
        // March has six regions and fails; the other months are still written.
        const auto [exitCode, err] =
            runHostWith({"--server", m_server.address(), "--month", "2008-01..2008-03", "--month", "2008-06",
                         "--snapshot", pattern + ".png", "--export-json", pattern + ".json", "--pdf", pdf});
        QVERIFY2(exitCode == 1, qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("2008-03")), qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("sem dados para 2008-06")), qPrintable(err));
        const QStringList months{"2008-01", "2008-02", "2008-03", "2008-06"};
        for (const QString& month : months) {
            QCOMPARE(QImage(dir.filePath("painel-" + month + ".png")).size(), m_windowSize);
            QFile file(dir.filePath("painel-" + month + ".json"));
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(month));
            const QJsonObject j = QJsonDocument::fromJson(file.readAll()).object();
            QCOMPARE(j["refDate"].toString(), month + "-01");
            QCOMPARE(j["messages"].toArray().size(), month == "2008-03" ? 1 : 0);
        }
        // February follows January in the same window: its fourth row reads as stored, not as January's.
        QFile feb(dir.filePath("painel-2008-02.json"));
        QVERIFY(feb.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(feb.readAll())["labels"]["lblR4"].toString(), QString());

        // The pack: a cover, then the cockpit and its table per month, all vector graphics and text.
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
        QVERIFY(text.waitForFinished(30000));
        const QString words = QString::fromUtf8(text.readAllStandardOutput());
        for (const QString& expected : {QStringLiteral("Janeiro/2008 a Junho/2008"), QStringLiteral("página 1 de 10"),
                                        QStringLiteral("página 10 de 10"), QStringLiteral("Indicadores de Resultado — Fevereiro/2008 — resumo"),
                                        QStringLiteral("Últimos 12 meses até Junho/2008"), QStringLiteral("% Resultado"),
                                        QStringLiteral("(meta 10,00 M"), QStringLiteral("Última Atualização : 03/08/2008")})
            QVERIFY2(words.contains(expected), qPrintable(expected + QStringLiteral(" não está em\n") + words));
        // The cockpit's page prints no text smaller than 7 points: a word's box is its font's ascent and
        // descent, 1.1 times its size at least in the sans faces the window uses.
        QProcess boxes;
        boxes.start(QStringLiteral("pdftotext"), {"-f", "2", "-l", "2", "-bbox", pdf, "-"});
        QVERIFY(boxes.waitForFinished(30000));
        static const QRegularExpression word(QStringLiteral("yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"([0-9.]+)\">([^<]*)<"));
        int printed = 0;
        for (auto it = word.globalMatch(QString::fromUtf8(boxes.readAllStandardOutput())); it.hasNext(); ++printed) {
            const QRegularExpressionMatch m = it.next();
            const double height = m.captured(2).toDouble() - m.captured(1).toDouble();
            QVERIFY2(height >= 7.0 * 1.1, qPrintable(QStringLiteral("%1: %2 pt").arg(m.captured(3)).arg(height)));
        }
        QVERIFY(printed > 100);
        QProcess images;
        images.start(QStringLiteral("pdfimages"), {"-list", pdf});
        QVERIFY(images.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(images.readAllStandardOutput()).count(QLatin1Char('\n')), 2);   // the heading only
    }

    // Both programs explain themselves in Portuguese, with their defaults and examples.
    void shouldHelpInPortuguese_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("kpd-host") << QStringLiteral(KPD_HOST_BIN);
        QTest::newRow("kpd-appserver") << QStringLiteral(KPD_APPSERVER_BIN);
    }
    void shouldHelpInPortuguese()
    {
        QFETCH(QString, program);
        QProcess p;
        p.start(program, {"--help"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        for (const char* word : {"Uso:", "padrão", "Exemplos:"})
            QVERIFY2(out.contains(QString::fromUtf8(word)), word);
        for (const char* english : {"Usage", "Options:", "Displays", "XDG_RUNTIME_DIR", "QStandardPaths"})
            QVERIFY2(!out.contains(QLatin1String(english)), english);
    }

    // At a terminal a new password is asked twice; two different ones write nothing.
    void shouldRefuseTwoDifferentPasswordsAtATerminal()
    {
        QTemporaryDir dir;
        const QString users = dir.filePath(QStringLiteral("usuarios"));
        QProcess terminal;   // script gives the program a terminal of its own
        terminal.start(QStringLiteral("script"), {"-qec", QStringLiteral("%1 --add-user gerente --users %2").arg(KPD_APPSERVER_BIN, users), "/dev/null"});
        QVERIFY(terminal.waitForStarted());
        terminal.write("segredo1\nsegredo2\n");
        terminal.closeWriteChannel();
        QVERIFY(terminal.waitForFinished(30000));
        QCOMPARE(terminal.exitCode(), 1);
        QVERIFY(QString::fromUtf8(terminal.readAll()).contains(QString::fromUtf8("As duas senhas não são iguais")));
        QVERIFY(!QFile::exists(users));
    }

    // The lists go to a spreadsheet as numbers: Python's csv module reads back the figures themselves.
    void shouldExportTheListsAsSpreadsheets()
    {
        QTemporaryDir dir;
        const auto [exitCode, err] =
            runHostWith({"--server", m_server.address(), "--month", "2008-01", "--export-csv", dir.filePath("listas")});
        QVERIFY2(exitCode == 0, qPrintable(err));
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {"-c", "import csv,sys; r=list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline=''), delimiter=';'));"
                            "print(r[0]); print([float(x[2].replace(',', '.')) for x in r[1:]])",
                      dir.filePath("listas/dbgTop10.csv")});
        QVERIFY(python.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(python.readAllStandardOutput()),
                 QStringLiteral("['Filial', 'Reg.', '%Result.', 'Meses na lista (de 12)']\n[10.0, 10.0, 10.0, 6.0, 4.0]\n"));
    }

    // An output that cannot be written is said so, in words, and never left half written.
    void shouldNeverReportAnOutputItDidNotWrite_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        const QString full = QStringLiteral("/dev/full");
        const QString noSpace = QString::fromUtf8("não há espaço livre no disco");
        QTest::newRow("json to a full disk") << "--export-json" << full << noSpace;
        QTest::newRow("pack to a full disk") << "--pdf" << full << noSpace;
        QTest::newRow("picture into a missing folder") << "--snapshot" << "falta/painel.png" << QString::fromUtf8("a pasta não existe");
    }
    void shouldNeverReportAnOutputItDidNotWrite()
    {
        QFETCH(QString, option);
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString target = path.startsWith('/') ? path : dir.filePath(path);
        const auto [exitCode, err] = runHostWith({"--server", m_server.address(), "--month", "2008-04", option, target});
        QVERIFY2(exitCode == 1, qPrintable(err));
        QVERIFY2(err.contains(QString::fromUtf8("não foi possível gravar %1: %2").arg(target, reason)), qPrintable(err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void shouldRefuseMalformedArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString month = QString::fromUtf8("mês inválido em --month");
        QTest::newRow("month with a blank") << QStringList{"--month", " 2024-03"} << month;
        QTest::newRow("range with a blank") << QStringList{"--month", "2024-01 ..2024-03"} << month;
        const QString timeout = QString::fromUtf8("prazo inválido em --timeout");
        QTest::newRow("timeout NaN") << QStringList{"--timeout", "nan"} << timeout;
        QTest::newRow("timeout below a second") << QStringList{"--timeout", "0.5"} << timeout;
        const QString server = QString::fromUtf8("endereço inválido em --server");
        QTest::newRow("IPv6 without brackets") << QStringList{"--server", "::1:2113"} << server;
        QTest::newRow("host with a blank") << QStringList{"--server", "servidor :2113"} << server;
        QTest::newRow("port with a sign") << QStringList{"--server", "servidor:+2113"} << server;
        QTest::newRow("unknown option") << QStringList{"--mes", "2024-03"} << QString::fromUtf8("opção desconhecida: mes");
        // An empty path would write nothing and still end well.
        for (const char* output : {"--pdf", "--export-json", "--snapshot", "--export-csv"})
            QTest::addRow("empty %s", output) << QStringList{"--month", "2024-03", output, ""}
                                              << QStringLiteral("caminho vazio em %1").arg(QLatin1String(output));
        QTest::newRow("blank path") << QStringList{"--month", "2024-03", "--pdf", " "} << QStringLiteral("caminho vazio em --pdf");
        // A wall screen shows one month, and refreshes at least every day.
        QTest::newRow("wall screen of a range") << QStringList{"--kiosk", "--month", "2024-01..2024-03"} << month;
        QTest::newRow("wall screen never refreshed") << QStringList{"--kiosk", "--cycle", "0"}
                                                     << QString::fromUtf8("intervalo inválido em --cycle");
        QTest::newRow("cycle without a wall screen") << QStringList{"--month", "2024-03", "--cycle", "60"}
                                                     << QString::fromUtf8("--cycle só se aplica a --kiosk");
    }
    void shouldRefuseMalformedArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        if (!args.contains("--server"))
            args << "--server" << m_server.address();
        const auto [exitCode, err] = runHostWith(args);
        QCOMPARE(exitCode, 2);
        QVERIFY2(err.contains("kpd-host: " + message), qPrintable(err));
    }

    void shouldRefuseSeveralMonthsIntoOneFile()
    {
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("painel.png"));
        const auto [exitCode, err] = runHostWith({"--server", m_server.address(), "--month", "2008-01..2008-02",
                                                  "--snapshot", png});
        QCOMPARE(exitCode, 2);
        QVERIFY2(err.contains(QStringLiteral("{month}")), qPrintable(err));
        QVERIFY(!QFile::exists(png));
    }

    void shouldPresentItsCertificateToAServerThatRequiresOne_data()
    {
        QTest::addColumn<QStringList>("tls");   // {ca, cert, key}: "ok" the good file, "vazio" an empty one
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("certificate from the authority") << QStringList{"ok", "ok", "ok"} << 0 << "Abril/2008";
        QTest::newRow("empty authority") << QStringList{"vazio", "", ""} << 2 << "está vazio";
        QTest::newRow("empty key") << QStringList{"ok", "ok", "vazio"} << 2 << "está vazio";
        QTest::newRow("certificate without key") << QStringList{"ok", "ok", ""} << 2 << "juntos";
    }
    void shouldPresentItsCertificateToAServerThatRequiresOne()
    {
        QFETCH(QStringList, tls);
        QFETCH(int, exitCode);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        TestCertificates c;
        QString error;
        if (!c.create(dir.path(), &error))
            QSKIP(qPrintable(error));
        ServerProcess server;
        QVERIFY2(server.start({"--db", m_server.databasePath(), "--tls-cert", c.serverCert, "--tls-key", c.serverKey,
                               "--tls-client-ca", c.ca},
                              &error),
                 qPrintable(error));
        const QString empty = dir.filePath(QStringLiteral("vazio.pem"));
        QFile(empty).open(QIODevice::WriteOnly);
        const QStringList options{"--tls-ca", "--tls-cert", "--tls-key"};
        const QStringList good{c.ca, c.clientCert, c.clientKey};
        QStringList args{"--server", server.address(), "--month", "2008-04", "--export-json", dir.filePath("painel.json")};
        for (int i = 0; i < 3; ++i) {
            if (!tls[i].isEmpty())
                args << options[i] << (tls[i] == QLatin1String("ok") ? good[i] : empty);
        }
        const auto [code, err] = runHostWith(args);
        QFile json(dir.filePath("painel.json"));
        const QString shown = json.open(QIODevice::ReadOnly) ? QString::fromUtf8(json.readAll()) : err;
        QCOMPARE(code, exitCode);
        QVERIFY2(shown.contains(mentions), qPrintable(shown));
        QVERIFY(server.stop());
    }
};

QTEST_MAIN(TestHeadlessHost)
#include "tst_headless_host.moc"
