#include "tclientdataset.h"
#include "tdatasetmodel.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QTest>

class TestDataSetModel : public QObject {
    Q_OBJECT
private slots:
    void shouldFollowTheDataSetThroughLoadsAndFilters()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        TClientDataSet cds;
        cds.setObjectName("cdsTop10");
        cds.AddField("CDAREAGERE", TFieldType::ftString, 3)->SetDisplayLabel("Reg.");
        cds.AddField("RESULTADO", TFieldType::ftFloat)->SetDisplayFormat("#0.0%");

        TDataSetModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        model.SetDataSet(&cds);
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(model.rowCount(), 0); // closed

        TDataPacket p;
        p.fields = {{"RESULTADO", TFieldType::ftFloat, 0, false}, {"CDAREAGERE", TFieldType::ftString, 3, false}};
        p.rows = {{12.34, "SUL"}, {QVariant(), "NOR"}, {-1.0, "SUL"}};
        cds.SetData(p);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), "Reg.");
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), "RESULTADO");
        QCOMPARE(model.data(model.index(0, 1)).toString(), "12,3%");
        QCOMPARE(model.data(model.index(0, 1), TDataSetModel::ValueRole), QVariant(12.34));
        QCOMPARE(model.data(model.index(1, 1)).toString(), "");
        QCOMPARE(model.data(model.index(1, 0)).toString(), "NOR");

        cds.SetFilter("CDAREAGERE = 'SUL'");
        cds.SetFiltered(true);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(1, 1)).toString(), "-1,0%");
        p.rows.clear();
        cds.SetData(p);
        QCOMPARE(model.rowCount(), 0);
        cds.Close();
        model.SetDataSet(nullptr);
        QCOMPARE(model.columnCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDataSetModel)
#include "tst_tdatasetmodel.moc"
