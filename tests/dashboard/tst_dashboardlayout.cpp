#include "testsupport.h"
#include "messagedlg.h"
#include "tdbchart.h"
#include "tdbgrid.h"
#include "tfrmindiresult.h"
#include "tlabel.h"
#include "tpanel.h"
#include "tpieseries.h"

#include <QtTest>

class TstDashboardLayout : public QObject
{
    Q_OBJECT
    TfrmIndiResult* form = nullptr;

    QWidget* widget(const QString& name) const { return qobject_cast<QWidget*>(form->FindComponent(name)); }

private slots:
    void initTestCase()
    {
        SetMessagePresenter([](MessageKind, const QString&) {});
        form = new TfrmIndiResult;
    }
    void cleanupTestCase() { delete form; }

    void shouldPlaceEveryGroupAsStored_data()
    {
        QTest::addColumn<QString>("lookup");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        auto row = [](const char* lookup, const char* name, const char* parent, QRect r) {
            QTest::newRow(name) << QString(lookup) << QString(name) << QString(parent) << r;
        };
        row("PNLTITULO", "pnlTitulo", "frmIndiResult", QRect(0, 0, 1383, 38));
        row("lbldtatu", "lblDtAtu", "pnlTitulo", QRect(8, 6, 108, 14));
        row("LBLQTFILIAIS", "lblQtFiliais", "pnlTitulo", QRect(8, 22, 139, 14));
        row("lbltitulo", "lblTitulo", "pnlTitulo", QRect(208, 0, 892, 24));
        row("LBLFATURAMENTO", "lblFaturamento", "frmIndiResult", QRect(120, 40, 97, 19));
        row("lblpresultado", "lblPResultado", "frmIndiResult", QRect(815, 40, 98, 19));
        row("LBLTOTAL", "lblTotal", "frmIndiResult", QRect(48, 104, 32, 16));
        row("lblr3", "lblR3", "frmIndiResult", QRect(46, 249, 4, 16));
        row("LBLATRASALANCA", "lblAtrasaLanca", "frmIndiResult", QRect(702, 382, 226, 16));
        row("INDICFATTOTAL", "indicFatTotal", "frmIndiResult", QRect(115, 72, 107, 54));
        row("indicmdototal", "indicMDOtotal", "frmIndiResult", QRect(475, 72, 107, 54));
        row("INDICRESULTTOTAL", "indicResultTotal", "frmIndiResult", QRect(819, 71, 107, 54));
        row("indicMdoR1", "indicMDOR1", "frmIndiResult", QRect(475, 151, 68, 34));
        row("indicResultR1", "IndicResultR1", "frmIndiResult", QRect(818, 150, 68, 34));
        row("INDICDESPER5", "indicDespeR5", "frmIndiResult", QRect(651, 331, 68, 34));
        row("pnlindicfattotal", "pnlIndicFatTotal", "frmIndiResult", QRect(115, 126, 107, 16));
        row("PNLINDICRESULTTOTAL", "pnlIndicResultTotal", "frmIndiResult", QRect(819, 125, 107, 16));
        row("pnlindicfatr2", "pnlIndicFatR2", "frmIndiResult", QRect(182, 213, 50, 16));
        row("PNLINDICCONSR3", "pnlIndicConsR3", "frmIndiResult", QRect(367, 253, 36, 16));
        row("pnlindicresultr5", "pnlIndicResultR5", "frmIndiResult", QRect(886, 348, 36, 16));
        row("DBGTOP10", "dbgTop10", "frmIndiResult", QRect(24, 400, 329, 177));
        row("dbgbottom10", "dbgBottom10", "frmIndiResult", QRect(363, 400, 321, 177));
        row("DBGATRASALANCA", "dbgAtrasaLanca", "frmIndiResult", QRect(702, 400, 315, 177));
        row("panel5", "Panel5", "frmIndiResult", QRect(328, 392, 33, 193));
        row("PANEL3", "Panel3", "frmIndiResult", QRect(664, 392, 33, 193));
        row("panel4", "Panel4", "Panel3", QRect(0, 0, 33, 193));
        row("PANEL2", "Panel2", "frmIndiResult", QRect(984, 392, 33, 193));
        row("panel1", "Panel1", "frmIndiResult", QRect(1348, 0, 35, 562));
        row("GRAFFATREG", "grafFatReg", "frmIndiResult", QRect(128, 587, 227, 192));
        row("grafcustreg", "grafCustReg", "frmIndiResult", QRect(432, 586, 183, 192));
        row("GRAFRESULTREG", "grafResultReg", "frmIndiResult", QRect(704, 586, 178, 192));
    }
    void shouldPlaceEveryGroupAsStored()
    {
        QFETCH(QString, lookup);
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QWidget* w = widget(lookup);
        QVERIFY2(w, qPrintable(lookup));
        QCOMPARE(w->objectName(), name);
        QCOMPARE(w->parentWidget()->objectName(), parent);
        QCOMPARE(w->geometry(), geometry);
        QVERIFY(w->isVisibleTo(form));
    }

    void shouldGrowToItsComponents()
    {
        QCOMPARE(form->size(), QSize(1383, 779));
        QCOMPARE(form->windowTitle(), QString("Indicadores de Resultado"));
        QVERIFY(form->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(form->palette().color(QPalette::Window), QColor(Qt::black));
    }

    void shouldUseDesignFontsInPixels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        QTest::newRow("title") << "lblTitulo" << 21 << true;
        QTest::newRow("last update") << "lblDtAtu" << 11 << true;
        QTest::newRow("column title") << "lblPConsumo" << 16 << true;
        QTest::newRow("row label") << "lblR1" << 13 << true;
        QTest::newRow("value panel") << "pnlIndicMdoR4" << 11 << false;
        QTest::newRow("grid cells") << "dbgBottom10" << 12 << false;
    }
    void shouldUseDesignFontsInPixels()
    {
        QFETCH(QString, name);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        const QFont f = widget(name)->font();
        QCOMPARE(f.pixelSize(), pixels);
        QCOMPARE(f.bold(), bold);
        QCOMPARE(QFontInfo(f).family(), QString("Liberation Sans"));
    }

    void shouldShowCreationCaptions()
    {
        QCOMPARE(ComponentOf<TLabel>(form, "lblDtAtu")->Caption(), QString("Última Atualização : "));
        QCOMPARE(ComponentOf<TLabel>(form, "lblTitulo")->Caption(), QString("BI Business Intelligence - Resultados Operacionais "));
        QCOMPARE(ComponentOf<TLabel>(form, "lblR2")->Caption(), QString());
        QVERIFY(ComponentOf<TLabel>(form, "lblR3")->WordWrap());
        QCOMPARE(ComponentOf<TPanel>(form, "pnlIndicFatR1")->Caption(), QString("0,00 M"));
        QCOMPARE(ComponentOf<TPanel>(form, "pnlIndicFatR1")->Alignment(), Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(ComponentOf<TPanel>(form, "pnlIndicFatTotal")->Caption(), QString("0,00 M"));
        QCOMPARE(ComponentOf<TPanel>(form, "pnlIndicFatTotal")->Alignment(), Qt::Alignment(Qt::AlignCenter));
        QCOMPARE(ComponentOf<TPanel>(form, "pnlIndicDespeR3")->Caption(), QString("0%"));
        QCOMPARE(ComponentOf<TPanel>(form, "pnlIndicDespeR3")->Alignment(), Qt::Alignment(Qt::AlignCenter));
    }

    void shouldWidenARegionLabelToItsCode()
    {
        ComponentOf<TLabel>(form, "lblR1")->SetCaption("NORTE");
        QVERIFY(ComponentOf<TLabel>(form, "lblR1")->width() >= QFontMetrics(ComponentOf<TLabel>(form, "lblR1")->font()).horizontalAdvance("NORTE"));
        QCOMPARE(ComponentOf<TLabel>(form, "lblR1")->pos(), QPoint(48, 163));
        ComponentOf<TLabel>(form, "lblR1")->SetCaption(QString());
    }

    void shouldConfigureGaugesByColumn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("max");
        QTest::addColumn<int>("zone");
        QTest::addColumn<int>("colour");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("stop");
        QTest::addColumn<double>("inner");
        QTest::newRow("revenue total") << "indicFatTotal" << 75.0 << 0 << clBlack << 0.0 << 40.0 << 0.7;
        QTest::newRow("revenue region") << "indicFatR2" << 75.0 << 1 << clYellow << 40.0 << 50.0 << 0.7;
        QTest::newRow("consumption total") << "indicConsTotal" << 75.0 << 1 << clBlack << 0.0 << 0.0 << 0.0;
        QTest::newRow("consumption region") << "indicConsR5" << 75.0 << 0 << clBlack << 55.0 << 75.0 << 0.7;
        QTest::newRow("labour") << "indicMDOtotal" << 50.0 << 2 << clGreen << 0.0 << 25.0 << 0.7;
        QTest::newRow("expenses") << "indicDespeR3" << 25.0 << 2 << clGreen << 0.0 << 5.0 << 0.7;
        QTest::newRow("result") << "IndicResultR4" << 12.0 << 2 << clGreen << 8.0 << 12.0 << 0.7;
    }
    void shouldConfigureGaugesByColumn()
    {
        QFETCH(QString, name);
        QWidget* g = widget(name);
        QVERIFY(g);
        QCOMPARE(g->metaObject()->className(), "TOverGauge");
        QTEST(g->property("MaxValue").toDouble(), "max");
        QCOMPARE(g->property("MinValue").toDouble(), 0.0);
        QTEST(g->property("AnnularID").toInt(), "zone");
        QTEST(g->property("AnnularColor").toInt(), "colour");
        QTEST(g->property("AnnularStartValue").toDouble(), "start");
        QTEST(g->property("AnnularStopValue").toDouble(), "stop");
        QTEST(g->property("annularInner").toDouble(), "inner");
        QCOMPARE(g->property("Annulars").toInt(), 3);
        QCOMPARE(g->property("Annularouter").toDouble(), 1.0);
        QCOMPARE(g->property("BackColor").toInt(), clBlack);
        QCOMPARE(g->property("NeedleColor").toInt(), clRed);
        QCOMPARE(g->property("needleHubCOlor").toInt(), clRed);
        QCOMPARE(g->property("NeedleLength").toDouble(), 0.65);
        QCOMPARE(g->property("NeedleWidth").toDouble(), 0.14);
        QCOMPARE(g->property("NeedleHubRadius").toDouble(), 0.14);
        QCOMPARE(g->property("TextStyle").toInt(), 0);
        QCOMPARE(g->property("TextUnit").toString(), QString(" M"));
        QCOMPARE(g->property("TextPrecicsion").toInt(), 0);
        QCOMPARE(g->property("TextPointLeft").toInt(), 50);
        QCOMPARE(g->font().pixelSize(), 11);
        QCOMPARE(g->property("FontColor").toInt(), clWhite);
    }

    void shouldDefineGridsWithBlackBackground_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<int>("fixed");
        QTest::addColumn<QString>("source");
        QTest::newRow("top") << "dbgTop10" << QStringList{"NMFILIAL,217", "CDAREAGERE,30", "RESULTADO,50"}
                             << clGreen << "dtsTop10";
        QTest::newRow("bottom") << "dbgBottom10"
                                << QStringList{"NMFILIAL,217", "CDAREAGERE,30", "RESULTADO,50,taRightJustify"}
                                << clRed << "dtsBottom10";
        QTest::newRow("stock") << "dbgAtrasaLanca"
                               << QStringList{"NMFILIAL,195", "CDAREAGERE,32",
                                              "DIASESTOQUE,53,taRightJustify"}
                               << clRed << "dtsDiasEstoque";
    }
    void shouldDefineGridsWithBlackBackground()
    {
        QFETCH(QString, name);
        auto* g = qobject_cast<TDBGrid*>(widget(name));
        QVERIFY(g);
        QTEST(g->ColumnsDefinition(), "columns");
        QTEST(g->FixedColor(), "fixed");
        QTEST(g->DataSourceName(), "source");
        QVERIFY(g->DefaultColors());
        QCOMPARE(g->Color(), clBlack);
        QCOMPARE(g->viewport()->palette().color(QPalette::Base), QColor(Qt::black));
        QCOMPARE(g->FontColor(), clWhite);
        QCOMPARE(g->TitleFont().pixelSize(), 9);
        QVERIFY(g->TitleFont().bold());
        QCOMPARE(g->TitleFontColor(), clWhite);
        const QImage img = g->grab().toImage();
        QCOMPARE(img.pixelColor(g->width() / 2, g->height() - 3), QColor(Qt::black));
        if (!g->DataSet())
            QSKIP("no dataset bound: the titles come from its fields");
        QCOMPARE(img.pixelColor(5, 2), ToQColor(g->FixedColor()));
        QCOMPARE(g->Column(0)->Field()->DisplayLabel(), QString("Filial"));
    }

    void shouldLeaveEveryGridColumnUncovered_data()
    {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<int>("gap");
        QTest::newRow("top") << "dbgTop10"
                             << "Panel5" << 7;
        QTest::newRow("bottom") << "dbgBottom10"
                                << "Panel3" << 4;
        QTest::newRow("stock") << "dbgAtrasaLanca"
                               << "Panel2" << 2;
    }
    void shouldLeaveEveryGridColumnUncovered()
    {
        QFETCH(QString, grid);
        QFETCH(QString, panel);
        auto* g = qobject_cast<TDBGrid*>(widget(grid));
        QWidget* p = widget(panel);
        const QRect columns(g->x(), g->y(), g->ColumnsWidth(), g->height());
        QTEST(p->x() - columns.right() - 1, "gap");
        // The panel covers the rest of the grid's width, over its whole height, and lies above it.
        QCOMPARE(p->geometry().right(), qMax(g->geometry().right(), p->geometry().right()));
        QVERIFY(p->y() < g->y() && p->geometry().bottom() > g->geometry().bottom());
        const QObjectList siblings = form->children();
        QVERIFY(siblings.indexOf(p) > siblings.indexOf(g));
        for (const char* mask : {"Panel1", "Panel2", "Panel3", "Panel4", "Panel5"}) {
            QWidget* m = widget(mask);
            const QRect r(m->mapTo(form, QPoint(0, 0)), m->size());
            QVERIFY2(!r.intersects(columns), mask);
        }
    }

    void shouldDefineCharts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("series");
        QTest::addColumn<QString>("values");
        QTest::addColumn<bool>("legend");
        QTest::newRow("revenue") << "grafFatReg"
                                 << "Faturamento por Regional"
                                 << "FastLineSeries5"
                                 << "VRFATLIQGER" << true;
        QTest::newRow("cost") << "grafCustReg"
                              << "Custo por Regional"
                              << "PieSeries1"
                              << "CUSTO" << false;
        QTest::newRow("result") << "grafResultReg"
                                << "Resultado por Regional"
                                << "PieSeries2"
                                << "RESULTADO" << false;
    }
    void shouldDefineCharts()
    {
        QFETCH(QString, name);
        QFETCH(QString, series);
        auto* c = qobject_cast<TDBChart*>(widget(name));
        QVERIFY(c);
        QTEST(c->Title(), "title");
        QCOMPARE(c->Series()->objectName(), series);
        QCOMPARE(form->FindComponent(series.toLower()), c->Series());
        QTEST(c->YValuesSource(), "values");
        QCOMPARE(c->XLabelsSource(), QString("CDAREAGERE"));
        QCOMPARE(c->DataSetName(), QString("cdsGrafPizza"));
        QTEST(c->LegendVisible(), "legend");
        QCOMPARE(c->TitleFont().pixelSize(), 13);
        QVERIFY(c->TitleFont().bold());
        QCOMPARE(c->LegendFont().pixelSize(), 11);
        QCOMPARE(c->LegendColorWidth(), 20);
        QCOMPARE(c->Chart3DPercent(), 45);
        QCOMPARE(c->Elevation(), 315);
        QCOMPARE(c->Rotation(), 360);
        QCOMPARE(c->SeriesColor(), clRed);
        QVERIFY(!c->isEnabled());
    }

    void shouldLetOnlyTheGridsTakeTheFocus()
    {
        QStringList focusable;
        const auto all = form->findChildren<QWidget*>();
        for (QWidget* w : all) {
            // The grids' own parts (viewport, title row, scroll bars) belong to the grid.
            bool insideGrid = false;
            for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
                insideGrid |= qobject_cast<TDBGrid*>(p) != nullptr;
            if (!insideGrid && (w->focusPolicy() & Qt::TabFocus))
                focusable << w->objectName();
        }
        focusable.sort();
        QCOMPARE(focusable, QStringList({"dbgAtrasaLanca", "dbgBottom10", "dbgTop10"}));
    }

    void headerShouldSpanTheWholeWidth()
    {
        form->show();
        form->resize(1500, 800);
        QTRY_COMPARE(ComponentOf<TPanel>(form, "pnlTitulo")->geometry(), QRect(0, 0, 1500, 38));
        QCOMPARE(ComponentOf<TLabel>(form, "lblTitulo")->geometry(), QRect(208, 0, 892, 24));
        form->resize(1383, 779);
        QTRY_COMPARE(ComponentOf<TPanel>(form, "pnlTitulo")->width(), 1383);
        form->hide();
    }
};

QTEST_MAIN(TstDashboardLayout)
#include "tst_dashboardlayout.moc"
