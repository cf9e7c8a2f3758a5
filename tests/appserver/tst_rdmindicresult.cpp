// The cockpit's data module called as plain C++, with no transport: the month's packets for a scope.
#include "cockpitdatabase.h"
#include "databaseerror.h"
#include "databasepool.h"
#include "demodatabase.h"
#include "figurescodec.h"
#include "monthlysummary.h"
#include "packetcodec.h"
#include "rdmindicresult.h"
#include "regionquery.h"
#include "scorecard.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <QFile>
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

        const CkpData data = module.month(cockpit::RefMonth(QDate(2024, 5, 17)), CallScope{});
        QCOMPARE(data.month, cockpit::RefMonth(2024, 5));
        const TDataPacket indicadores = PacketCodec::DecodePacket(data.indicadores);
        QVERIFY(indicadores.rows.size() > 1);   // TOTAL and the regions
        QCOMPARE(indicadores.rows.first().first().toString(), QStringLiteral("TOTAL"));
    }

    // The replies stay byte for byte those saved in golden/: a month partial to its 15th with the year of
    // history, budgets and listed branches, a region's, and a month without figures, from both sources
    // (KPD_UPDATE_GOLDEN=1 writes them anew; read their dumps before committing them).
    void shouldKeepTheRepliesByteForByte()
    {
        const QString path = m_dir.filePath(QStringLiteral("replies.db"));
        DemoDatabase::create(path, {18, 14, QDate(2025, 6, 1)});
        Database db(DatabaseSettings::sqliteFile(path, false));
        db.execDirect(QStringLiteral("DELETE FROM movimento_diario WHERE dtmovimento > '2025-06-15'"));
        QString region;
        db.forEachRow(QStringLiteral("SELECT MIN(cdareagere) FROM regional"), {},
                      [&](const Database::Row& row) { region = QString::fromUtf8(row.text(0)); });
        DatabasePool pool(db, 1);
        for (const auto source : {IndicResultQuery::Source::MonthlySummary, IndicResultQuery::Source::DailyRows}) {
            const RdmIndicResult module(pool, source);
            const std::pair<const char*, std::shared_ptr<const std::string>> replies[] = {
                {"2025-06", module.monthReply(cockpit::RefMonth(QDate(2025, 6, 1)), CallScope{})},
                {"2025-06-region", module.regionReply(cockpit::RefMonth(QDate(2025, 6, 1)), region, CallScope{})},
                {"2024-06", module.monthReply(cockpit::RefMonth(QDate(2024, 6, 1)), CallScope{})},
                {"2023-01", module.monthReply(cockpit::RefMonth(QDate(2023, 1, 1)), CallScope{})},
            };
            for (const auto& [name, bytes] : replies) {
                QFile saved(QStringLiteral(KPD_GOLDEN_DIR "/reply-%1.bin").arg(QLatin1String(name)));
                if (qEnvironmentVariableIsSet("KPD_UPDATE_GOLDEN")) {
                    QVERIFY(saved.open(QIODevice::WriteOnly | QIODevice::Truncate));
                    saved.write(bytes->data(), qint64(bytes->size()));
                    continue;
                }
                QVERIFY2(saved.open(QIODevice::ReadOnly), qPrintable(saved.fileName()));
                QVERIFY2(saved.readAll() == QByteArray::fromStdString(*bytes), name);
            }
        }
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
        const CkpData data = RdmIndicResult(pool).month(cockpit::RefMonth(day), CallScope{});

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
            const RegionData r = RdmIndicResult(pool).region(cockpit::RefMonth(day), region, CallScope{});
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
            RdmIndicResult(pool).region(cockpit::RefMonth(day), QStringLiteral("ZZ"), CallScope{});
            QFAIL("a region that does not exist was answered");
        } catch (const RegionNotFound& e) {
            QCOMPARE(e.message(), QStringLiteral("A regional \"ZZ\" não existe."));
        }
    }

    // What each figure means, worked out by hand. December 2026, loaded on the 9th at 06:30 with figures up
    // to the 8th: 8 days of 31 count. Branches 1 and 2 (NO) make 100 000 a day at costs of 90 000 (result
    // 10 %); branch 3 (P&D) 50 000 a day at 25 000 + 10 000 + 5 000 (shares 50, 20, 10, result 20 %).
    // Budgets: branch 1 3,1 M and branch 2 6,2 M of revenue (none for NO itself: their sum, 9,3 M), P&D a
    // consumption of 45 %, the company a result of 6 %; branch 3 and the company's revenue none.
    void shouldJudgeEveryScopeAgainstTheTargetItHas()
    {
        const QString path = m_dir.filePath(QStringLiteral("budgets.db"));
        CockpitDatabase db(path);
        QVERIFY2(db.create(), qPrintable(db.error()));
        QVERIFY(db.addRegion("NO") && db.addRegion("P&D"));
        QVERIFY(db.addBranch(1, "Belém", "NO") && db.addBranch(2, "Manaus", "NO") && db.addBranch(3, "Lab", "P&D"));
        const QDate month(2026, 12, 1);
        for (int d = 0; d < 8; ++d) {
            QVERIFY(db.addDay(1, month.addDays(d), 100000, 40000, 40000, 10000));
            QVERIFY(db.addDay(2, month.addDays(d), 100000, 40000, 40000, 10000));
            QVERIFY(db.addDay(3, month.addDays(d), 50000, 25000, 10000, 5000));
        }
        QVERIFY(db.addDay(1, QDate(2026, 11, 30), 100000, 40000, 40000, 10000));   // November: closed, no budgets
        QVERIFY(db.addLoad("2026-12-09 06:30:00"));
        QVERIFY(db.addTarget(month, "#1", "faturamento", 3100000) && db.addTarget(month, "#2", "faturamento", 6200000) &&
                db.addTarget(month, "P&D", "consumo", 45) && db.addTarget(month, "TOTAL", "resultado", 6));
        Database database(DatabaseSettings::sqliteFile(path, false));
        MonthlySummary::install(database);
        DatabasePool pool(database, 1);
        const RdmIndicResult module(pool);

        using namespace cockpit;
        const Scorecard card = MonthScorecard(monthFigures(module.month(cockpit::RefMonth(month), CallScope{})));
        QCOMPARE(card.partialUntil, QDate(2026, 12, 8));
        QCOMPARE(card.daysElapsed, 8);
        const auto check = [](const Scorecard& c, ScopeKind kind, const QString& code, Indicator i, const char* want) {
            const ScopeCard* scope = c.find(kind, code);
            if (!scope)
                return QStringLiteral("no scope %1").arg(code);
            const Measure& m = (*scope)[i];
            const auto n = [](const std::optional<double>& v) { return v ? QString::number(*v, 'f', 2) : QStringLiteral("-"); };
            const QString got = QStringLiteral("%1 %2 %3 %4 %5 %6").arg(n(m.figure), n(m.target), SourceKey(m.source), n(m.gap),
                                                                       n(m.gapPercent), ZoneWord(m.zone));
            return got == QLatin1String(want) ? QString() : QStringLiteral("%1 %2: %3").arg(code, info(i).key, got);
        };
        const QStringList failures = {
            // NO: 1,6 M against 9,3 M × 8/31 = 2,4 M, the branches' budgets added up.
            check(card, ScopeKind::Region, "NO", Indicator::Revenue, "1.60 2.40 filiais -0.80 -33.33 vermelho"),
            // The company: branch 3 has no budget, so no sum; its revenue is its own target, with no gap.
            check(card, ScopeKind::Company, "TOTAL", Indicator::Revenue, "2.00 2.00 propria - - verde"),
            check(card, ScopeKind::Company, "TOTAL", Indicator::Result, "12.00 6.00 orcamento 6.00 - verde"),
            check(card, ScopeKind::Region, "P&D", Indicator::Consumption, "50.00 45.00 orcamento 5.00 - vermelho"),
            check(card, ScopeKind::Region, "NO", Indicator::Labour, "40.00 45.00 regra -5.00 - verde"),
        };
        for (const QString& f : failures)
            QVERIFY2(f.isEmpty(), qPrintable(f));
        QVERIFY(card.find(ScopeKind::Region, "NO")->operator[](Indicator::Revenue).notes.contains(
            QStringLiteral("meta proporcional a 8 de 31 dias")));

        // The regions' windows: a branch's revenue against its own budget only, its shares against its
        // region's target, then the company's, then the rule.
        const Scorecard no = RegionScorecard(cockpit::DecodeRegion(regionPackets(module.region(cockpit::RefMonth(month), QStringLiteral("NO"), CallScope{}))));
        const Scorecard lab = RegionScorecard(cockpit::DecodeRegion(regionPackets(module.region(cockpit::RefMonth(month), QStringLiteral("P&D"), CallScope{}))));
        const QStringList branchFailures = {
            check(no, ScopeKind::Branch, "1", Indicator::Revenue, "0.80 0.80 orcamento 0.00 0.00 verde"),
            check(no, ScopeKind::Branch, "2", Indicator::Revenue, "0.80 1.60 orcamento -0.80 -50.00 vermelho"),
            check(lab, ScopeKind::Branch, "3", Indicator::Revenue, "0.40 -  - - "),
            check(lab, ScopeKind::Branch, "3", Indicator::Consumption, "50.00 45.00 orcamento 5.00 - vermelho"),
            check(lab, ScopeKind::Branch, "3", Indicator::Result, "20.00 6.00 orcamento 14.00 - verde"),
            check(lab, ScopeKind::Branch, "3", Indicator::Labour, "20.00 45.00 regra -25.00 - verde"),
        };
        for (const QString& f : branchFailures)
            QVERIFY2(f.isEmpty(), qPrintable(f));
        // A branch without a budget is drawn neutral, never green or red, in the region's view.
        const QByteArray json = QByteArray::fromStdString(*module.regionJson(cockpit::RefMonth(month), QStringLiteral("P&D"), CallScope{}));
        const QJsonArray cells = QJsonDocument::fromJson(json)[QStringLiteral("rows")][0].toArray();
        QCOMPARE(cells[2][QStringLiteral("color")].toInt(), kNeutralColor);

        // A month without any budget, whose last day has figures: closed, nothing pro-rated, revenue its own target.
        const Scorecard november = MonthScorecard(monthFigures(module.month(cockpit::RefMonth(QDate(2026, 11, 1)), CallScope{})));
        QVERIFY(!november.partial());
        QVERIFY(failuresOf({check(november, ScopeKind::Region, "NO", Indicator::Revenue, "0.10 0.10 propria - - verde"),
                            check(november, ScopeKind::Company, "TOTAL", Indicator::Result, "10.00 5.00 regra 5.00 - verde")}));
    }

private:
    static bool failuresOf(const QStringList& failures)
    {
        for (const QString& f : failures)
            if (!f.isEmpty()) {
                qWarning("%s", qPrintable(f));
                return false;
            }
        return true;
    }
};

QTEST_GUILESS_MAIN(TestRdmIndicResult)
#include "tst_rdmindicresult.moc"
