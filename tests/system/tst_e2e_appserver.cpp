// The dashboard's data service against a real kpd-appserver on a free loopback port, over a small
// database whose figures are worked out by hand below.
#include "exceptions.h"
#include "testsupport.h"
#include "hostfunctions.h"
#include "messagedlg.h"
#include "modulestate.h"
#include "tclientdataset.h"
#include "tfrmindiresult.h"
#include "tindicresultdata.h"
#include "tnetconnection.h"

#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

// March 2026 (31 days), in currency units:
//   branch 1 NOR "Filial Um":     revenue 1 000 000, consumption   400 000, labour 200 000, expenses 100 000
//                                 → 40 / 20 / 10 %, result 300 000 = 30 %; stock 400 000 → 31 days
//   branch 2 SUL "Filial Dois":   revenue 2 000 000, consumption 1 100 000, labour 300 000, expenses 100 000
//                                 → result 500 000 = 25 %; stock 2 200 000 → 62 days
//   branch 3 SUL "Filial Três":   revenue 1 000 000, consumption   500 000, labour 300 000, expenses 260 000
//                                 → result -60 000 = -6 %; stock 250 000 → 15.5 days
//   branch 4 SUL "Sem Movimento": figures in February only; stock but no consumption in March
// TOTAL: 3 branches, revenue 4.00 M, consumption 50 %, labour 20 %, expenses 11.5 %, result 18.5 %
// SUL:   2 branches, revenue 3.00 M, consumption 53.3 %, labour 20 %, expenses 12 %, result 14.7 %
//        cost 2.56 M, result 0.44 M;  NOR: cost 0.70 M, result 0.30 M
const char* const kSchema[] = {
    "CREATE TABLE regional(cdareagere TEXT PRIMARY KEY, nmareagere TEXT NOT NULL)",
    "CREATE TABLE filial(cdfilial INTEGER PRIMARY KEY, nmfilial TEXT NOT NULL, "
    "cdareagere TEXT NOT NULL REFERENCES regional)",
    "CREATE TABLE movimento_diario(cdfilial INTEGER NOT NULL REFERENCES filial, dtmovimento DATE NOT NULL, "
    "vrfatliq NUMERIC NOT NULL, vrconsumo NUMERIC NOT NULL, vrmdo NUMERIC NOT NULL, vrdespesas NUMERIC NOT NULL, "
    "PRIMARY KEY (cdfilial, dtmovimento))",
    "CREATE TABLE estoque_mensal(cdfilial INTEGER NOT NULL REFERENCES filial, mes DATE NOT NULL, "
    "vrestoque NUMERIC NOT NULL, PRIMARY KEY (cdfilial, mes))",
    "CREATE TABLE carga_etl(dtcarga TIMESTAMP NOT NULL)",
    "INSERT INTO regional VALUES ('NOR', 'Norte'), ('SUL', 'Sul')",
    "INSERT INTO filial VALUES (1, 'Filial Um', 'NOR'), (2, 'Filial Dois', 'SUL'), (3, 'Filial Três', 'SUL'), "
    "(4, 'Sem Movimento', 'SUL')",
    "INSERT INTO movimento_diario VALUES "
    "(1, '2026-03-02', 600000, 240000, 120000, 60000), (1, '2026-03-15', 400000, 160000, 80000, 40000), "
    "(2, '2026-03-10', 2000000, 1100000, 300000, 100000), (3, '2026-03-31', 1000000, 500000, 300000, 260000), "
    "(1, '2026-02-28', 5000000, 0, 0, 0), (4, '2026-02-10', 900000, 100, 100, 100), "
    "(2, '2026-04-01', 7000000, 0, 0, 0)",
    "INSERT INTO estoque_mensal VALUES (1, '2026-03-01', 400000), (2, '2026-03-01', 2200000), "
    "(3, '2026-03-01', 250000), (4, '2026-03-01', 999999), (1, '2026-02-01', 1)",
    "INSERT INTO carga_etl VALUES ('2026-02-01 06:00:00'), ('2026-03-02 06:30:00')",
};

// Every record of the dataset in its display texts, fields separated by "|".
QStringList rowsOf(TClientDataSet* cds)
{
    QStringList rows;
    for (cds->First(); !cds->Eof(); cds->Next()) {
        QStringList cells;
        for (TField* f : cds->Fields())
            cells << f->DisplayText();
        rows << cells.join('|');
    }
    cds->First();
    return rows;
}

} // namespace

class TestAppServerEndToEnd : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QProcess m_server;
    int m_port = 0;

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        SetMessagePresenter([](MessageKind, const QString&) {});
        QVERIFY(m_dir.isValid());
        const QString path = m_dir.filePath("kpd.db");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "build");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            for (const char* sql : kSchema)
                QVERIFY2(q.exec(QString::fromUtf8(sql)), qPrintable(q.lastError().text()));
            db.close();
        }
        QSqlDatabase::removeDatabase("build");

        m_server.setProgram(QStringLiteral(KPD_APPSERVER_BIN));
        m_server.setArguments({"--db", path, "--listen", "127.0.0.1:0"});
        m_server.setProcessChannelMode(QProcess::SeparateChannels);
        m_server.start();
        QVERIFY2(m_server.waitForStarted(5000), qPrintable(m_server.errorString()));
        static const QRegularExpression listening(QStringLiteral("listening on [^\\s:]+:(\\d+)"));
        QString out;
        while (m_port == 0 && m_server.waitForReadyRead(10000)) {
            out += QString::fromUtf8(m_server.readAllStandardOutput());
            const auto m = listening.match(out);
            if (m.hasMatch())
                m_port = m.captured(1).toInt();
        }
        QVERIFY2(m_port > 0, qPrintable(out + QString::fromUtf8(m_server.readAllStandardError())));
        const int port = m_port;
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [port] { return port; });
    }

    void cleanupTestCase()
    {
        SetServerAddressProvider({}, {});
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.terminate();
        QVERIFY(m_server.waitForFinished(10000));
        QCOMPARE(m_server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_server.exitCode(), 0);
    }

    void shouldFetchTheMonthComputedByHand()
    {
        TfrmIndiResult form;
        dtData = DateTimeUtil::fromDate(QDate(2026, 3, 17));
        form.Data()->netIndicResult->SetConnected(true);
        form.Data()->FetchCkpData();

        QCOMPARE(DateTimeUtil::toDate(dtData), QDate(2026, 3, 1));
        QCOMPARE(rowsOf(form.Data()->cdsIndicadores),
                 (QStringList{"TOTAL|3|4|50|20|11,5|18,5|02/03/2026", "NOR|1|1|40|20|10|30|02/03/2026",
                              "SUL|2|3|53,3|20|12|14,7|02/03/2026"}));
        QCOMPARE(rowsOf(form.Data()->cdsTop10),
                 (QStringList{"NOR|Filial Um|30,0%|1,0%", "SUL|Filial Dois|25,0%|2,0%",
                              QString::fromUtf8("SUL|Filial Três|-6,0%|3,0%")}));
        QCOMPARE(rowsOf(form.Data()->cdsBottom10),
                 (QStringList{QString::fromUtf8("SUL|Filial Três|-6,0%|1,0%"), "SUL|Filial Dois|25,0%|2,0%",
                              "NOR|Filial Um|30,0%|3,0%"}));
        QCOMPARE(rowsOf(form.Data()->cdsGrafPizza), (QStringList{"NOR|1|0,7|0,3", "SUL|3|2,56|0,44"}));
        QCOMPARE(rowsOf(form.Data()->cdsDiasEstoque),
                 (QStringList{"SUL|1|Filial Dois|62,0", "NOR|2|Filial Um|31,0",
                              QString::fromUtf8("SUL|3|Filial Três|15,5")}));
        QCOMPARE(form.Data()->cdsIndicadores->RecNo(), 1);
    }

    void shouldLoadEmptyDataSetsForAMonthWithoutFigures()
    {
        TfrmIndiResult form;
        dtData = DateTimeUtil::fromDate(QDate(2025, 1, 15));
        form.Data()->netIndicResult->SetConnected(true);
        form.Data()->FetchCkpData();
        QCOMPARE(DateTimeUtil::toDate(dtData), QDate(2025, 1, 1));
        for (TClientDataSet* cds : {form.Data()->cdsIndicadores, form.Data()->cdsTop10, form.Data()->cdsBottom10, form.Data()->cdsGrafPizza,
                                    form.Data()->cdsDiasEstoque}) {
            QVERIFY(cds->Active());
            QVERIFY(cds->IsEmpty());
        }
    }

    void shouldKeepDataSetsWhenTheServerRefusesOrIsGone()
    {
        TfrmIndiResult form;
        dtData = DateTimeUtil::fromDate(QDate(2026, 3, 17));
        form.Data()->netIndicResult->SetConnected(true);
        form.Data()->FetchCkpData();
        const QStringList before = rowsOf(form.Data()->cdsTop10);

        // An unknown module is an error status of the server, reported with its message.
        form.FormDeactivate(&form);
        form.Data()->netIndicResult->SetServerName("KPD00100.rdmNaoExiste");
        form.Data()->netIndicResult->SetConnected(true);
        dtData = DateTimeUtil::fromDate(QDate(2025, 1, 15));
        const QString refused = messageOf([&] { form.Data()->FetchCkpData(); });
        QVERIFY2(refused.startsWith(QString::fromUtf8("O servidor de aplicação recusou KPD00100.rdmNaoExiste.getCkpData: ")),
                 qPrintable(refused));
        QCOMPARE(rowsOf(form.Data()->cdsTop10), before);
        QCOMPARE(DateTimeUtil::toDate(dtData), QDate(2025, 1, 15));

        // Nothing listens on the port the host names now.
        form.FormDeactivate(&form);
        form.Data()->netIndicResult->SetServerName("KPD00100.rdmIndicResult");
        const int real = m_port;
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        QCOMPARE(messageOf([&] { form.Data()->netIndicResult->SetConnected(true); }),
                 QString::fromUtf8("Não foi possível conectar ao servidor de aplicação 127.0.0.1:1: a conexão foi "
                                   "recusada (não há servidor em execução nesse endereço)."));
        QVERIFY(!form.Data()->netIndicResult->Connected());
        QCOMPARE(rowsOf(form.Data()->cdsTop10), before);

        // The host points back at the server: the next opening uses it.
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [real] { return real; });
        form.Data()->netIndicResult->SetConnected(true);
        form.Data()->FetchCkpData();
        QVERIFY(form.Data()->cdsTop10->IsEmpty());
    }
};

QTEST_MAIN(TestAppServerEndToEnd)
#include "tst_e2e_appserver.moc"
