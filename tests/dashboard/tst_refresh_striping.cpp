// Row stripes of the dashboard's grids, read off the painted pixels.
#include "tdbchart.h"
#include "tpanel.h"
#include "tlabel.h"
#include "testsupport.h"

#include "hostfunctions.h"
#include "tclientdataset.h"
#include "tdbgrid.h"
#include "tfrmindiresult.h"

#include <QHeaderView>
#include <QLocale>
#include <QtTest>

namespace {

TDataPacket rankingPacket(const QVariantList& rowNums)
{
    TDataPacket p;
    p.fields = {{"CDAREAGERE", TFieldType::ftString, 3},
                {"NMFILIAL", TFieldType::ftString, 30},
                {"RESULTADO", TFieldType::ftFloat},
                {"ROWNUM", TFieldType::ftFloat}};
    int i = 0;
    for (const QVariant& n : rowNums)
        p.rows.append({QStringLiteral("R%1").arg(++i), QStringLiteral("Filial %1").arg(i), 1.5 * i, n});
    return p;
}

// The colour at the left edge of every visible cell of a row (left of any text), as 0x00BBGGRR.
QList<TColor> rowColours(TDBGrid* grid, const QImage& image, int row)
{
    QList<TColor> colours;
    const QHeaderView* header = grid->horizontalHeader();
    for (int section = 0; section < header->count(); ++section) {
        if (grid->isColumnHidden(section))
            continue;
        const QRect cell = grid->visualRect(grid->model()->index(row, section));
        colours << FromQColor(image.pixelColor(cell.left() + 1, cell.center().y()));
    }
    return colours;
}

} // namespace

class TestRefreshStriping : public QObject {
    Q_OBJECT
    TfrmIndiResult* m_form = nullptr;
    std::unique_ptr<MessageRecorder> m_messages;

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        // No server: the refresh of the first show stops at its connect and the grids take the packets below.
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        m_messages = std::make_unique<MessageRecorder>();
        m_form = new TfrmIndiResult;
        m_form->Show();
        QVERIFY(QTest::qWaitForWindowActive(m_form));
        QCOMPARE(m_messages->messages.size(), 1);
    }

    void cleanupTestCase()
    {
        delete m_form;
        m_messages.reset();
        SetServerAddressProvider({}, {});
    }

    void rowColourFollowsRowNum_data()
    {
        QTest::addColumn<QVariant>("rowNum");
        QTest::addColumn<int>("colour");
        const int grey = 0x1D1D1D;
        QTest::newRow("1") << QVariant(1.0) << int(clBlack);
        QTest::newRow("2") << QVariant(2.0) << grey;
        QTest::newRow("3") << QVariant(3.0) << int(clBlack);
        QTest::newRow("4") << QVariant(4.0) << grey;
        QTest::newRow("0") << QVariant(0.0) << grey;
        QTest::newRow("-1") << QVariant(-1.0) << int(clBlack);
        QTest::newRow("-2") << QVariant(-2.0) << grey;
        QTest::newRow("2.5 rounds to 2") << QVariant(2.5) << grey;
        QTest::newRow("3.5 rounds to 4") << QVariant(3.5) << grey;
        QTest::newRow("1.5 rounds to 2") << QVariant(1.5) << grey;
        QTest::newRow("2.6 rounds to 3") << QVariant(2.6) << int(clBlack);
        QTest::newRow("empty") << QVariant() << grey;
    }
    void rowColourFollowsRowNum()
    {
        QFETCH(QVariant, rowNum);
        QFETCH(int, colour);
        for (TDBGrid* grid : {ComponentOf<TDBGrid>(m_form, "dbgTop10"), ComponentOf<TDBGrid>(m_form, "dbgBottom10")}) {
            grid->DataSet()->SetData(rankingPacket({rowNum}));
            const QImage image = grid->viewport()->grab().toImage();
            const QList<TColor> cells = rowColours(grid, image, 0);
            QCOMPARE(cells.size(), 3);
            for (TColor c : cells)
                QCOMPARE(c, TColor(colour));
        }
    }

    // The colour belongs to the record, not to the screen row; the current cell of a focused grid shows it
    // too, and below the last row the grid stays black.
    void stripesAlternateAndShowOnTheCurrentCell()
    {
        TDBGrid* grid = ComponentOf<TDBGrid>(m_form, "dbgTop10");
        grid->DataSet()->SetData(rankingPacket({1.0, 2.0, 3.0, 4.0}));
        grid->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(grid->hasFocus());
        const QModelIndex current = grid->currentIndex().isValid() ? grid->currentIndex() : grid->model()->index(0, 0);
        grid->setCurrentIndex(grid->model()->index(1, current.column()));
        QCOMPARE(grid->currentIndex().row(), 1);

        const QImage image = grid->viewport()->grab().toImage();
        const QList<TColor> expected{clBlack, clRowGrey, clBlack, clRowGrey};
        for (int row = 0; row < expected.size(); ++row)
            QCOMPARE(rowColours(grid, image, row), QList<TColor>(3, expected[row]));
        const QRect last = grid->visualRect(grid->model()->index(3, current.column()));
        QVERIFY(last.bottom() + 5 < image.height());
        QCOMPARE(FromQColor(image.pixelColor(2, last.bottom() + 5)), clBlack);
    }
};

QTEST_MAIN(TestRefreshStriping)
#include "tst_refresh_striping.moc"
