#include "messagedlg.h"
#include "tclientdataset.h"
#include "tdatasource.h"
#include "eventboundary.h"
#include "tdbgrid.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QtTest>
#include <stdexcept>

namespace
{

QColor colourOf(TColor c)
{
    return ToQColor(c);
}

// A ranked list as the server sends it: ROWNUM first, so the grid must put its columns in its own order.
TDataPacket rankedPacket(int rows)
{
    TDataPacket p;
    p.fields = {{"ROWNUM", TFieldType::ftFloat},
                {"RESULTADO", TFieldType::ftFloat},
                {"CDAREAGERE", TFieldType::ftString, 3},
                {"NMFILIAL", TFieldType::ftString, 30}};
    for (int i = 1; i <= rows; ++i)
        p.rows.append({double(i), 10.0 + i + 0.04, QString("R%1").arg(i), QString("FILIAL %1").arg(i)});
    return p;
}

// Horizontal extent of the pixels that differ from the background inside a rectangle.
QPair<int, int> inkSpan(const QImage& img, const QRect& r, const QColor& background)
{
    int lo = INT_MAX, hi = -1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixelColor(x, y) != background) {
                lo = qMin(lo, x);
                hi = qMax(hi, x);
            }
    return {lo, hi};
}

} // namespace

class TstTDBGrid : public QObject
{
    Q_OBJECT
    TClientDataSet* ds = nullptr;
    TDataSource* src = nullptr;
    TDBGrid* grid = nullptr;
    int messages = 0;

private slots:
    void initTestCase()
    {
        SetMessagePresenter([this](MessageKind, const QString&) { ++messages; });
    }
    void init()
    {
        ds = new TClientDataSet;
        ds->setObjectName("cdsTop10");
        ds->AddField("CDAREAGERE", TFieldType::ftString, 3)->SetDisplayLabel("Reg.");
        ds->AddField("NMFILIAL", TFieldType::ftString, 30)->SetDisplayLabel("Filial");
        TField* res = ds->AddField("RESULTADO", TFieldType::ftFloat);
        res->SetDisplayLabel("%Result.");
        res->SetDisplayFormat("#0.0%");
        ds->AddField("ROWNUM", TFieldType::ftFloat);
        src = new TDataSource(ds);
        src->setObjectName("dtsTop10");
        src->SetDataSet(ds);
        grid = new TDBGrid;
        grid->setGeometry(0, 0, 329, 177);
        QFont f("Liberation Sans");
        f.setPixelSize(12);
        grid->setFont(f);
        QFont title("Liberation Sans");
        title.setPixelSize(9);
        title.setBold(true);
        grid->SetTitleFont(title);
        grid->SetColumnsDefinition({"nmfilial,217", "CDAREAGERE,30", "RESULTADO,50,taRightJustify"});
        grid->SetColor(clBlack);
        grid->SetFontColor(clWhite);
        grid->SetFixedColor(clGreen);
        messages = 0;
    }
    void cleanup()
    {
        delete grid;
        delete ds;
    }

    void shouldBindColumnsByNameInTheirOwnOrder()
    {
        new QAbstractItemModelTester(grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     grid);
        grid->SetDataSource(src);
        ds->SetData(rankedPacket(3));
        const QStringList labels{"Filial", "Reg.", "%Result."};
        const QList<int> widths{217, 30, 50};
        QHeaderView* h = grid->horizontalHeader();
        for (int c = 0; c < 3; ++c) {
            TColumn* col = grid->Column(c);
            QVERIFY(col->Field());
            QCOMPARE(col->Field()->DisplayLabel(), labels[c]);
            const int logical = h->logicalIndex(c);
            QCOMPARE(logical, col->Field()->Index());
            QCOMPARE(h->sectionSize(logical), widths[c]);
        }
        QVERIFY(h->isSectionHidden(ds->FindField("ROWNUM")->Index()));
        QCOMPARE(grid->ColumnsWidth(), 297);
        QCOMPARE(grid->Column(2)->TitleAlignment(), Qt::Alignment(Qt::AlignRight));
        QCOMPARE(grid->Column(0)->TitleAlignment(), Qt::Alignment(Qt::AlignLeft));
        QCOMPARE(grid->ColumnsDefinition(),
                 QStringList({"nmfilial,217", "CDAREAGERE,30", "RESULTADO,50,taRightJustify"}));

        // A second load resets the model; the columns must keep their order, widths and hidden fields.
        ds->SetData(rankedPacket(5));
        QCOMPARE(h->logicalIndex(0), ds->FindField("NMFILIAL")->Index());
        QCOMPARE(h->sectionSize(h->logicalIndex(0)), 217);
        QVERIFY(h->isSectionHidden(ds->FindField("ROWNUM")->Index()));
        QCOMPARE(grid->model()->rowCount(), 5);
    }

    void shouldBindByDataSourceNameIgnoringCase()
    {
        grid->SetDataSourceName("DTSTOP10");
        QVERIFY(grid->LinkDataSource(ds));
        QCOMPARE(grid->DataSource(), src);
        grid->SetDataSourceName("dtsNada");
        QVERIFY(!grid->LinkDataSource(ds));
    }

    void shouldBeReadOnlyWithoutLinesIndicatorOrMovableColumns()
    {
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!grid->showGrid());
        QVERIFY(grid->verticalHeader()->isHidden());
        QVERIFY(!grid->horizontalHeader()->sectionsMovable());
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QVERIFY(!grid->tabKeyNavigation());
        QCOMPARE(grid->RowHeight(), QFontMetrics(grid->font()).height() + 2);
        // A ranked list of ten rows fits the stored height under its title row.
        QVERIFY(grid->TitleHeight() + 10 * grid->RowHeight() <= 177);
        QCOMPARE(grid->verticalHeader()->defaultSectionSize(), grid->RowHeight());
    }

    void shouldPresentThePaintedRecordToTheDrawingEvent()
    {
        grid->SetDataSource(src);
        ds->SetData(rankedPacket(4));
        QList<QPair<double, QString>> seen;
        ConnectGuarded(grid, &TDBGrid::OnDrawColumnCell, grid, [&](QObject* sender, const QRect& rect, int dataCol,
                                                                     TColumn* column, TGridDrawState state) {
            QCOMPARE(sender, grid);
            auto* g = static_cast<TDBGrid*>(sender);
            const double rownum = g->DataSet()->FieldByName("ROWNUM")->AsFloat();
            if (dataCol == 0)
                seen.append({rownum, column->Field()->DisplayText()});
            g->Canvas()->Brush()->SetColor(int(rownum) % 2 == 0 ? clRowGrey : clBlack);
            g->DefaultDrawColumnCell(rect, dataCol, column, state);
        });
        const QImage img = grid->grab().toImage();
        QCOMPARE(seen.size(), 4);
        for (const auto& s : seen)
            QCOMPARE(s.second, QString("FILIAL %1").arg(int(s.first)));
        // The dataset's cursor was not moved by painting.
        QCOMPARE(ds->RecNo(), 1);

        const int top = grid->TitleHeight();
        const int rh = grid->RowHeight();
        // Row 2 is grey, rows 1 and 3 black; a pixel near the start of the row's last column shows it.
        QCOMPARE(img.pixelColor(260, top + rh + 1), colourOf(clRowGrey));
        QCOMPARE(img.pixelColor(260, top + 1), colourOf(clBlack));
        // Title row in FixedColor over the columns, background beyond them and below the last row.
        QCOMPARE(img.pixelColor(5, 1), colourOf(clGreen));
        QCOMPARE(img.pixelColor(grid->ColumnsWidth() + 3, 1), colourOf(clBlack));
        QCOMPARE(img.pixelColor(10, top + 4 * rh + 5), colourOf(clBlack));

        // Text left in text columns, numbers right.
        const QRect name(0, top + rh, 217, rh);
        const QRect result(247, top + rh, 50, rh);
        const auto nameInk = inkSpan(img, name, colourOf(clRowGrey));
        const auto resultInk = inkSpan(img, result, colourOf(clRowGrey));
        QVERIFY(nameInk.first < 10);
        QVERIFY(resultInk.second > result.right() - 6);
        QVERIFY(resultInk.first > result.left() + 5);
    }

    void shouldShowNoSelectionColourOnTheCurrentCell()
    {
        grid->SetDataSource(src);
        ds->SetData(rankedPacket(2));
        grid->setCurrentIndex(grid->model()->index(0, ds->FindField("NMFILIAL")->Index()));
        grid->selectionModel()->select(grid->currentIndex(), QItemSelectionModel::Select);
        TGridDrawState state;
        ConnectGuarded(grid, &TDBGrid::OnDrawColumnCell, grid,
                       [&](QObject*, const QRect& r, int c, TColumn* col, TGridDrawState s) {
            if (c == 0 && r.top() < grid->RowHeight())
                state = s;
            grid->DefaultDrawColumnCell(r, c, col, s);
        });
        const QImage img = grid->grab().toImage();
        QVERIFY(state.testFlag(gdSelected));
        QCOMPARE(img.pixelColor(200, grid->TitleHeight() + 1), colourOf(clBlack));
    }

    void shouldDrawNothingOutsidePainting()
    {
        grid->SetDataSource(src);
        ds->SetData(rankedPacket(1));
        grid->DefaultDrawColumnCell(QRect(0, 0, 10, 10), 0, grid->Column(0), {}); // no painter: no crash
        grid->DefaultDrawColumnCell(QRect(0, 0, 10, 10), 0, nullptr, {});
    }

    void shouldSwitchToWindowColourWithDefaultColors()
    {
        grid->SetDefaultColors(true);
        QCOMPARE(grid->Color(), clWindow);
        QCOMPARE(grid->FixedColor(), clGreen);
        grid->SetColor(clBlack);
        QCOMPARE(grid->Color(), clBlack);
        QCOMPARE(grid->viewport()->palette().color(QPalette::Base), colourOf(clBlack));
    }

    void shouldReportAFailingDrawingEventOnceWithoutCrashing()
    {
        grid->SetDataSource(src);
        ds->SetData(rankedPacket(3));
        int calls = 0;
        ConnectGuarded(grid, &TDBGrid::OnDrawColumnCell, grid, [&](QObject*, const QRect&, int, TColumn*, TGridDrawState) {
            ++calls;
            throw std::runtime_error("falhou");
        });
        grid->grab();
        grid->grab();
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
        QCOMPARE(messages, 1);
        // New data gives the handler another chance.
        ds->SetData(rankedPacket(3));
        grid->grab();
        QCOMPARE(calls, 2);
    }

    void shouldHandKeyPressesToOnKeyPress_data()
    {
        QTest::addColumn<bool>("consume");
        QTest::newRow("consumed") << true;
        QTest::newRow("passed on") << false;
    }
    void shouldHandKeyPressesToOnKeyPress()
    {
        QFETCH(bool, consume);
        QWidget parent;
        int parentKeys = 0;
        struct Spy : QObject {
            int* n;
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::KeyPress)
                    ++*n;
                return false;
            }
        } spy;
        spy.n = &parentKeys;
        grid->setParent(&parent);
        parent.installEventFilter(&spy);
        grid->SetDataSource(src);
        ds->SetData(rankedPacket(3));
        QObject* sender = nullptr;
        QChar got;
        ConnectGuarded(grid, &TDBGrid::OnKeyPress, grid, [&](QObject* s, QChar& key) {
            sender = s;
            got = key;
            if (consume)
                key = QChar();
        });
        QTest::keyClick(grid, Qt::Key_Escape);
        QCOMPARE(sender, grid);
        QCOMPARE(got, QChar(27));
        QTest::keyClick(grid, Qt::Key_A);
        QCOMPARE(got, QChar('a'));
        // The window never sees the grid's key presses, handled or not.
        QCOMPARE(parentKeys, 0);
        grid->setParent(nullptr);
    }
};

QTEST_MAIN(TstTDBGrid)
#include "tst_tdbgrid.moc"
