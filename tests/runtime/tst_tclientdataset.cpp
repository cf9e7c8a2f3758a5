#include "exceptions.h"
#include "tclientdataset.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

namespace {

TDataPacket regions()
{
    TDataPacket p;
    p.fields = {{"CDAREAGERE", TFieldType::ftString, 5, false}, {"RESULTADO", TFieldType::ftFloat, 0, false}};
    p.rows = {{"TOTAL", 30.0}, {"SUL", 27.5}, {"NOR", QVariant()}, {"O'K", 1.0}};
    return p;
}

QStringList codes(TClientDataSet& cds)
{
    QStringList out;
    for (cds.First(); !cds.Eof(); cds.Next())
        out << QStringLiteral("%1@%2").arg(cds.FieldByName("CDAREAGERE")->AsString()).arg(cds.RecNo());
    return out;
}

} // namespace

class TestClientDataSet : public QObject {
    Q_OBJECT
    TClientDataSet* m_cds = nullptr;
    TField* m_code = nullptr;
    TField* m_result = nullptr;

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        m_cds = new TClientDataSet(this);
        m_cds->setObjectName("cdsIndicadores");
        m_code = m_cds->AddField("CDAREAGERE", TFieldType::ftString, 5);
        m_result = m_cds->AddField("RESULTADO", TFieldType::ftFloat);
        m_result->SetDisplayFormat("#0.0%");
    }
    void cleanup() { delete m_cds; }

    void shouldReplaceContentAndOpenOnFirstRecord()
    {
        QVERIFY(!m_cds->Active());
        QSignalSpy replaced(m_cds, &TClientDataSet::contentReplaced);
        m_cds->SetData(regions());
        QVERIFY(m_cds->Active());
        QCOMPARE(m_cds->RecNo(), 1);
        QCOMPARE(m_code->AsString(), "TOTAL");
        m_cds->Next();
        m_cds->Next();
        TDataPacket one = regions();
        one.rows = {{"CEN", 2.0}};
        m_cds->SetData(one);
        QCOMPARE(m_cds->RecordCount(), 1);
        QCOMPARE(m_cds->RecNo(), 1);
        QCOMPARE(m_code->AsString(), "CEN");
        QCOMPARE(replaced.count(), 2);
        one.rows.clear();
        m_cds->SetData(one); // a month without figures: open and empty
        QVERIFY(m_cds->Active() && m_cds->Eof());
        QCOMPARE(m_cds->RecNo(), 0);
        QCOMPARE(m_result->AsFloat(), 0.0);
        one.rows = {{QString::fromUtf8("\U0001F3EA").repeated(5), 1.0}}; // 5 characters, 10 UTF-16 units
        m_cds->SetData(one);
        QCOMPARE(m_cds->RecordCount(), 1);
    }

    void shouldReadValuesAsNumberAndText()
    {
        m_cds->SetData(regions());
        QCOMPARE(m_result->AsFloat(), 30.0);
        QCOMPARE(m_result->AsString(), "30");
        m_cds->Next();
        QCOMPARE(m_result->AsString(), "27,5");
        QCOMPARE(m_result->DisplayText(), "27,5%");
        m_cds->Next();
        QVERIFY(m_result->IsNull());
        QCOMPARE(m_result->AsFloat(), 0.0);
        QCOMPARE(m_result->AsString(), "");
    }

    void shouldWalkTheFilteredView_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("equal") << "CDAREAGERE = 'TOTAL'" << QStringList{"TOTAL@1"};
        QTest::newRow("not equal") << "CDAREAGERE <> 'TOTAL'" << QStringList{"SUL@1", "NOR@2", "O'K@3"};
        QTest::newRow("no match") << "CDAREAGERE = 'XYZ'" << QStringList{};
        QTest::newRow("case of field name") << "cdareagere='SUL'" << QStringList{"SUL@1"};
        QTest::newRow("quote inside") << "CDAREAGERE = 'O''K'" << QStringList{"O'K@1"};
        QTest::newRow("empty filter") << "" << QStringList{"TOTAL@1", "SUL@2", "NOR@3", "O'K@4"};
    }
    void shouldWalkTheFilteredView()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        m_cds->SetData(regions());
        m_cds->SetFilter(filter);
        m_cds->SetFiltered(true);
        QCOMPARE(codes(*m_cds), expected);
        QCOMPARE(m_cds->RecordCount(), expected.size());
        m_cds->SetFiltered(false);
        QCOMPARE(m_cds->RecordCount(), 4);
    }

    void shouldRefuseOtherFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("less than") << "RESULTADO < '3'" << QString::fromUtf8("expressão de filtro não suportada");
        QTest::newRow("and") << "CDAREAGERE = 'A' AND CDAREAGERE = 'B'"
                             << QString::fromUtf8("expressão de filtro não suportada");
        QTest::newRow("unquoted") << "CDAREAGERE = TOTAL" << QString::fromUtf8("expressão de filtro não suportada");
        QTest::newRow("unknown field") << "REGIAO = 'X'" << QString::fromUtf8("campo 'REGIAO' do filtro não encontrado");
    }
    void shouldRefuseOtherFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QString, fragment);
        m_cds->SetData(regions());
        m_cds->SetFilter(filter);
        try {
            m_cds->SetFiltered(true);
            QFAIL("filter accepted");
        } catch (const EDatabaseError& e) {
            QVERIFY2(e.Message().contains(fragment), qPrintable(e.Message()));
        }
        QVERIFY(!m_cds->Filtered());
        QCOMPARE(m_cds->RecordCount(), 4);
    }

    void shouldRefuseUnfitPacketsAndKeepContent_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("missing field") << 0;
        QTest::newRow("wrong type") << 1;
        QTest::newRow("short row") << 2;
        QTest::newRow("text too long") << 3;
        QTest::newRow("text in number") << 4;
    }
    void shouldRefuseUnfitPacketsAndKeepContent()
    {
        QFETCH(int, fault);
        m_cds->SetData(regions());
        m_cds->Next();
        TDataPacket bad = regions();
        switch (fault) {
        case 0: bad.fields.removeLast(); for (auto& r : bad.rows) r.removeLast(); break;
        case 1: bad.fields[1].type = TFieldType::ftString; break;
        case 2: bad.rows[1].removeLast(); break;
        case 3: bad.rows[0][0] = QStringLiteral("TOTALX"); break;
        case 4: bad.rows[0][1] = QStringLiteral("trinta"); break;
        }
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, m_cds->SetData(bad));
        QCOMPARE(m_cds->RecordCount(), 4);
        QCOMPARE(m_cds->RecNo(), 2);
        QCOMPARE(m_code->AsString(), "SUL");
    }
};

QTEST_GUILESS_MAIN(TestClientDataSet)
#include "tst_tclientdataset.moc"
