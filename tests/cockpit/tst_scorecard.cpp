// What a month's figures mean, on figures written in a few short lines: no server, no packet, no widget.
#include "figurescodec.h"
#include "monthpage.h"
#include "packetcodec.h"

#include <QtTest>

using namespace cockpit;

namespace {

std::optional<double> value(const QString& word)
{
    return word == QLatin1String("-") ? std::nullopt : std::optional<double>(word.toDouble());
}

// "NE 12.5 40 45 15 5": a scope's code and its five figures ("-" for none).
IndicatorValues values(const QStringList& words)
{
    IndicatorValues out;
    for (int i = 0; i < kIndicatorCount; ++i)
        out[size_t(i)] = value(words.value(i, QStringLiteral("-")));
    return out;
}

ScopeFigures scope(const char* line)
{
    const QStringList words = QString::fromUtf8(line).split(QLatin1Char(' '));
    return {words[0], 1.0, values(words.mid(1))};
}

ScopeTargets targets(const char* line)
{
    const QStringList words = QString::fromUtf8(line).split(QLatin1Char(' '));
    ScopeTargets t;
    t.scope = words[0];
    t.targets = values(words.mid(1));
    return t;
}

// "2024-02 TOTAL 10 42.1 45 15 5": a month of the history as shown; the rest set by hand.
HistoryMonth history(const char* line)
{
    const QStringList words = QString::fromUtf8(line).split(QLatin1Char(' '));
    HistoryMonth h;
    h.month = RefMonth::fromKey(words[0]);
    h.scope = words[1];
    h.values = values(words.mid(2));
    return h;
}

MonthFigures march(std::initializer_list<const char*> scopes, const char* lastLoad = "03/04/2024")
{
    MonthFigures f;
    f.month = RefMonth(2024, 3);
    f.lastLoad = QString::fromUtf8(lastLoad);
    for (const char* s : scopes)
        f.scopes << scope(s);
    return f;
}

// "min..max @value colour", the way a reader checks a dial.
QString dial(const GaugeState& g)
{
    const QString colour = g.NeedleColor() == clRed ? QStringLiteral("red")
                           : g.NeedleColor() == clYellow ? QStringLiteral("yellow")
                           : g.NeedleColor() == clGreen ? QStringLiteral("green")
                           : g.NeedleColor() == clGray ? QStringLiteral("grey")
                                                       : QStringLiteral("neutral");
    return QStringLiteral("%1..%2 @%3 %4").arg(g.MinValue()).arg(g.MaxValue()).arg(g.Progress()).arg(colour);
}

} // namespace

class TestScorecard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void shouldJudgeEachFigureAgainstItsTarget_data()
    {
        QTest::addColumn<QString>("scope");      // the company's or a region's line, as figures come
        QTest::addColumn<QString>("budget");     // the company's targets; empty for none
        QTest::addColumn<QString>("lastLoad");
        QTest::addColumn<QDate>("lastFigures");  // what the server says of the last day with figures
        QTest::addColumn<int>("indicator");
        QTest::addColumn<QString>("dial");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QStringList>("notes");
        const int revenue = int(Indicator::Revenue), consumption = int(Indicator::Consumption);
        const QString load = QStringLiteral("03/04/2024");
        // Without a budget the company's and a region's revenue is its own target: green on the yellow/green edge.
        QTest::newRow("revenue without a budget") << "TOTAL 12.5 40 45 15 5" << "" << load << QDate() << revenue
                                                  << "6.25..18.75 @12.5 green" << "situação: verde (sem meta definida)" << QStringList{};
        QTest::newRow("a region's revenue without a budget") << "NE 12.5 40 45 15 5" << "" << load << QDate() << revenue
                                                             << "6.25..18.75 @12.5 green" << "situação: verde (sem meta definida)"
                                                             << QStringList{};
        // Nothing to be its own target: no verdict.
        QTest::newRow("revenue of 0") << "TOTAL 0 40 45 15 5" << "" << load << QDate() << revenue << "0..100 @0 neutral" << ""
                                      << QStringList{};
        QTest::newRow("budget beaten") << "TOTAL 12.5 40 45 15 5" << "TOTAL 10" << load << QDate() << revenue
                                       << "5..15 @12.5 green" << "situação: verde (meta 10,00 M · +25,0 %)" << QStringList{};
        QTest::newRow("budget missed") << "TOTAL 12.5 40 45 15 5" << "TOTAL 20" << load << QDate() << revenue
                                       << "10..30 @12.5 red" << "situação: vermelho (meta 20,00 M · −37,5 %)" << QStringList{};
        // 20 M over 31 days: 9,68 M are due by the 15th.
        QTest::newRow("partial month") << "TOTAL 12.5 40 45 15 5" << "TOTAL 20" << "15/03/2024" << QDate() << revenue
                                       << QStringLiteral("%1..%2 @12.5 green").arg(20.0 * 15 / 31 / 2).arg(20.0 * 15 / 31 * 1.5)
                                       << "situação: verde (meta 9,68 M · +29,2 %)" << QStringList{"meta proporcional a 15 de 31 dias"};
        // The nightly load on the 9th brings the figures of the 8th: 8 days count, not 9.
        QTest::newRow("morning load") << "TOTAL 12.5 40 45 15 5" << "TOTAL 20" << "09/03/2024" << QDate(2024, 3, 8) << revenue
                                      << QStringLiteral("%1..%2 @%3 green").arg(20.0 * 8 / 31 / 2).arg(20.0 * 8 / 31 * 1.5).arg(20.0 * 8 / 31 * 1.5)
                                      << "situação: verde (meta 5,16 M · +142,2 %)" << QStringList{"meta proporcional a 8 de 31 dias"};
        // The last day's figures close the month whatever day they were loaded.
        QTest::newRow("last day's figures") << "TOTAL 12.5 40 45 15 5" << "TOTAL 20" << "31/03/2024" << QDate(2024, 3, 31) << revenue
                                            << "10..30 @12.5 red" << "situação: vermelho (meta 20,00 M · −37,5 %)" << QStringList{};
        // Consumption: green 20..40, yellow 40..44, red 44..60.
        QTest::newRow("consumption close") << "TOTAL 1 42 45 15 5" << "" << load << QDate() << consumption << "20..60 @42 yellow"
                                           << "situação: amarelo (meta 40,0% · +2,0 p.p.)" << QStringList{};
        QTest::newRow("consumption off the dial") << "TOTAL 1 80.5 45 15 5" << "" << load << QDate() << consumption
                                                  << "20..60 @60 red" << "situação: vermelho (meta 40,0% · +40,5 p.p.)" << QStringList{};
        QTest::newRow("consumption against a budget") << "TOTAL 1 42 45 15 5" << "TOTAL - 45" << load << QDate() << consumption
                                                      << "22.5..67.5 @42 green" << "situação: verde (meta 45,0% · −3,0 p.p.)"
                                                      << QStringList{};
        QTest::newRow("consumption empty") << "TOTAL 1 - 45 15 5" << "" << load << QDate() << consumption << "20..60 @20 grey" << ""
                                           << QStringList{};
        // Returns beyond sales: a share of a negative revenue is no figure (a loss would read as a gain).
        QTest::newRow("consumption of a negative revenue") << "TOTAL -0.4 -223.8 45 15 5" << "" << load << QDate() << consumption
                                                           << "20..60 @20 grey" << "" << QStringList{};
        QTest::newRow("consumption of no revenue") << "TOTAL 0 40 45 15 5" << "" << load << QDate() << consumption
                                                   << "20..60 @20 grey" << "" << QStringList{};
    }
    void shouldJudgeEachFigureAgainstItsTarget()
    {
        QFETCH(QString, scope);
        QFETCH(QString, budget);
        QFETCH(QString, lastLoad);
        QFETCH(QDate, lastFigures);
        QFETCH(int, indicator);
        const bool region = !scope.startsWith(QLatin1String("TOTAL"));
        MonthFigures f = march({region ? "TOTAL 20 40 45 15 5" : scope.toUtf8().constData()}, lastLoad.toUtf8().constData());
        if (region)
            f.scopes << ::scope(scope.toUtf8().constData());
        if (!budget.isEmpty())
            f.targets << targets(budget.toUtf8().constData());
        if (lastFigures.isValid()) {
            if (f.targets.isEmpty())
                f.targets << targets("TOTAL");
            f.targets.front().lastFigures = lastFigures;
        }
        const MonthPage page = ComputePage(f);
        const PageScope& shown = page.scopes[region ? 1 : 0];
        const Measure& m = page.scorecard.scopes[region ? 1 : 0][Indicator(indicator)];
        QTEST(dial(shown.measures[size_t(indicator)].dial), "dial");
        QTEST(VerdictText(Indicator(indicator), m), "verdict");
        QTEST(m.notes, "notes");
    }

    // The month before draws the ghost needle; both months before give the changes, in points for shares
    // and in per cent for revenue.
    void shouldCompareWithTheMonthBeforeAndTheYearBefore()
    {
        MonthFigures f = march({"TOTAL 12.5 40 45 15 5"});
        f.history = {history("2024-02 TOTAL 10 42.1 45 15 5"), history("2023-03 TOTAL 12.5 35.7 45 15 5")};
        MonthPage page = ComputePage(f);
        QCOMPARE(page.scopes[0].measures[size_t(Indicator::Consumption)].dial.GhostValue(), 42.1);
        const ScopeCard& company = page.scorecard.scopes[0];
        QCOMPARE(company[Indicator::Revenue].notes, (QStringList{"▲ 25,0 % vs mês anterior", "= 0,0 % vs Março/2023"}));
        QCOMPARE(company[Indicator::Consumption].notes, (QStringList{"▼ 2,1 p.p. vs mês anterior", "▲ 4,3 p.p. vs Março/2023"}));
        // Halfway through a month its revenue so far is set beside the same share of the month before.
        f.lastLoad = QStringLiteral("15/03/2024");
        page = ComputePage(f);
        QCOMPARE(page.scopes[0].measures[size_t(Indicator::Revenue)].dial.GhostValue(), 10.0 * 15 / 31);
        QCOMPARE(page.scorecard.scopes[0][Indicator::Revenue].notes.front(), QStringLiteral("▲ 158,3 % vs mês anterior, no mesmo ritmo"));
        // The first month of history has nothing to compare with.
        f.history.clear();
        page = ComputePage(f);
        QVERIFY(std::isnan(page.scopes[0].measures[size_t(Indicator::Consumption)].dial.GhostValue()));
        QCOMPARE(page.scorecard.scopes[0][Indicator::Consumption].notes, QStringList());
    }

    // Halfway through March: where the month ends (by last March's days, else in a straight line), the
    // twelve months with January missing, the year so far against February's budgets only, and a branch
    // that has been in the Top 10 for nine months.
    void shouldSeeWhereTheMonthEndsAndWhereItHeads_data()
    {
        QTest::addColumn<std::optional<double>>("lastYearSoFar");   // March 2023 up to the 15th
        QTest::addColumn<double>("projection");
        QTest::addColumn<QString>("profile");
        QTest::newRow("last year's days") << std::optional<double>(10.0) << 12.5 * 31 / 10 << "2023-03";
        QTest::newRow("no whole month last year") << std::optional<double>() << 12.5 * 31 / 15 << "";
    }
    void shouldSeeWhereTheMonthEndsAndWhereItHeads()
    {
        QFETCH(std::optional<double>, lastYearSoFar);
        MonthFigures f = march({"TOTAL 12.5 40 45 15 5"}, "15/03/2024");
        const auto month = [](const char* line, double revenue, double result, std::optional<double> revenueTarget,
                              std::optional<double> resultTarget, std::optional<double> toDay) {
            HistoryMonth h = history(line);
            h.revenue = revenue;
            h.result = result;
            h.revenueTarget = revenueTarget;
            h.resultTarget = resultTarget;
            h.revenueToDay = toDay;
            return h;
        };
        f.history = {month("2023-03 TOTAL 31 40 45 15 4.5", 31.0, 1.395, 30.0, 5.0, lastYearSoFar),
                     month("2023-12 TOTAL 11 40 45 15 4", 11.0, 0.44, {}, {}, {}),
                     month("2024-02 TOTAL 10 40 45 15 5", 10.0, 0.5, 9.0, 6.0, {}),
                     month("2024-03 TOTAL 12.5 40 45 15 5", 12.5, 0.625, 20.0, {}, {})};
        for (const auto& [code, place, months] : {std::tuple{"#12", 1.0, 9.0}, std::tuple{"#7", 2.0, 5.0}}) {
            ScopeTargets t = targets(code);
            t.placeTop = place;
            t.monthsTop = months;
            f.targets << t;
        }
        f.top10 = {{QStringLiteral("NE"), QStringLiteral("Recife"), 12.3, 1}, {QStringLiteral("SUL"), QStringLiteral("Porto Alegre"), -3.0, 2}};

        const MonthPage page = ComputePage(f);
        const ScopeCard& company = page.scorecard.scopes.front();
        QVERIFY(company.projection);
        QTEST(company.projection->value, "projection");
        QTEST(company.projection->profile.isValid() ? company.projection->profile.key() : QString(), "profile");

        const Measure& result = company[Indicator::Result];
        const std::array<std::optional<double>, 12> trend{{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                                           std::nullopt, std::nullopt, std::nullopt, 4.0, std::nullopt, 5.0, 5.0}};
        QCOMPARE(result.trend, trend);
        QVERIFY(company[Indicator::Revenue].trendProjected);
        QCOMPARE(*company[Indicator::Revenue].trend.back(), company.projection->value);

        // February's 9 M and March's 20 M counted over 15 of 31 days; the result against February's 6 %.
        const YearToDate& ytd = company.yearToDate;
        QCOMPARE(ytd.months, 2);
        QCOMPARE(*ytd.revenue.target, 9.0 + 20.0 * 15 / 31);
        QCOMPARE(YearToDateText(Indicator::Result, ytd), QStringLiteral("no ano 5,0%; em 1 de 2 meses com meta: 5,0% · meta 6,0% · −1,0 p.p."));

        QCOMPARE(page.lists.front().recurrence, (QStringList{"9 de 12 meses", ""}));
        QCOMPARE(page.lists.front().titles, (QStringList{"Filial", "Reg.", "%Result."}));
        QCOMPARE(page.lists.front().rows, (QVector<QStringList>{{"Recife", "NE", "12,3%"}, {"Porto Alegre", "SUL", "-3,0%"}}));
        QCOMPARE(page.lists.front().rowColors, (QVector<int>{0x000000, 0x1D1D1D}));
        QVERIFY(ListCsv(f, "top10").contains(";9\r\n"));
    }

    // What the server encodes is what a client decodes: every field, none where there is none.
    void shouldDecodeWhatWasEncoded()
    {
        MonthFigures f = march({"TOTAL 12.5 40 45 15 5", "NE 4 - 45 15 5"});
        f.top10 = {{QStringLiteral("NE"), QStringLiteral("Recife"), 12.3, 1}};
        f.bottom10 = {{QStringLiteral("NE"), QStringLiteral("Olinda"), std::nullopt, 1}};
        f.stock = {{QStringLiteral("NE"), QStringLiteral("Recife"), 31.5, 1}};
        f.slices = {{QStringLiteral("NE"), 4.0, 3.0, 1.0}};
        ScopeTargets company = targets("TOTAL 20 - - - 6");
        company.lastFigures = QDate(2024, 3, 15);
        ScopeTargets branch = targets("#12 1.5");
        branch.monthsTop = 9;
        branch.placeTop = 1;
        ScopeTargets region = targets("NE 8");
        region.revenueFromBranches = true;
        f.targets = {company, region, branch};
        HistoryMonth h = history("2023-03 TOTAL 31 40 45 15 4.5");
        h.revenue = 31.0;
        h.revenueToDay = 10.0;
        f.history = {h};

        const EncodedMonth p = EncodeMonth(f);
        CockpitPackets decoded{f.month.firstDay(),
                               PacketCodec::DecodePacket(p.indicadores),
                               PacketCodec::DecodePacket(p.top10),
                               PacketCodec::DecodePacket(p.bottom10),
                               PacketCodec::DecodePacket(p.grafPizza),
                               PacketCodec::DecodePacket(p.diasEstoque),
                               PacketCodec::DecodePacket(p.metas),
                               PacketCodec::DecodePacket(p.comparacoes)};
        QVERIFY(DecodeMonth(decoded) == f);
    }
};

QTEST_GUILESS_MAIN(TestScorecard)
#include "tst_scorecard.moc"
