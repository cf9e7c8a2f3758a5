// The SQLite file as ETLs treat it: written with plain SQL of every kind, swapped by rename, removed and
// put back, left with a hot journal by a load that died, while a real server reads it.
#include "serverprocess.h"
#include "testfigures.h"

#include "kpd.grpc.pb.h"

#include <grpcpp/grpcpp.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QDate kMarch(2024, 3, 15);

// The reply's figures, or the failure the method put in its result, or the call's status.
QStringList monthOf(const ServerProcess& server)
{
    auto stub = kpd::rpc::RemoteDataModule::NewStub(
        grpc::CreateChannel(server.address().toStdString(), grpc::InsecureChannelCredentials()));
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(10));
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = stub->Invoke(&context, testfigures::request(kMarch), &reply);
    if (!status.ok())
        return {QStringLiteral("status %1: %2").arg(status.error_code()).arg(QString::fromStdString(status.error_message()))};
    if (reply.result().kind_case() == kpd::rpc::Variant::kTextValue)
        return {QStringLiteral("FALHA: ") + QString::fromStdString(reply.result().text_value())};
    return testfigures::dump(reply);
}

// Rows of a query as text, amounts to the hundredth of a cent.
QStringList rowsOf(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        return {q.lastError().text()};
    QStringList rows;
    while (q.next()) {
        QStringList fields;
        for (int c = 0; c < q.record().count(); ++c) {
            bool number = false;
            const double value = q.value(c).toString().toDouble(&number);
            fields << (number ? QString::number(value, 'f', 4) : q.value(c).toString());
        }
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

// An ETL's own connection to the file.
struct EtlConnection {
    explicit EtlConnection(const QString& path) : db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName))
    {
        db.setDatabaseName(path);
        db.open();
    }
    ~EtlConnection()
    {
        db.close();
        db = {};
        QSqlDatabase::removeDatabase(kName);
    }
    static inline const QString kName = QStringLiteral("etl");
    QSqlDatabase db;
};

} // namespace

class TestDatabaseFile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_base;   // the test figures as --import leaves them: schema, triggers, summary

    QString copyOfBase(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        return QFile::copy(m_base, path) ? path : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString csv = m_dir.filePath(QStringLiteral("csv"));
        QVERIFY(QDir().mkpath(csv));
        QVERIFY(testfigures::write(csv));
        m_base = m_dir.filePath(QStringLiteral("base.db"));
        QProcess import;
        import.start(QStringLiteral(KPD_APPSERVER_BIN), {"--import", csv, "--db", m_base, "--init-schema"});
        QVERIFY(import.waitForFinished(60000));
        QVERIFY2(import.exitCode() == 0, import.readAllStandardError().constData());
    }

    void shouldKeepTheMonthlySummaryExactOnEveryKindOfWrite_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("inserts out of date order")
            << "INSERT INTO movimento_diario VALUES (2, '2024-02-20', 765.43, 300.07, 200.11, 99.99), "
               "(2, '2024-02-10', 1234.56, 400.01, 500.02, 100.03)";
        QTest::newRow("upsert of the month's last day")
            << "INSERT INTO movimento_diario VALUES (1, '2024-03-31', 1.5, 2.5, 3.5, 4.5) "
               "ON CONFLICT (cdfilial, dtmovimento) DO UPDATE SET vrfatliq = excluded.vrfatliq, vrmdo = excluded.vrmdo";
        QTest::newRow("upsert of a day inside the month")
            << "INSERT INTO movimento_diario VALUES (1, '2024-03-15', 1.5, 2.5, 3.5, 4.5) "
               "ON CONFLICT (cdfilial, dtmovimento) DO UPDATE SET vrfatliq = vrfatliq + excluded.vrfatliq";
        QTest::newRow("upsert of a new day")
            << "INSERT INTO movimento_diario VALUES (13, '2024-03-05', 9.99, 1, 2, 3) "
               "ON CONFLICT (cdfilial, dtmovimento) DO UPDATE SET vrfatliq = excluded.vrfatliq";
        QTest::newRow("INSERT OR REPLACE of the month's last day")
            << "INSERT OR REPLACE INTO movimento_diario VALUES (1, '2024-03-31', 7.77, 1, 1, 1)";
        QTest::newRow("REPLACE of a day inside the month")
            << "REPLACE INTO movimento_diario VALUES (2, '2024-01-10', 7.77, 1, 1, 1)";
        QTest::newRow("INSERT OR REPLACE of a whole month")
            << "INSERT OR REPLACE INTO movimento_diario SELECT cdfilial, dtmovimento, vrfatliq * 2, vrconsumo, vrmdo, "
               "vrdespesas FROM movimento_diario WHERE dtmovimento >= '2024-04-01'";
        QTest::newRow("INSERT ... SELECT in reverse date order")
            << "INSERT INTO movimento_diario SELECT cdfilial, date(dtmovimento, '+1 year'), vrfatliq, vrconsumo, vrmdo, "
               "vrdespesas FROM movimento_diario WHERE dtmovimento >= '2024-03-01' AND dtmovimento < '2024-04-01' "
               "ORDER BY dtmovimento DESC";
        QTest::newRow("update of amounts")
            << "UPDATE movimento_diario SET vrfatliq = vrfatliq + 0.07, vrconsumo = vrconsumo * 1.5 "
               "WHERE cdfilial IN (1, 5) AND dtmovimento >= '2024-03-01' AND dtmovimento < '2024-03-11'";
        QTest::newRow("update into another month")
            << "UPDATE movimento_diario SET dtmovimento = '2024-02-05' WHERE cdfilial = 2 AND dtmovimento = '2024-03-05'";
        QTest::newRow("update into another branch")
            << "UPDATE movimento_diario SET cdfilial = 13 WHERE cdfilial = 8 AND dtmovimento = '2024-01-20'";
        QTest::newRow("UPDATE OR REPLACE onto an existing day")
            << "UPDATE OR REPLACE movimento_diario SET dtmovimento = '2024-03-31' WHERE cdfilial = 3 AND dtmovimento = '2024-03-30'";
        QTest::newRow("delete of one day")
            << "DELETE FROM movimento_diario WHERE cdfilial = 7 AND dtmovimento = '2024-03-15'";
        QTest::newRow("INSERT OR IGNORE of an existing day, then REPLACE of it")
            << "INSERT OR IGNORE INTO movimento_diario VALUES (4, '2024-03-10', 5, 1, 1, 1); "
               "REPLACE INTO movimento_diario VALUES (4, '2024-03-10', 6.25, 1, 1, 1)";
        QTest::newRow("a branch moved to another region")
            << "UPDATE filial SET cdareagere = (SELECT MIN(cdareagere) FROM regional WHERE cdareagere <> "
               "(SELECT cdareagere FROM filial WHERE cdfilial = 1)) WHERE cdfilial = 1";
        QTest::newRow("month-end stock written, replaced and deleted")
            << "UPDATE estoque_mensal SET vrestoque = vrestoque + 1.5 WHERE cdfilial = 2; "
               "INSERT OR REPLACE INTO estoque_mensal VALUES (5, '2024-03-01', 777.77); "
               "DELETE FROM estoque_mensal WHERE cdfilial = 3 AND mes = '2024-03-01'";
        QTest::newRow("delete of a whole branch-month")
            << "DELETE FROM movimento_diario WHERE cdfilial = 3 AND dtmovimento >= '2024-01-01' AND dtmovimento < '2024-02-01'";
    }

    // A company's ETL writes movimento_diario with its own SQL: the summary the server reads holds the
    // sums of the daily rows after each kind of write.
    void shouldKeepTheMonthlySummaryExactOnEveryKindOfWrite()
    {
        QFETCH(QString, sql);
        const QString path = copyOfBase(QStringLiteral("writes.db"));
        QVERIFY(!path.isEmpty());
        EtlConnection etl(path);
        QVERIFY(etl.db.isOpen());
        const QString fingerprint = QStringLiteral("SELECT COUNT(*), SUM(vrfatliq), SUM(vrmdo), "
                                                   "SUM(cdfilial * julianday(dtmovimento)), "
                                                   "(SELECT group_concat(cdfilial || cdareagere) FROM filial), "
                                                   "(SELECT group_concat(cdfilial || mes || vrestoque) FROM estoque_mensal) "
                                                   "FROM movimento_diario");
        const QStringList before = rowsOf(etl.db, fingerprint);
        for (const QString& statement : sql.split(QStringLiteral("; "))) {
            QSqlQuery write(etl.db);
            QVERIFY2(write.exec(statement), qPrintable(write.lastError().text()));
        }
        QVERIFY2(rowsOf(etl.db, fingerprint) != before, "the write changes the daily rows");
        const QStringList summary = rowsOf(
            etl.db, QStringLiteral("SELECT mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias, vrestoque "
                                   "FROM movimento_mensal WHERE qtdias > 0 ORDER BY mes, cdfilial"));
        const QStringList sums = rowsOf(
            etl.db, QStringLiteral("SELECT d.*, e.vrestoque FROM (SELECT date(dtmovimento, 'start of month') AS mes, cdfilial, "
                                   "SUM(vrfatliq), SUM(vrconsumo), SUM(vrmdo), SUM(vrdespesas), COUNT(*) FROM movimento_diario "
                                   "GROUP BY mes, cdfilial) d LEFT JOIN estoque_mensal e ON e.mes = d.mes AND e.cdfilial = d.cdfilial "
                                   "ORDER BY d.mes, d.cdfilial"));
        QCOMPARE(summary, sums);
        // Each region's days, which the year-before pace is read from, likewise.
        const QStringList regionDays = rowsOf(
            etl.db, QStringLiteral("SELECT dtmovimento, cdareagere, qtfiliais, vrfatliq FROM movimento_regional_diario "
                                   "ORDER BY dtmovimento, cdareagere"));
        const QStringList daySums = rowsOf(
            etl.db, QStringLiteral("SELECT d.dtmovimento, f.cdareagere, COUNT(*), SUM(d.vrfatliq) FROM movimento_diario d "
                                   "JOIN filial f ON f.cdfilial = d.cdfilial GROUP BY d.dtmovimento, f.cdareagere "
                                   "ORDER BY d.dtmovimento, f.cdareagere"));
        QCOMPARE(regionDays, daySums);
    }

    // An ETL swaps in a new file by rename, or removes it: the server answers from the file the path names
    // now, and from no file at all it fails every call and is not serving until a file is back.
    void shouldFollowTheFileAnEtlReplacesOrRemoves()
    {
        const QString live = copyOfBase(QStringLiteral("live.db"));
        const QString fresh = copyOfBase(QStringLiteral("fresh.db"));
        {
            EtlConnection etl(fresh);
            QSqlQuery q(etl.db);
            QVERIFY(q.exec(QStringLiteral("UPDATE movimento_diario SET vrfatliq = vrfatliq * 2 WHERE dtmovimento >= '2024-03-01'")));
        }
        // What each file says, from servers of their own.
        QString error;
        QStringList old;
        QStringList swapped;
        for (auto [file, month] : {std::pair{m_base, &old}, std::pair{fresh, &swapped}}) {
            const QString copy = m_dir.filePath(QStringLiteral("reference.db"));
            QFile::remove(copy);
            QVERIFY(QFile::copy(file, copy));
            ServerProcess reference;
            QVERIFY2(reference.start({"--db", copy}, &error), qPrintable(error));
            *month = monthOf(reference);
            QVERIFY(reference.stop());
        }
        QVERIFY(old != swapped);

        ServerProcess server;
        QVERIFY2(server.start({"--db", live, "--db-pool", "4"}, &error), qPrintable(error));
        for (int i = 0; i < 8; ++i)   // every pooled connection open on the old file
            QCOMPARE(monthOf(server), old);

        QElapsedTimer followed;
        followed.start();
        QVERIFY(std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(live).constData()) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(monthOf(server), swapped, 5000);
        qInfo("a file swapped by rename answered from after %lld ms", followed.elapsed());
        for (int i = 0; i < 16; ++i)
            QCOMPARE(monthOf(server), swapped);

        QVERIFY(QFile::remove(live));
        QTRY_VERIFY_WITH_TIMEOUT(monthOf(server).value(0).contains(QStringLiteral("foi removido")), 5000);
        for (int i = 0; i < 8; ++i)
            QVERIFY2(monthOf(server).value(0).startsWith(QStringLiteral("FALHA: ")), "never an answer from a removed file");
        QTRY_VERIFY_WITH_TIMEOUT(server.log().contains(QStringLiteral("saúde: NOT_SERVING")), 5000);

        QVERIFY(QFile::copy(m_base, live));
        QTRY_COMPARE_WITH_TIMEOUT(monthOf(server), old, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(server.log().endsWith(QStringLiteral("saúde: SERVING (o banco responde)\n")), 5000);
        QVERIFY(server.stop());
    }

    // A load that dies inside its transaction (a full disk, a kill) leaves a hot journal that no read-only
    // connection can read past: the server plays it back and answers again, without a restart.
    void shouldAnswerAgainAfterALoadLeavesAHotJournal()
    {
        const QString live = copyOfBase(QStringLiteral("journal.db"));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({"--db", live}, &error), qPrintable(error));
        const QStringList before = monthOf(server);
        QVERIFY(!before.value(0).startsWith(QStringLiteral("FALHA")));

        const pid_t child = fork();
        if (child == 0) {
            // A writer that spills its changes into the file, then dies without a rollback.
            sqlite3* db = nullptr;
            sqlite3_open_v2(QFile::encodeName(live).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_exec(db, "PRAGMA cache_size = 2; BEGIN; UPDATE movimento_diario SET vrfatliq = vrfatliq + 1;",
                         nullptr, nullptr, nullptr);
            _exit(1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(QFileInfo(live + QStringLiteral("-journal")).size() > 0, "the writer left its journal");

        // At most the call that meets the journal fails, saying so; the next ones read the file as it was.
        const QStringList first = monthOf(server);
        if (first != before)
            QVERIFY2(first.value(0).contains(QStringLiteral("gravação interrompida")), qPrintable(first.join('\n')));
        for (int i = 0; i < 8; ++i)
            QCOMPARE(monthOf(server), before);
        QVERIFY(!QFile::exists(live + QStringLiteral("-journal")));
        QVERIFY(server.stop());
    }

    // A file that went bad under a running server: the client is told in words a manager can act on, the
    // log keeps SQLite's own text for whoever repairs it.
    void shouldTellAManagerWhatADamagedFileMeans()
    {
        const QString live = copyOfBase(QStringLiteral("damaged.db"));
        ServerProcess server;
        QString error;
        QVERIFY2(server.start({"--db", live}, &error), qPrintable(error));
        QVERIFY(!monthOf(server).value(0).startsWith(QStringLiteral("FALHA")));
        {
            QFile file(live);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.write(QByteArray(100, 'x')) == 100);   // the header, in place
        }
        const QStringList damaged{QStringLiteral("FALHA: O banco de dados do servidor está danificado; avise o suporte.")};
        QTRY_COMPARE_WITH_TIMEOUT(monthOf(server), damaged, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(server.log().contains(QStringLiteral("not a database")), 5000);
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(TestDatabaseFile)
#include "tst_databasefile.moc"
