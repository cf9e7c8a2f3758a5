#include "exceptions.h"
#include "testsupport.h"
#include "fakeappserver.h"
#include "hostfunctions.h"
#include "messagedlg.h"
#include "modulestate.h"
#include "packetcodec.h"
#include "tclientdataset.h"
#include "tdatasource.h"
#include "tfrmindiresult.h"
#include "tindicresultdata.h"
#include "tnetconnection.h"
#include "variantdate.h"

#include <QLocale>
#include <cmath>
#include <QTest>

namespace {

const TDateTime kMarch17 = DateTimeUtil::fromDate(QDate(2026, 3, 17));
const TDateTime kMarch1 = DateTimeUtil::fromDate(QDate(2026, 3, 1));

// What a dataset holds, to tell whether a failed fetch changed it.
QString snapshot(const TClientDataSet* cds)
{
    QStringList rows;
    for (int r = 0; r < cds->RecordCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < cds->Fields().size(); ++c)
            cells << cds->ValueAt(r, c).toString();
        rows << cells.join('|');
    }
    return QStringLiteral("%1:%2:%3").arg(cds->Active()).arg(cds->RecNo()).arg(rows.join(';'));
}

} // namespace

class TestDataService : public QObject {
    Q_OBJECT
    FakeAppServer* m_server = nullptr;
    QStringList m_messages;

    TfrmIndiResult* newForm()
    {
        auto* form = new TfrmIndiResult();
        return form;
    }
    QStringList snapshots(TfrmIndiResult* f)
    {
        return {snapshot(f->Data()->cdsIndicadores), snapshot(f->Data()->cdsTop10), snapshot(f->Data()->cdsBottom10),
                snapshot(f->Data()->cdsGrafPizza), snapshot(f->Data()->cdsDiasEstoque), QString::number(dtData)};
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        SetMessagePresenter([this](MessageKind, const QString& text) { m_messages << text; });
    }
    void init()
    {
        m_messages.clear();
        m_server = new FakeAppServer([](const kpd::rpc::InvokeRequest&, kpd::rpc::InvokeReply* reply) {
            return MakeCkpReply(reply, QVariant(0), VariantDate::FromDateTime(kMarch1), SampleCkpPackets());
        });
        const int port = m_server->port();
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [port] { return port; });
        dtData = kMarch17;
    }
    void cleanup()
    {
        delete m_server;
        m_server = nullptr;
    }

    void shouldDeclareConnectionWithStoredSettings()
    {
        std::unique_ptr<TfrmIndiResult> f(newForm());
        QCOMPARE(f->Data()->netIndicResult->objectName(), "netIndicResult");
        QCOMPARE(f->Data()->netIndicResult->ServerName(), "KPD00100.rdmIndicResult");
        QCOMPARE(f->Data()->netIndicResult->Host(), "127.0.0.1");
        QCOMPARE(f->Data()->netIndicResult->Port(), 213);
        QCOMPARE(f->Data()->netIndicResult->ThrowException(), false);
        QVERIFY(!f->Data()->netIndicResult->Connected());
        QCOMPARE(f->Data()->dtsTop10->DataSet(), f->Data()->cdsTop10);
        QCOMPARE(f->Data()->dtsBottom10->DataSet(), f->Data()->cdsBottom10);
        QCOMPARE(f->Data()->dtsDiasEstoque->DataSet(), f->Data()->cdsDiasEstoque);
        QCOMPARE(f->Data()->dtsDiasEstoque->objectName(), "dtsDiasEstoque");
        for (TClientDataSet* cds : {f->Data()->cdsIndicadores, f->Data()->cdsTop10, f->Data()->cdsBottom10, f->Data()->cdsGrafPizza, f->Data()->cdsDiasEstoque})
            QVERIFY(!cds->Active() && cds->IsEmpty());
    }

    void shouldDefineFieldsInOrder_data()
    {
        QTest::addColumn<QString>("dataSet");
        QTest::addColumn<QString>("fields"); // NAME:type:size:label:format:ro, ";"-separated
        QTest::newRow("cdsIndicadores")
            << "cdsIndicadores"
            << "CDAREAGERE:s:5:::0;QTFILIAIS:f:0:::0;VRFATLIQGER:f:0:::0;CONSUMO:f:0:::0;MDO:f:0:::0;"
               "DESPESAS:f:0:::0;RESULTADO:f:0:::0;DTULTATUETL:s:10:::0";
        for (const char* name : {"cdsTop10", "cdsBottom10"})
            QTest::newRow(name) << name
                                << "CDAREAGERE:s:3:Reg.::0;NMFILIAL:s:30:Filial::0;RESULTADO:f:0:%Result.:#0.0%:0;"
                                   "ROWNUM:f:0::#0.0%:0";
        QTest::newRow("cdsGrafPizza") << "cdsGrafPizza"
                                      << "CDAREAGERE:s:3:::0;VRFATLIQGER:f:0:::1;CUSTO:f:0:::1;RESULTADO:f:0:::1";
        QTest::newRow("cdsDiasEstoque")
            << "cdsDiasEstoque"
            << QString::fromUtf8("CDAREAGERE:s:3:Reg.::0;ROWNUM:f:0:::0;NMFILIAL:s:30:Filial::0;"
                                 "DIASESTOQUE:f:0:Nº Dias:#0.0:1");
    }
    void shouldDefineFieldsInOrder()
    {
        QFETCH(QString, dataSet);
        QFETCH(QString, fields);
        std::unique_ptr<TfrmIndiResult> f(newForm());
        auto* cds = f->findChild<TClientDataSet*>(dataSet);
        QVERIFY(cds);
        const QStringList specs = fields.split(';');
        QCOMPARE(cds->Fields().size(), specs.size());
        for (int i = 0; i < specs.size(); ++i) {
            const QStringList p = specs[i].split(':');
            TField* field = cds->Fields()[i];
            QCOMPARE(field->FieldName(), p[0]);
            QCOMPARE(field->objectName(), dataSet + p[0]);
            QCOMPARE(field->DataType(), p[1] == "s" ? TFieldType::ftString : TFieldType::ftFloat);
            QCOMPARE(field->Size(), p[2].toInt());
            QCOMPARE(field->DisplayLabel(), p[3].isEmpty() ? p[0] : p[3]);
            QCOMPARE(field->DisplayFormat(), p[4]);
            QCOMPARE(field->ReadOnly(), p[5] == "1");
        }
    }

    void shouldFetchAndLoadTheFivePackets()
    {
        std::unique_ptr<TfrmIndiResult> f(newForm());
        f->Data()->netIndicResult->SetConnected(true);
        f->Data()->FetchCkpData();

        const auto rq = m_server->lastRequest();
        QCOMPARE(rq.server_name(), "KPD00100.rdmIndicResult");
        QCOMPARE(rq.method(), "getCkpData");
        QCOMPARE(rq.args_size(), 8);
        QCOMPARE(rq.args(0).datetime_value(), kMarch17);
        for (int i = 1; i < 8; ++i)
            QCOMPARE(rq.args(i).kind_case(), kpd::rpc::Variant::KIND_NOT_SET);

        QCOMPARE(dtData, kMarch1); // the date handed back replaces the reference date
        QCOMPARE(f->Data()->cdsIndicadores->RecordCount(), 3);
        QCOMPARE(f->Data()->cdsIndicadores->RecNo(), 1);
        QCOMPARE(f->Data()->cdsIndicadores->FieldByName("CDAREAGERE")->AsString(), "TOTAL");
        QCOMPARE(f->Data()->cdsIndicadores->FieldByName("VRFATLIQGER")->AsFloat(), 4.5);
        QCOMPARE(f->Data()->cdsIndicadores->FieldByName("DTULTATUETL")->AsString(), "02/03/2026");
        QCOMPARE(f->Data()->cdsTop10->RecordCount(), 2);
        QCOMPARE(f->Data()->cdsTop10->FieldByName("NMFILIAL")->AsString(), "Filial Norte");
        QCOMPARE(f->Data()->cdsTop10->FieldByName("RESULTADO")->DisplayText(), "12,3%");
        QCOMPARE(f->Data()->cdsBottom10->FieldByName("RESULTADO")->DisplayText(), "-3,5%");
        QCOMPARE(f->Data()->cdsGrafPizza->RecordCount(), 2);
        QCOMPARE(f->Data()->cdsGrafPizza->FieldByName("CUSTO")->AsFloat(), 2.19);
        QCOMPARE(f->Data()->cdsDiasEstoque->FieldByName("DIASESTOQUE")->DisplayText(), "45,0");
        QCOMPARE(f->Data()->cdsDiasEstoque->FieldByName("ROWNUM")->AsFloat(), 1.0);
    }

    void shouldIgnoreWhateverComesInPacketsSixAndSeven()
    {
        m_server->setHandler([](const kpd::rpc::InvokeRequest&, kpd::rpc::InvokeReply* reply) {
            QVector<QVariant> packets = SampleCkpPackets();
            packets[4] = QVariant(QStringLiteral("lixo"));
            packets[5] = QVariant::fromValue(MakePacket({"X"}, {}, {{"y"}}));
            return MakeCkpReply(reply, QVariant(0), VariantDate::FromDateTime(kMarch1), packets);
        });
        std::unique_ptr<TfrmIndiResult> f(newForm());
        f->Data()->netIndicResult->SetConnected(true);
        f->Data()->FetchCkpData();
        QCOMPARE(f->Data()->cdsDiasEstoque->RecordCount(), 1);
    }

    void shouldRefuseBadRepliesAndKeepEverything_data()
    {
        QTest::addColumn<int>("position"); // index of the bad argument (0 = date)
        QTest::addColumn<QVariant>("bad");
        QTest::addColumn<QString>("expected");
        const TDataPacket noDias = MakePacket({"CDAREAGERE", "NMFILIAL"}, {"ROWNUM"}, {});
        QTest::newRow("field missing in last packet")
            << 7 << QVariant::fromValue(noDias)
            << QString::fromUtf8("cdsDiasEstoque: o pacote recebido não tem o campo 'DIASESTOQUE'");
        const TDataPacket textResult = MakePacket({"CDAREAGERE", "NMFILIAL", "RESULTADO"}, {"ROWNUM"}, {});
        QTest::newRow("wrong type") << 3 << QVariant::fromValue(textResult)
                                    << QString::fromUtf8("cdsBottom10: o campo 'RESULTADO' veio como texto, esperado número");
        QTest::newRow("packet missing")
            << 4 << QVariant()
            << QString::fromUtf8("cdsGrafPizza: o servidor de aplicação não devolveu o pacote de dados (argumento 5).");
        QTest::newRow("date as text") << 0 << QVariant(QStringLiteral("2026-03-01"))
                                      << QString::fromUtf8("O servidor de aplicação devolveu a data de referência em "
                                                           "formato inválido.");
        QTest::newRow("another month") << 0 << VariantDate::FromDateTime(DateTimeUtil::fromDate(QDate(2020, 7, 1)))
                                       << QString::fromUtf8("O servidor de aplicação devolveu os dados de Julho/2020 "
                                                            "para o pedido de Março/2026.");
        TDataPacket nanFigure = SampleCkpPackets()[0].value<TDataPacket>();
        nanFigure.rows[1][3] = std::nan(""); // VRFATLIQGER of the second row
        QTest::newRow("NaN figure") << 1 << QVariant::fromValue(nanFigure)
                                    << QString::fromUtf8("Argumento 2 de getCkpData: O servidor de aplicação devolveu "
                                                         "dados malformados: número não finito (nan) na linha 2, campo "
                                                         "'VRFATLIQGER'.");
        const TDataPacket oversized = MakePacket({"CDAREAGERE"}, {}, {{QString(17 * 1024 * 1024, QLatin1Char('x'))}});
        QTest::newRow("oversized reply") << 1 << QVariant::fromValue(oversized)
                                         << QString::fromUtf8("A resposta do servidor de aplicação a "
                                                              "KPD00100.rdmIndicResult.getCkpData tem 17,0 MiB, acima do "
                                                              "limite de 16,0 MiB deste cliente; ela foi recusada.");
    }
    void shouldRefuseBadRepliesAndKeepEverything()
    {
        QFETCH(int, position);
        QFETCH(QVariant, bad);
        QFETCH(QString, expected);
        std::unique_ptr<TfrmIndiResult> f(newForm());
        f->Data()->netIndicResult->SetConnected(true);
        f->Data()->FetchCkpData();
        const TDateTime fetched = dtData;
        const QStringList before = snapshots(f.get());

        m_server->setHandler([=](const kpd::rpc::InvokeRequest&, kpd::rpc::InvokeReply* reply) {
            QVector<QVariant> packets = SampleCkpPackets();
            // Another day of the month asked for: a reply that got loaded would show in dtData.
            QVariant date = VariantDate::FromDateTime(kMarch1 + 9);
            if (position == 0)
                date = bad;
            else
                packets[position - 1] = bad;
            return MakeCkpReply(reply, QVariant(0), date, packets);
        });
        QCOMPARE(messageOf([&] { f->Data()->FetchCkpData(); }), expected);
        QCOMPARE(snapshots(f.get()), before);
        QCOMPARE(dtData, fetched);
    }

    void shouldReportAFailedStatusLikeMensErro_data()
    {
        QTest::addColumn<QVariant>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("text") << QVariant(QString::fromUtf8("Falha ao consultar o banco de dados."))
                              << QString::fromUtf8("Falha ao consultar o banco de dados.");
        QTest::newRow("packet") << QVariant::fromValue(MakePacket({"A"}, {}, {}))
                                << QString::fromUtf8("O servidor de aplicação devolveu um status de tipo inesperado.");
        QTest::newRow("false") << QVariant(false)
                               << QString::fromUtf8("O servidor de aplicação devolveu um status de tipo inesperado.");
        QTest::newRow("control characters") << QVariant(QString::fromUtf8("Falha\x1b[2J\n10:00 OK"))
                                            << QString::fromUtf8("Falha\\x1B[2J\\n10:00 OK");
    }
    void shouldReportAFailedStatusLikeMensErro()
    {
        QFETCH(QVariant, status);
        QFETCH(QString, message);
        std::unique_ptr<TfrmIndiResult> f(newForm());
        f->Data()->netIndicResult->SetConnected(true);
        f->Data()->FetchCkpData();
        const QStringList before = snapshots(f.get());
        m_server->setHandler([status](const kpd::rpc::InvokeRequest&, kpd::rpc::InvokeReply* reply) {
            return MakeCkpReply(reply, status, VariantDate::FromDateTime(kMarch1 + 31), SampleCkpPackets());
        });
        QCOMPARE(messageOf([&] { f->Data()->FetchCkpData(); }), "<EAbort>");
        QCOMPARE(m_messages, QStringList{message});
        QCOMPARE(dtData, kMarch1);
        QCOMPARE(snapshots(f.get()), before);
    }

    void shouldRefuseToFetchFromAnUnreachableServer()
    {
        std::unique_ptr<TfrmIndiResult> f(newForm());
        f->Data()->netIndicResult->SetConnected(true);
        f->Data()->FetchCkpData();
        f->FormDeactivate(f.get());
        QVERIFY(!f->Data()->netIndicResult->Connected());
        const QStringList before = snapshots(f.get());

        const int port = ClosedLoopbackPort();
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [port] { return port; });
        QCOMPARE(messageOf([&] { f->Data()->netIndicResult->SetConnected(true); }),
                 QString::fromUtf8("Não foi possível conectar ao servidor de aplicação 127.0.0.1:%1: a conexão foi "
                                   "recusada (não há servidor em execução nesse endereço).")
                     .arg(port));
        QVERIFY(!f->Data()->netIndicResult->Connected());
        QVERIFY(messageOf([&] { f->Data()->FetchCkpData(); }).contains(QString::fromUtf8("não está aberta")));
        QCOMPARE(snapshots(f.get()), before);
    }

    void shouldAskHostAndPortAtEveryOpening()
    {
        FakeAppServer other([](const kpd::rpc::InvokeRequest&, kpd::rpc::InvokeReply* reply) {
            return MakeCkpReply(reply, QVariant(0), VariantDate::FromDateTime(kMarch1), SampleCkpPackets());
        });
        int asked = 0;
        int port = m_server->port();
        SetServerAddressProvider([&] { ++asked; return QStringLiteral("127.0.0.1"); }, [&] { return port; });
        std::unique_ptr<TfrmIndiResult> f(newForm());

        f->Data()->netIndicResult->SetConnected(true);
        f->Data()->netIndicResult->SetConnected(true); // already open: no event
        f->Data()->FetchCkpData();
        QCOMPARE(asked, 1);
        QCOMPARE(f->Data()->netIndicResult->Port(), m_server->port());

        f->FormDeactivate(f.get());
        port = other.port();
        f->Data()->netIndicResult->SetConnected(true);
        f->Data()->FetchCkpData();
        QCOMPARE(asked, 2);
        QCOMPARE(m_server->calls(), 1);
        QCOMPARE(other.calls(), 1);
        SetServerAddressProvider({}, {});
    }
};

QTEST_MAIN(TestDataService)
#include "tst_dataservice.moc"
