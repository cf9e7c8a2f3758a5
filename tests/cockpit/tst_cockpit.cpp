// The browser's cockpit view: a few cases worked out by hand, and what kpd-appserver --http serves
// against what the desktop dashboard shows for the same month.
#include "cockpitview.h"
#include "cockpitjson.h"
#include "jsondiff.h"
#include "refreshserver.h"

#include "ckppackets.h"
#include "monthpage.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

namespace cockpit {
// The view as the browser reads it, to look inside.
QJsonObject CockpitJson(const CockpitPackets& packets)
{
    return QJsonDocument::fromJson(CockpitJsonText(packets)).object();
}
} // namespace cockpit

namespace {

TDataPacket indicadores(const QVector<QVector<QVariant>>& rows)
{
    return TDataPacket{CkpPackets::Indicadores(), rows};
}

cockpit::CockpitPackets packetsWith(const QVariant& revenue, const QVariant& consumption)
{
    cockpit::CockpitPackets p;
    p.month = QDate(2024, 3, 1);
    p.indicadores = indicadores({{"TOTAL", 7.0, revenue, consumption, 45.0, 15.0, 5.0, "03/04/2024"}});
    p.top10 = TDataPacket{CkpPackets::Ranking(), {{"NE", "Recife", 12.25, 1.0}, {"SUL", "Porto Alegre", -3.0, 2.0}}};
    p.bottom10 = TDataPacket{CkpPackets::Ranking(), {}};
    p.grafPizza = TDataPacket{CkpPackets::GrafPizza(), {{"NE", 4.0, 3.0, 1.0}, {"SUL", 6.0, 5.0, 1.0}}};
    p.diasEstoque = TDataPacket{CkpPackets::DiasEstoque(), {}};
    return p;
}

} // namespace

class TestCockpitView : public QObject {
    Q_OBJECT
    RefreshServer m_server;
    ServerProcess m_browserFace;
    QTemporaryDir m_dir;

    QJsonObject desktopExport(const QDate& month)
    {
        const QString path = m_dir.filePath(QStringLiteral("painel.json"));
        QFile::remove(path);
        QProcess host;
        host.start(QStringLiteral(KPD_HOST_BIN), {"--server", m_server.address(), "--month",
                                                  month.toString(QStringLiteral("yyyy-MM")), "--export-json", path});
        if (!host.waitForFinished(60000))
            host.kill();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }

    QJsonObject browserView(const QDate& month)
    {
        httplib::Client client("127.0.0.1", m_browserFace.httpPort());
        const auto r = client.Get("/api/cockpit?month=" + month.toString(QStringLiteral("yyyy-MM")).toStdString());
        return r && r->status == 200 ? QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object() : QJsonObject();
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY2(m_browserFace.start({"--db", m_server.databasePath(), "--http", "127.0.0.1:0"}, &error), qPrintable(error));
    }

    void shouldJudgeTheTotalsAsWorkedOutByHand_data()
    {
        QTest::addColumn<QVariant>("revenue");
        QTest::addColumn<QVariant>("consumption");
        QTest::addColumn<QString>("gauge");
        QTest::addColumn<QString>("panelText");
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("needle");
        // Revenue 12.5 M without a budget is its own target: the dial centred on it, the needle green on
        // the yellow/green edge.
        QTest::newRow("revenue without a budget") << QVariant(12.5) << QVariant(40.0) << "indicFatTotal" << "12,5 M"
                                                  << 6.25 << 18.75 << 12.5 << 0x008000;
        // Consumption: green 20..40, yellow 40..44, red 44..60.
        QTest::newRow("consumption close") << QVariant(1.0) << QVariant(42.0) << "indicConsTotal" << "42%" << 20.0 << 60.0
                                           << 42.0 << 0x00FFFF;
        QTest::newRow("consumption off the dial") << QVariant(1.0) << QVariant(80.5) << "indicConsTotal" << "80,5%"
                                                  << 20.0 << 60.0 << 60.0 << 0x0000FF;
        QTest::newRow("consumption empty") << QVariant(1.0) << QVariant() << "indicConsTotal" << "%" << 20.0 << 60.0
                                           << 20.0 << 0x808080;
        // Returns beyond sales: a share of a negative revenue is no figure (a loss would read as a gain).
        QTest::newRow("consumption of a negative revenue") << QVariant(-0.4) << QVariant(-223.8) << "indicConsTotal" << "%"
                                                           << 20.0 << 60.0 << 20.0 << 0x808080;
        QTest::newRow("consumption of no revenue") << QVariant(0.0) << QVariant(40.0) << "indicConsTotal" << "%" << 20.0
                                                   << 60.0 << 20.0 << 0x808080;
        // A revenue of 0 without a budget has nothing to be its own target: no verdict, on the dial the
        // definition gives.
        QTest::newRow("revenue of 0") << QVariant(0.0) << QVariant(40.0) << "indicFatTotal" << "0 M" << 0.0 << 75.0 << 0.0
                                      << 0xFFFFFF;
    }

    void shouldJudgeTheTotalsAsWorkedOutByHand()
    {
        QFETCH(QVariant, revenue);
        QFETCH(QVariant, consumption);
        QFETCH(QString, gauge);
        QFETCH(QString, panelText);
        const QJsonObject j = cockpit::CockpitJson(packetsWith(revenue, consumption));
        const QJsonObject g = j["gauges"][gauge].toObject();
        QTEST(g["min"].toDouble(), "min");
        QTEST(g["max"].toDouble(), "max");
        QTEST(g["value"].toDouble(), "value");
        QTEST(g["needleColor"].toInt(), "needle");
        QTEST(g["hubColor"].toInt(), "needle");
        const QString panel = gauge == QLatin1String("indicFatTotal") ? "pnlIndicFatTotal" : "pnlIndicConsTotal";
        QCOMPARE(j["panels"][panel].toString(), panelText);
    }

    // A revenue budget replaces the revenue's own figure as its target; while the month is partial (its
    // last load before its last day) only the days elapsed count.
    void shouldJudgeRevenueAgainstTheCompanysBudget_data()
    {
        QTest::addColumn<QVariant>("budget");
        QTest::addColumn<QString>("lastLoad");
        QTest::addColumn<QVariant>("lastFigures");   // what the server says of the last day with figures
        QTest::addColumn<double>("min");
        QTest::addColumn<int>("needle");
        QTest::addColumn<QString>("period");
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("no budget") << QVariant() << "03/04/2024" << QVariant() << 6.25 << 0x008000 << "Março/2024" << QStringList{};
        QTest::newRow("budget beaten") << QVariant(10.0) << "03/04/2024" << QVariant() << 5.0 << 0x008000 << "Março/2024" << QStringList{};
        QTest::newRow("budget missed") << QVariant(20.0) << "03/04/2024" << QVariant() << 10.0 << 0x0000FF << "Março/2024" << QStringList{};
        // 20 M over 31 days: 9,68 M are due by the 15th.
        QTest::newRow("partial month") << QVariant(20.0) << "15/03/2024" << QVariant() << 20.0 * 15 / 31 / 2 << 0x008000
                                       << "Março/2024 — parcial até 15/03" << QStringList{"meta proporcional a 15 de 31 dias"};
        // The nightly load on the 9th brings the figures of the 8th: 8 days count, not 9.
        QTest::newRow("morning load") << QVariant(20.0) << "09/03/2024" << QVariant(QDateTime(QDate(2024, 3, 8), QTime()))
                                      << 20.0 * 8 / 31 / 2 << 0x008000 << "Março/2024 — parcial até 08/03"
                                      << QStringList{"meta proporcional a 8 de 31 dias"};
        // The last day's figures close the month whatever day they were loaded.
        QTest::newRow("last day's figures") << QVariant(20.0) << "31/03/2024" << QVariant(QDateTime(QDate(2024, 3, 31), QTime()))
                                            << 10.0 << 0x0000FF << "Março/2024" << QStringList{};
        QTest::newRow("last day loaded") << QVariant(20.0) << "31/03/2024" << QVariant() << 10.0 << 0x0000FF << "Março/2024" << QStringList{};
    }
    void shouldJudgeRevenueAgainstTheCompanysBudget()
    {
        QFETCH(QVariant, budget);
        QFETCH(QString, lastLoad);
        QFETCH(QVariant, lastFigures);
        QFETCH(QStringList, notes);
        cockpit::CockpitPackets p = packetsWith(12.5, 40.0);
        p.indicadores = indicadores({{"TOTAL", 7.0, 12.5, 40.0, 45.0, 15.0, 5.0, lastLoad}});
        p.metas = TDataPacket{CkpPackets::Metas(), {{"TOTAL", budget, QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), lastFigures}}};
        const QJsonObject j = cockpit::CockpitJson(p);
        const QJsonObject g = j["gauges"]["indicFatTotal"].toObject();
        QTEST(g["min"].toDouble(), "min");
        QTEST(g["needleColor"].toInt(), "needle");
        QFETCH(QString, period);
        QCOMPARE(j["labels"]["lblTitulo"].toString(), QStringLiteral("BI Business Intelligence - Resultados Operacionais  (%1)").arg(period));
        QCOMPARE(j["notes"]["pnlIndicFatTotal"].toVariant().toStringList(), notes);
    }

    // The month before draws the ghost needle; both months before give the changes, in points for shares
    // and in per cent for revenue.
    void shouldCompareWithTheMonthBeforeAndTheYearBefore()
    {
        cockpit::CockpitPackets p = packetsWith(12.5, 40.0);
        p.comparacoes = TDataPacket{CkpPackets::Comparacoes(),
                                    {{QDateTime(QDate(2024, 2, 1), QTime()), "TOTAL", 10.0, 42.1, 45.0, 15.0, 5.0},
                                     {QDateTime(QDate(2023, 3, 1), QTime()), "TOTAL", 12.5, 35.7, 45.0, 15.0, 5.0}}};
        const QJsonObject j = cockpit::CockpitJson(p);
        QCOMPARE(j["gauges"]["indicConsTotal"]["ghost"].toDouble(), 42.1);
        QCOMPARE(j["notes"]["pnlIndicFatTotal"].toVariant().toStringList(),
                 (QStringList{"▲ 25,0 % vs mês anterior", "= 0,0 % vs Março/2023"}));
        QCOMPARE(j["notes"]["pnlIndicConsTotal"].toVariant().toStringList(),
                 (QStringList{"▼ 2,1 p.p. vs mês anterior", "▲ 4,3 p.p. vs Março/2023"}));
        // Halfway through a month its revenue so far is set beside the same share of the month before.
        p.indicadores = indicadores({{"TOTAL", 7.0, 12.5, 40.0, 45.0, 15.0, 5.0, "15/03/2024"}});
        const QJsonObject partial = cockpit::CockpitJson(p);
        QCOMPARE(partial["gauges"]["indicFatTotal"]["ghost"].toDouble(), 10.0 * 15 / 31);
        QCOMPARE(partial["notes"]["pnlIndicFatTotal"][0].toString(), QStringLiteral("▲ 158,3 % vs mês anterior, no mesmo ritmo"));
        // The first month of history has nothing to compare with.
        const QJsonObject first = cockpit::CockpitJson(packetsWith(12.5, 40.0));
        QVERIFY(first["gauges"]["indicConsTotal"]["ghost"].isNull());
        QVERIFY(first["notes"].toObject().isEmpty());
    }

    // Halfway through March: where the month ends (by last March's days, else in a straight line), the
    // twelve months with January missing, the year so far against February's budgets only, and a branch
    // that has been in the Top 10 for nine months.
    void shouldSeeWhereTheMonthEndsAndWhereItHeads_data()
    {
        QTest::addColumn<QVariant>("lastYearSoFar");   // March 2023 up to the 15th
        QTest::addColumn<double>("projection");
        QTest::addColumn<QString>("profile");
        QTest::newRow("last year's days") << QVariant(10.0) << 12.5 * 31 / 10 << "2023-03";
        QTest::newRow("no whole month last year") << QVariant() << 12.5 * 31 / 15 << "";
    }
    void shouldSeeWhereTheMonthEndsAndWhereItHeads()
    {
        QFETCH(QVariant, lastYearSoFar);
        QVector<TPacketFieldDef> history = CkpPackets::Comparacoes();
        for (const char* field : {"VRFATLIQ", "VRRESULT", "METAFAT", "METARES", "VRFATDIA"})
            if (TDataPacket{history, {}}.fieldIndex(field) < 0)
                history << TPacketFieldDef{field, TFieldType::ftFloat, 0, true};
        const auto month = [](int y, int m) { return QDateTime(QDate(y, m, 1), QTime()); };
        cockpit::CockpitPackets p = packetsWith(12.5, 40.0);
        p.indicadores = indicadores({{"TOTAL", 7.0, 12.5, 40.0, 45.0, 15.0, 5.0, "15/03/2024"}});
        p.comparacoes = TDataPacket{history,
                                    {{month(2023, 3), "TOTAL", 31.0, 40.0, 45.0, 15.0, 4.5, 31.0, 1.395, 30.0, 5.0, lastYearSoFar},
                                     {month(2023, 12), "TOTAL", 11.0, 40.0, 45.0, 15.0, 4.0, 11.0, 0.44, QVariant(), QVariant(), QVariant()},
                                     {month(2024, 2), "TOTAL", 10.0, 40.0, 45.0, 15.0, 5.0, 10.0, 0.5, 9.0, 6.0, QVariant()},
                                     {month(2024, 3), "TOTAL", 12.5, 40.0, 45.0, 15.0, 5.0, 12.5, 0.625, 20.0, QVariant(), QVariant()}}};
        QVector<TPacketFieldDef> budgets = CkpPackets::Metas();
        for (const char* field : {"ROWNUMTOP", "QTMESTOP", "ROWNUMBOTTOM", "QTMESBOTTOM"})
            if (TDataPacket{budgets, {}}.fieldIndex(field) < 0)
                budgets << TPacketFieldDef{field, TFieldType::ftFloat, 0, true};
        p.metas = TDataPacket{budgets, {}};
        for (const auto& [code, place, months] : {std::tuple{"#12", 1.0, 9.0}, std::tuple{"#7", 2.0, 5.0}}) {
            QVector<QVariant> row(budgets.size());
            row[0] = code;
            row[p.metas.fieldIndex("ROWNUMTOP")] = place;
            row[p.metas.fieldIndex("QTMESTOP")] = months;
            p.metas.rows << row;
        }

        const cockpit::MonthPage page = cockpit::ComputePage(p);
        const cockpit::ScopeCard& company = page.scorecard.scopes.front();
        QVERIFY(company.projection);
        QCOMPARE(company.projection->value, QTest::currentDataTag() == QByteArray("last year's days") ? 38.75 : 12.5 * 31 / 15);
        QTEST(company.projection->profile.isValid() ? company.projection->profile.key() : QString(), "profile");

        const cockpit::Measure& result = company[cockpit::Indicator::Result];
        const std::array<std::optional<double>, 12> trend{{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                                           std::nullopt, std::nullopt, std::nullopt, 4.0, std::nullopt, 5.0, 5.0}};
        QCOMPARE(result.trend, trend);
        QVERIFY(company[cockpit::Indicator::Revenue].trendProjected);
        QCOMPARE(*company[cockpit::Indicator::Revenue].trend.back(), company.projection->value);

        // February's 9 M and March's 20 M counted over 15 of 31 days; the result against February's 6 %.
        const cockpit::YearToDate& ytd = company.yearToDate;
        QCOMPARE(ytd.months, 2);
        QCOMPARE(*ytd.revenue.target, 9.0 + 20.0 * 15 / 31);
        QCOMPARE(cockpit::YearToDateText(cockpit::Indicator::Result, ytd),
                 QStringLiteral("no ano 5,0%; em 1 de 2 meses com meta: 5,0% · meta 6,0% · −1,0 p.p."));

        QCOMPARE(page.lists.front().recurrence, (QStringList{"9 de 12 meses", ""}));
        QVERIFY(cockpit::ListCsv(cockpit::DecodeMonth(p), "top10").contains(";9\r\n"));
    }

    void shouldStripeRowsAndFormatTheirFigures()
    {
        const QJsonObject j = cockpit::CockpitJson(packetsWith(12.5, 40.0));
        const QJsonObject top = j["grids"]["dbgTop10"].toObject();
        QCOMPARE(top["titles"].toArray(), (QJsonArray{"Filial", "Reg.", "%Result."}));
        QCOMPARE(top["rows"].toArray(), (QJsonArray{QJsonArray{"Recife", "NE", "12,3%"}, QJsonArray{"Porto Alegre", "SUL", "-3,0%"}}));
        QCOMPARE(top["rowColors"].toArray(), (QJsonArray{0x000000, 0x1D1D1D}));
        QCOMPARE(j["labels"]["lblTitulo"].toString(),
                 QStringLiteral("BI Business Intelligence - Resultados Operacionais  (Março/2024)"));
    }

    // The whole view of each of the test server's months, as the browser face serves it, against the
    // documents in golden/ (KPD_UPDATE_GOLDEN=1 writes them anew; read the diff before committing it).
    void shouldServeTheGoldenView_data()
    {
        QTest::addColumn<QDate>("month");
        for (const QDate& m : {RefreshServer::kFiveRegions, RefreshServer::kThreeRegions, RefreshServer::kSixRegions,
                               RefreshServer::kOneRegion, RefreshServer::kZeroRevenue, RefreshServer::kNoFigures,
                               RefreshServer::kOffDial})
            QTest::newRow(qPrintable(m.toString(QStringLiteral("yyyy-MM")))) << m;
    }

    void shouldServeTheGoldenView()
    {
        QFETCH(QDate, month);
        const QJsonObject view = browserView(month);
        QVERIFY(!view.isEmpty());
        QFile golden(QStringLiteral(KPD_GOLDEN_DIR "/%1.json").arg(month.toString(QStringLiteral("yyyy-MM"))));
        if (qEnvironmentVariableIsSet("KPD_UPDATE_GOLDEN")) {
            QVERIFY(golden.open(QIODevice::WriteOnly | QIODevice::Truncate));
            golden.write(QJsonDocument(view).toJson(QJsonDocument::Compact));
            return;
        }
        QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(golden.fileName()));
        QStringList diff;
        JsonDifferences(QJsonDocument::fromJson(golden.readAll()).object(), view, QStringLiteral("$"), diff);
        QVERIFY2(diff.isEmpty(), qPrintable(diff.join(QLatin1Char('\n'))));
    }

    void shouldShowWhatTheDesktopShows_data()
    {
        QTest::addColumn<QDate>("month");
        QTest::newRow("five regions") << RefreshServer::kFiveRegions;
        QTest::newRow("six regions") << RefreshServer::kSixRegions;
        QTest::newRow("one region") << RefreshServer::kOneRegion;
        QTest::newRow("zero revenue") << RefreshServer::kZeroRevenue;
        QTest::newRow("no figures") << RefreshServer::kNoFigures;
        QTest::newRow("off the dial") << RefreshServer::kOffDial;
    }

    void shouldShowWhatTheDesktopShows()
    {
        QFETCH(QDate, month);
        const QJsonObject desktop = desktopExport(month);
        QVERIFY(!desktop.isEmpty());
        const QJsonObject view = browserView(month);
        QVERIFY(!view.isEmpty());
        // The page in the desktop's words, against what the window shows of it.
        const QJsonObject shown = PageInDesktopNames(view);
        QStringList diff;
        JsonDifferences(DesktopPart(desktop, shown), shown, QStringLiteral("$"), diff);
        QVERIFY2(diff.isEmpty(), qPrintable(diff.join(QLatin1Char('\n'))));
    }

    void cleanupTestCase()
    {
        QVERIFY(m_browserFace.stop());
        QVERIFY(m_server.stop());
    }
};

QTEST_GUILESS_MAIN(TestCockpitView)
#include "tst_cockpit.moc"
