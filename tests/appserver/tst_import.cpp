// kpd-appserver --import: a good set loads and loads again without doubling; refused input names
// file, line and column and leaves the database as it was. Every case runs on SQLite and PostgreSQL.
#include "csvimporter.h"
#include "database.h"
#include "importerror.h"
#include "pgcluster.h"
#include "schema.h"
#include "testfigures.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <memory>
#include <thread>

using namespace appserver;

namespace {

struct Figures {
    QStringList counts;    // rows of each table
    QString checksum;      // sums that change when any value changes
    bool operator==(const Figures&) const = default;
};

QString scalar(Database& db, const QString& sql)
{
    QSqlQuery q = db.prepare(sql);
    Database::exec(q);
    return q.next() ? q.value(0).toString() : QString();
}

Figures figuresOf(Database& db)
{
    Figures f;
    for (const QString& t : Schema::tableNames())
        f.counts << t + QLatin1Char('=') + scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(t));
    f.checksum = QStringList{
        scalar(db, QStringLiteral("SELECT ROUND(SUM(vrfatliq + 2 * vrconsumo + 3 * vrmdo + 5 * vrdespesas), 2) FROM movimento_diario")),
        scalar(db, QStringLiteral("SELECT ROUND(SUM(vrestoque), 2) FROM estoque_mensal")),
        scalar(db, QStringLiteral("SELECT MAX(nmfilial) || MAX(cdareagere) FROM filial")),
        scalar(db, QStringLiteral("SELECT MAX(nmareagere) FROM regional")),
    }.join(QLatin1Char(' '));
    return f;
}

// U+FFFE in a test file's text stands for the byte 0xFF, which is no UTF-8.
bool writeFile(const QString& path, const QString& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(text.toUtf8().replace("\xEF\xBF\xBE", "\xFF")) >= 0;
}

const QString kDailyHeader = QStringLiteral("cdfilial,dtmovimento,vrfatliq,vrconsumo,vrmdo,vrdespesas\n");

} // namespace

class TestImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void shouldLoadAGoodSetAndLoadItAgainWithoutDoubling_data();
    void shouldLoadAGoodSetAndLoadItAgainWithoutDoubling();
    void shouldReplaceTheMonthsOfTheBranchesInTheFile_data();
    void shouldReplaceTheMonthsOfTheBranchesInTheFile();
    void shouldRefuseBadInputAndWriteNothing_data();
    void shouldRefuseBadInputAndWriteNothing();
    void shouldReportRefusalOnTheCommandLine();
    void shouldWaitForAnotherWriterOnSqlite_data();
    void shouldWaitForAnotherWriterOnSqlite();

private:
    void addEngines();
    /// An empty database of the engine with the schema, loaded with the test figures when loaded.
    std::unique_ptr<Database> freshDatabase(const QString& engine, bool loaded = true);
    QString newDir();

    QTemporaryDir m_dir;
    PgCluster m_cluster;
    QString m_figures;
    int m_serial = 0;
    std::unique_ptr<Database> m_db;
};

void TestImport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")),
             "Qt's PostgreSQL driver is missing (Debian package libqt6sql6-psql)");
    QString error;
    QVERIFY2(m_cluster.start(&error), qPrintable(error));
    m_figures = newDir();
    QVERIFY(testfigures::write(m_figures));
}

void TestImport::init() {}

void TestImport::cleanup()
{
    m_db.reset();
}

QString TestImport::newDir()
{
    const QString dir = m_dir.filePath(QStringLiteral("d%1").arg(++m_serial));
    QDir().mkpath(dir);
    return dir;
}

void TestImport::addEngines()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

std::unique_ptr<Database> TestImport::freshDatabase(const QString& engine, bool loaded)
{
    DatabaseSettings settings;
    if (engine == QLatin1String("sqlite")) {
        settings.databaseName = m_dir.filePath(QStringLiteral("db%1.sqlite").arg(++m_serial));
    } else {
        const QUrl url(m_cluster.uri());
        settings.driver = QStringLiteral("QPSQL");
        settings.hostName = url.host();
        settings.port = url.port();
        settings.userName = url.userName();
        settings.databaseName = url.path().mid(1);
    }
    auto db = std::make_unique<Database>(settings);
    if (engine != QLatin1String("sqlite")) {
        db->execDirect(QStringLiteral("DROP SCHEMA public CASCADE"));
        db->execDirect(QStringLiteral("CREATE SCHEMA public"));
    }
    Schema::create(*db);
    if (loaded)
        CsvImporter(*db).run(m_figures);
    return db;
}

void TestImport::shouldLoadAGoodSetAndLoadItAgainWithoutDoubling_data() { addEngines(); }

void TestImport::shouldLoadAGoodSetAndLoadItAgainWithoutDoubling()
{
    QFETCH(QString, engine);
    m_db = freshDatabase(engine, false);
    const ImportSummary summary = CsvImporter(*m_db).run(m_figures);
    QCOMPARE(summary.files.size(), 4);
    QCOMPARE(summary.files.at(2), qMakePair(QStringLiteral("movimento_diario.csv"), qint64(984)));
    const Figures first = figuresOf(*m_db);
    QCOMPARE(first.counts, (QStringList{"regional=4", "filial=13", "movimento_diario=984", "estoque_mensal=24", "carga_etl=1"}));

    CsvImporter(*m_db).run(m_figures);
    const Figures second = figuresOf(*m_db);
    QCOMPARE(second.counts, (QStringList{"regional=4", "filial=13", "movimento_diario=984", "estoque_mensal=24", "carga_etl=2"}));
    QCOMPARE(second.checksum, first.checksum);
}

void TestImport::shouldReplaceTheMonthsOfTheBranchesInTheFile_data() { addEngines(); }

void TestImport::shouldReplaceTheMonthsOfTheBranchesInTheFile()
{
    QFETCH(QString, engine);
    m_db = freshDatabase(engine);
    const auto sumOf = [&](int branch, const char* from, const char* to) {
        return scalar(*m_db, QStringLiteral("SELECT ROUND(SUM(vrfatliq), 2) FROM movimento_diario WHERE cdfilial = %1 "
                                            "AND dtmovimento >= '%2' AND dtmovimento < '%3'")
                                 .arg(branch)
                                 .arg(QLatin1String(from), QLatin1String(to)));
    };
    const QString branch2March = sumOf(2, "2024-03-01", "2024-04-01");
    const QString branch1January = sumOf(1, "2024-01-01", "2024-02-01");
    QVERIFY(!branch1January.isEmpty());

    // Branch 1's March again, with 10 days instead of 31, and a day of a month the database does not have
    // yet (its rows and the replacing ones take different ways on PostgreSQL); branch 1 renamed; branch
    // 2's March stock.
    const QString dir = newDir();
    QString daily = kDailyHeader;
    for (int d = 1; d <= 10; ++d)
        daily += QStringLiteral("1,2024-03-%1,1000.25,400,400,100\n").arg(d, 2, 10, QLatin1Char('0'));
    daily += QStringLiteral("1,2024-05-02,7,1,1,1\n");
    QVERIFY(writeFile(dir + "/movimento_diario.csv", daily));
    QVERIFY(writeFile(dir + "/filial.csv", "cdfilial,cdareagere,nmfilial\n1,SUL,Filial renomeada\n"));
    QVERIFY(writeFile(dir + "/estoque_mensal.csv", "cdfilial;mes;vrestoque\n2;2024-03-01;1234,5\n"));
    CsvImporter(*m_db).run(dir);

    QCOMPARE(figuresOf(*m_db).counts,
             (QStringList{"regional=4", "filial=13", "movimento_diario=964", "estoque_mensal=24", "carga_etl=2"}));
    QCOMPARE(sumOf(1, "2024-03-01", "2024-04-01").toDouble(), 10002.5);
    QCOMPARE(sumOf(1, "2024-05-01", "2024-06-01").toDouble(), 7.0);
    QCOMPARE(sumOf(2, "2024-03-01", "2024-04-01"), branch2March);     // another branch's same month stays
    QCOMPARE(sumOf(1, "2024-01-01", "2024-02-01"), branch1January);   // and the branch's other months
    QCOMPARE(scalar(*m_db, "SELECT nmfilial || '/' || cdareagere FROM filial WHERE cdfilial = 1"), "Filial renomeada/SUL");
    QCOMPARE(scalar(*m_db, "SELECT vrestoque FROM estoque_mensal WHERE cdfilial = 2 AND mes = '2024-03-01'").toDouble(), 1234.5);

    // The same file once more changes nothing but the load log.
    CsvImporter(*m_db).run(dir);
    QCOMPARE(figuresOf(*m_db).counts,
             (QStringList{"regional=4", "filial=13", "movimento_diario=964", "estoque_mensal=24", "carga_etl=3"}));
}

void TestImport::shouldRefuseBadInputAndWriteNothing_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("files");   // name, content, name, content, ...
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("reason");

    const QString good1 = QStringLiteral("1,2024-06-01,100,40,40,10\n");
    const QString good2 = QStringLiteral("2,2024-06-01,100,40,40,10\n");
    QString manyRows = kDailyHeader;
    for (int d = 0; d < 299; ++d)
        manyRows += QStringLiteral("%1,%2,100,40,40,10\n").arg(1 + d % 10).arg(QDate(2024, 6, 1).addDays(d / 10).toString(Qt::ISODate));
    manyRows += QStringLiteral("3,2024-06-01,1,1,1,1\n");   // line 301 repeats line 4

    struct Case {
        const char* name;
        QStringList files;
        const char* file;
        int line;
        int column;
        const char* reason;
    };
    const QList<Case> cases{
        {"missing column", {"movimento_diario.csv", "cdfilial,dtmovimento,vrfatliq,vrconsumo,vrdespesas\n1,2024-06-01,1,1,1\n"},
         "movimento_diario.csv", 1, 0, "falta a coluna"},
        {"unknown column", {"regional.csv", "cdareagere,nmareagere,gerente\nNO,Norte,Ana\n"}, "regional.csv", 1, 3, "coluna desconhecida"},
        {"wrong number", {"movimento_diario.csv", kDailyHeader + good1 + "2,2024-06-01,12.3x,40,40,10\n"},
         "movimento_diario.csv", 3, 3, "número inválido: \"12.3x\""},
        {"decimal comma with comma separator", {"movimento_diario.csv", kDailyHeader + good1 + "2,2024-06-01,100,\"40,5\",40,10\n"},
         "movimento_diario.csv", 3, 4, "número inválido"},
        {"wrong date", {"movimento_diario.csv", kDailyHeader + "1,2024-02-30,100,40,40,10\n"}, "movimento_diario.csv", 2, 2,
         "data inválida"},
        {"month not its first day", {"estoque_mensal.csv", "cdfilial,mes,vrestoque\n1,2024-06-15,10\n"}, "estoque_mensal.csv", 2, 2,
         "primeiro dia"},
        {"branch code not a number", {"estoque_mensal.csv", "cdfilial,mes,vrestoque\nF1,2024-06,10\n"}, "estoque_mensal.csv", 2, 1,
         "código de filial inválido"},
        {"empty value", {"movimento_diario.csv", kDailyHeader + "1,2024-06-01,100,,40,10\n"}, "movimento_diario.csv", 2, 4, "valor vazio"},
        {"unknown branch", {"movimento_diario.csv", kDailyHeader + good1 + good2 + "99,2024-06-01,100,40,40,10\n"},
         "movimento_diario.csv", 4, 1, "filial 99 não cadastrada"},
        {"unknown region", {"filial.csv", "cdfilial,nmfilial,cdareagere\n20,Filial 20,NE\n21,Filial 21,ZZ\n"}, "filial.csv", 3, 3,
         "regional \"ZZ\" não cadastrada"},
        {"region code over 3 characters", {"regional.csv", "cdareagere,nmareagere\nNO,Norte\nNORT,Norte 2\n"}, "regional.csv", 3, 1,
         "mais de 3 caracteres"},
        {"branch name over 30 characters", {"filial.csv", "cdfilial,nmfilial,cdareagere\n20,Filial 20 - Sao Jose dos Campos,NE\n"},
         "filial.csv", 2, 2, "mais de 30 caracteres (31)"},
        {"name counted in characters", {"filial.csv", "cdfilial,nmfilial,cdareagere\n20,Filial " + QString::fromUtf8("\U0001F3EA").repeated(24) + ",NE\n"},
         "filial.csv", 2, 2, "mais de 30 caracteres (31)"},
        {"code with a control character", {"regional.csv", "cdareagere,nmareagere\nN\x1bO,Norte\n"}, "regional.csv", 2, 1,
         "caractere de controle: \"N\\x1BO\""},
        {"code with a blank at an end", {"regional.csv", "cdareagere,nmareagere\n\"NO \",Norte\n"}, "regional.csv", 2, 1,
         "espaço no início ou no fim"},
        {"region code a spreadsheet would run", {"regional.csv", "cdareagere,nmareagere\nNO,Norte\n=9,Nove\n"}, "regional.csv", 3, 1,
         "tomaria por fórmula: \"=9\""},
        {"branch name a spreadsheet would run", {"filial.csv", "cdfilial;nmfilial;cdareagere\n20;\"=HYPERLINK(\"\"http://ev.il\"\")\";NE\n"},
         "filial.csv", 2, 2, "tomaria por fórmula"},
        {"region name after a tab", {"regional.csv", "cdareagere,nmareagere\nNO,\"\t@x\"\n"}, "regional.csv", 2, 2, "tomaria por fórmula"},
        {"line with no end", {"meta_mensal.csv", "mes,escopo,indicador,vrmeta\n2024-06,TOTAL,consumo," + QString(70000, QLatin1Char('4'))},
         "meta_mensal.csv", 2, 4, "linha com mais de 64 KiB"},
        {"lines ended by CR alone", {"movimento_diario.csv", QString(kDailyHeader).replace(QLatin1Char('\n'), QLatin1Char('\r')) +
                                                                 "1,2024-06-01,100,40,40,10\r2,2024-06-01,12.3x,40,40,10\r"},
         "movimento_diario.csv", 3, 3, "número inválido: \"12.3x\""},
        {"not UTF-8", {"regional.csv", "cdareagere,nmareagere\nNO,Nort\uFFFE\n"}, "regional.csv", 2, 2, "não está em UTF-8"},
        {"not UTF-8 inside quotes over lines", {"regional.csv", "cdareagere;nmareagere\nNO;\"Norte\n\uFFFE\"\n"},
         "regional.csv", 3, 2, "não está em UTF-8"},
        {"day in December 9999", {"movimento_diario.csv", kDailyHeader + good1 + "2,9999-12-31,100,40,40,10\n"},
         "movimento_diario.csv", 3, 2, "data fora do intervalo aceito"},
        {"repeated key", {"movimento_diario.csv", kDailyHeader + good1 + good2 + "1,01/06/2024,5,1,1,1\n"}, "movimento_diario.csv", 4, 1,
         "chave repetida (cdfilial 1, dtmovimento 2024-06-01): já informada na linha 2"},
        {"repeated key far apart", {"movimento_diario.csv", manyRows}, "movimento_diario.csv", 301, 1, "já informada na linha 4"},
        {"too few values", {"regional.csv", "cdareagere,nmareagere\nNO\n"}, "regional.csv", 2, 2, "1 valores e o cabeçalho 2"},
        {"quote left open", {"regional.csv", "cdareagere,nmareagere\nNO,\"Norte\nSU,Sul\n"}, "regional.csv", 2, 2, "aspas"},
        {"unknown indicator in a target", {"meta_mensal.csv", "mes,escopo,indicador,vrmeta\n2024-06,TOTAL,faturamento,1000\n"
                                                              "2024-06,NE,lucro,5\n"},
         "meta_mensal.csv", 3, 3, "indicador desconhecido: \"lucro\""},
        {"target of an unknown region", {"meta_mensal.csv", "mes,escopo,indicador,vrmeta\n2024-06,ZZ,consumo,40\n"},
         "meta_mensal.csv", 2, 2, "regional \"ZZ\" não cadastrada"},
        // "#0001" is branch 1, as filial.csv reads 0001; a revenue budget below zero is refused where it stands.
        {"revenue budget of nothing or less", {"meta_mensal.csv", "mes,escopo,indicador,vrmeta\n2024-06,#0001,faturamento,1000\n"
                                                                  "2024-06,TOTAL,faturamento,-5\n"},
         "meta_mensal.csv", 3, 4, "meta de faturamento deve ser maior que zero"},
        {"good file before a bad one", {"regional.csv", "cdareagere,nmareagere\nNO,Norte\n", "filial.csv",
                                        "cdfilial,nmfilial,cdareagere\n20,Filial 20,NO\n21,Filial 21,NORT\n"},
         "filial.csv", 3, 3, "mais de 3 caracteres"},
    };
    for (const QString& engine : {QStringLiteral("sqlite"), QStringLiteral("postgresql")}) {
        for (const Case& c : cases)
            QTest::addRow("%s, %s", qPrintable(engine), c.name)
                << engine << c.files << QString::fromLatin1(c.file) << c.line << c.column << QString::fromUtf8(c.reason);
    }
}

void TestImport::shouldRefuseBadInputAndWriteNothing()
{
    QFETCH(QString, engine);
    QFETCH(QStringList, files);
    QFETCH(QString, file);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, reason);

    m_db = freshDatabase(engine);
    const Figures before = figuresOf(*m_db);
    const QString dir = newDir();
    for (int i = 0; i + 1 < files.size(); i += 2)
        QVERIFY(writeFile(dir + QLatin1Char('/') + files[i], files[i + 1]));

    try {
        CsvImporter(*m_db).run(dir);
        QFAIL("the import was accepted");
    } catch (const ImportError& e) {
        QCOMPARE(e.file(), file);
        QCOMPARE(e.line(), qint64(line));
        QCOMPARE(e.column(), column);
        QVERIFY2(e.reason().contains(reason), qPrintable(e.message()));
    }
    QCOMPARE(figuresOf(*m_db), before);
    // The connection is still good for the next import.
    CsvImporter(*m_db).run(m_figures);
    QCOMPARE(figuresOf(*m_db).counts.last(), QStringLiteral("carga_etl=2"));
}

void TestImport::shouldReportRefusalOnTheCommandLine()
{
    const QString dbPath = m_dir.filePath(QStringLiteral("cli.sqlite"));
    const QString dir = newDir();
    QVERIFY(writeFile(dir + "/regional.csv", "cdareagere,nmareagere\nNO,Norte\n"));
    QVERIFY(writeFile(dir + "/movimento_diario.csv", kDailyHeader + "1,2024-06-01,100,40,40,10\n"));
    QProcess p;
    p.start(QStringLiteral(KPD_APPSERVER_BIN), {"--import", dir, "--db", dbPath, "--init-schema"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("importação recusada, nada foi gravado: movimento_diario.csv, linha 2, "
                                         "coluna 1 (cdfilial): filial 1 não cadastrada")),
             qPrintable(err));
    Database db(DatabaseSettings{QStringLiteral("QSQLITE"), dbPath, {}, -1, {}, {}, true, {}, 0});
    QCOMPARE(figuresOf(db).counts,
             (QStringList{"regional=0", "filial=0", "movimento_diario=0", "estoque_mensal=0", "carga_etl=0"}));
}

void TestImport::shouldWaitForAnotherWriterOnSqlite_data()
{
    QTest::addColumn<QString>("journal");
    QTest::newRow("rollback journal") << "delete";
    QTest::newRow("write-ahead log") << "wal";
}

// An ETL's transaction in progress: the import waits for it and loads; one that outlasts the wait is named.
void TestImport::shouldWaitForAnotherWriterOnSqlite()
{
    QFETCH(QString, journal);
    m_db = freshDatabase(QStringLiteral("sqlite"));
    m_db->execDirect(QStringLiteral("PRAGMA journal_mode = ") + journal);
    sqlite3* etl = nullptr;
    QCOMPARE(sqlite3_open_v2(QFile::encodeName(m_db->settings().databaseName).constData(), &etl, SQLITE_OPEN_READWRITE, nullptr),
             SQLITE_OK);
    sqlite3_busy_timeout(etl, 10000);
    QCOMPARE(sqlite3_exec(etl, "BEGIN IMMEDIATE; INSERT INTO carga_etl (dtcarga) VALUES ('2024-07-01 00:00:00')", nullptr,
                          nullptr, nullptr),
             SQLITE_OK);
    try {
        CsvImporter(*m_db, std::chrono::milliseconds(300)).run(m_figures);
        QFAIL("the import went ahead of the other writer");
    } catch (const DatabaseError& e) {
        QVERIFY2(e.message().contains(QString::fromUtf8("Outro processo está gravando")), qPrintable(e.message()));
    }
    int committed = -1;
    std::thread finish([&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        committed = sqlite3_exec(etl, "COMMIT", nullptr, nullptr, nullptr);
    });
    try {
        CsvImporter(*m_db).run(m_figures);
    } catch (const DatabaseError& e) {
        finish.join();
        QFAIL(qPrintable(e.message()));
    }
    finish.join();
    sqlite3_close(etl);
    QCOMPARE(committed, SQLITE_OK);
    QCOMPARE(figuresOf(*m_db).counts.last(), QStringLiteral("carga_etl=3"));
}

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
