// The cockpit's data module called as plain C++, with no transport: the month's packets for a scope.
#include "cockpitdatabase.h"
#include "databasepool.h"
#include "demodatabase.h"
#include "monthlysummary.h"
#include "packetcodec.h"
#include "rdmindicresult.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace appserver;

class TestRdmIndicResult : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void shouldAnswerAMonthWithoutAnyTransport()
    {
        const QString path = m_dir.filePath(QStringLiteral("demo.db"));
        DemoDatabase::create(path, {6, 2, QDate(2024, 5, 1)});
        Database db(DatabaseSettings::sqliteFile(path, true));
        DatabasePool pool(db, 1);
        const RdmIndicResult module(pool);

        const CkpData data = module.month(QDate(2024, 5, 17), CallScope{});
        QCOMPARE(data.firstDay, QDate(2024, 5, 1));
        const TDataPacket indicadores = PacketCodec::DecodePacket(data.indicadores);
        QVERIFY(indicadores.rows.size() > 1);   // TOTAL and the regions
        QCOMPARE(indicadores.rows.first().first().toString(), QStringLiteral("TOTAL"));
    }

    // Returns beyond sales: a share of a negative revenue would read a loss as a gain and top the ranking.
    void shouldNotRankNorTakeSharesOfARevenueOfZeroOrLess()
    {
        const QString path = m_dir.filePath(QStringLiteral("returns.db"));
        CockpitDatabase db(path);
        QVERIFY2(db.create(), qPrintable(db.error()));
        QVERIFY(db.addRegion("NO") && db.addRegion("SUL"));
        QVERIFY(db.addBranch(1, "Belém", "NO") && db.addBranch(2, "Curitiba", "SUL") && db.addBranch(3, "Manaus", "NO"));
        const QDate day(2024, 6, 3);
        QVERIFY(db.addDay(1, day, -400000, 300000, 150000, 50000));   // -0,4 M of revenue, 0,9 M of costs
        QVERIFY(db.addDay(2, day, 1000000, 400000, 300000, 100000));
        QVERIFY(db.addDay(3, day, 0, 10000, 0, 0));
        Database database(DatabaseSettings::sqliteFile(path, false));
        MonthlySummary::install(database);
        DatabasePool pool(database, 1);
        const CkpData data = RdmIndicResult(pool).month(day, CallScope{});

        for (const auto* list : {&data.top10, &data.bottom10}) {
            const TDataPacket ranked = PacketCodec::DecodePacket(*list);
            QCOMPARE(ranked.rows.size(), 1);
            QCOMPARE(ranked.rows.first().value(1).toString(), QStringLiteral("Curitiba"));
        }
        const TDataPacket indicadores = PacketCodec::DecodePacket(data.indicadores);
        const QVector<QVariant>* north = nullptr;
        for (const auto& row : indicadores.rows)
            if (row.first().toString() == QLatin1String("NO"))
                north = &row;
        QVERIFY(north);
        QCOMPARE(north->value(2).toDouble(), -0.4);            // the revenue is shown and judged
        for (int field = 3; field <= 6; ++field)
            QVERIFY2(north->value(field).isNull(), qPrintable(QString::number(field)));   // no shares of it
    }
};

QTEST_GUILESS_MAIN(TestRdmIndicResult)
#include "tst_rdmindicresult.moc"
