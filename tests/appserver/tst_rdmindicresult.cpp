// The cockpit's data module called as plain C++, with no transport: the month's packets for a scope.
#include "cockpitdatabase.h"
#include "databaseerror.h"
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
        QVERIFY(db.addBranch(1, "Belém", "NO") && db.addBranch(2, "Curitiba", "SUL") && db.addBranch(3, "Manaus", "NO") &&
                db.addBranch(4, "Londrina", "SUL"));
        const QDate day(2024, 6, 3);
        QVERIFY(db.addDay(1, day, -400000, 300000, 150000, 50000));   // -0,4 M of revenue, 0,9 M of costs
        QVERIFY(db.addDay(2, day, 1000000, 400000, 300000, 100000));
        QVERIFY(db.addDay(3, day, 0, 10000, 0, 0));
        QVERIFY(db.addDay(4, day, 500000, 200000, 200000, 150000));   // a loss of 10 %
        Database database(DatabaseSettings::sqliteFile(path, false));
        MonthlySummary::install(database);
        DatabasePool pool(database, 1);
        const CkpData data = RdmIndicResult(pool).month(day, CallScope{});

        for (const auto* list : {&data.top10, &data.bottom10}) {
            const TDataPacket ranked = PacketCodec::DecodePacket(*list);
            QCOMPARE(ranked.rows.size(), 2);   // Curitiba and Londrina; neither branch of NO
            QVERIFY(ranked.rows.first().value(1).toString() != QStringLiteral("Belém"));
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

        // A region's branches: ranked by result, those without a share of revenue after them by code.
        const auto rows = [&](const QString& region) {
            QStringList out;
            const RegionData r = RdmIndicResult(pool).region(day, region, CallScope{});
            for (const auto& row : PacketCodec::DecodePacket(r.regionRow).rows + PacketCodec::DecodePacket(r.branches).rows) {
                QStringList cells;
                for (const QVariant& v : row)
                    cells << v.toString();
                out << cells.join(QLatin1Char('|'));
            }
            return out;
        };
        QCOMPARE(rows("SUL"), (QStringList{"SUL|2|1.5|40|33.3|16.7|10|",   // 1,5 M: 600 + 500 + 250 of 1 500 thousand
                                          "2|Curitiba|1|40|30|10|20||1", "4|Londrina|0.5|40|40|30|-10||2"}));
        QCOMPARE(rows("NO"), (QStringList{"NO|2|-0.4|||||", "1|Belém|-0.4||||||1", "3|Manaus|0||||||2"}));
        try {
            RdmIndicResult(pool).region(day, QStringLiteral("ZZ"), CallScope{});
            QFAIL("a region that does not exist was answered");
        } catch (const DatabaseError& e) {
            QCOMPARE(e.message(), QStringLiteral("A regional \"ZZ\" não existe."));
        }
    }
};

QTEST_GUILESS_MAIN(TestRdmIndicResult)
#include "tst_rdmindicresult.moc"
