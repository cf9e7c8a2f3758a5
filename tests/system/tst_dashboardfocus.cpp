#include "tdbchart.h"
#include "tpanel.h"
#include "tlabel.h"
#include "testsupport.h"
#include "messagedlg.h"
#include "tclientdataset.h"
#include "tdatasource.h"
#include "tdbgrid.h"
#include "tfrmindiresult.h"

#include <QApplication>
#include <QtTest>

// Focus moves only on a real desktop: this runs under a window manager.
class TstDashboardFocus : public QObject
{
    Q_OBJECT
    TfrmIndiResult* form = nullptr;
    TClientDataSet* ds = nullptr;

private slots:
    void initTestCase()
    {
        SetMessagePresenter([](MessageKind, const QString&) {});
        form = new TfrmIndiResult;
        // Rows in the first grid, so that Tab would have cells to move between.
        ds = new TClientDataSet(form);
        ds->AddField("NMFILIAL", TFieldType::ftString, 30);
        ds->AddField("CDAREAGERE", TFieldType::ftString, 3);
        ds->AddField("RESULTADO", TFieldType::ftFloat);
        TDataPacket p;
        p.fields = {{"NMFILIAL", TFieldType::ftString, 30},
                    {"CDAREAGERE", TFieldType::ftString, 3},
                    {"RESULTADO", TFieldType::ftFloat}};
        p.rows = {{"A", "R1", 1.0}, {"B", "R2", 2.0}};
        ds->SetData(p);
        auto* src = new TDataSource(form);
        src->SetDataSet(ds);
        ComponentOf<TDBGrid>(form, "dbgTop10")->SetDataSource(src);
        form->Show();
        QVERIFY(QTest::qWaitForWindowActive(form));
    }
    void cleanupTestCase() { delete form; }

    void tabShouldVisitTheGridsInOrder_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("tab") << int(Qt::Key_Tab)
                             << QStringList{"dbgTop10", "dbgBottom10", "dbgAtrasaLanca", "dbgTop10"};
        QTest::newRow("backtab") << int(Qt::Key_Backtab)
                                 << QStringList{"dbgTop10", "dbgAtrasaLanca", "dbgBottom10", "dbgTop10"};
    }
    void tabShouldVisitTheGridsInOrder()
    {
        QFETCH(int, key);
        QFETCH(QStringList, order);
        ComponentOf<TDBGrid>(form, "dbgTop10")->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), ComponentOf<TDBGrid>(form, "dbgTop10"));
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                            key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            QTRY_COMPARE(QApplication::focusWidget()->objectName(), order[i]);
        }
    }

    void clickingAChartShouldNotTakeTheFocus()
    {
        ComponentOf<TDBGrid>(form, "dbgBottom10")->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), ComponentOf<TDBGrid>(form, "dbgBottom10"));
        QTest::mouseClick(ComponentOf<TDBChart>(form, "grafFatReg"), Qt::LeftButton, {}, ComponentOf<TDBChart>(form, "grafFatReg")->rect().center());
        QTest::qWait(50);
        QCOMPARE(QApplication::focusWidget(), ComponentOf<TDBGrid>(form, "dbgBottom10"));
    }
};

QTEST_MAIN(TstDashboardFocus)
#include "tst_dashboardfocus.moc"
