// The dashboard's refresh against a real kpd-appserver over the months of RefreshServer.
#include "cockpitexport.h"
#include "jsondiff.h"
#include "tdbchart.h"
#include "tpanel.h"
#include "tlabel.h"
#include "refreshserver.h"
#include "testsupport.h"

#include "hostfunctions.h"
#include "launch.h"
#include "modulestate.h"
#include "tapplication.h"
#include "tbuttonflat.h"
#include "tclientdataset.h"
#include "tdateeditplus.h"
#include "tdbgrid.h"
#include "tfrmfiltroindicresult.h"
#include "tfrmindiresult.h"
#include "tindicresultdata.h"
#include "tnetconnection.h"
#include "tovergauge.h"

#include <httplib.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

namespace {

const QString kMoreThanFive = QString::fromUtf8(
    "Há mais de 5 regionais cadastradas no sistema.Este cockpit está programado para exibir dados de apenas 5 "
    "regionais.");

QString colourName(TColor c)
{
    switch (c) {
    case clRed: return QStringLiteral("red");
    case clYellow: return QStringLiteral("yellow");
    case clGreen: return QStringLiteral("green");
    case clGray: return QStringLiteral("grey");
    case clWhite: return QStringLiteral("neutral");   // a figure with no target to be judged against
    default: return QStringLiteral("0x%1").arg(c, 6, 16, QLatin1Char('0'));
    }
}

TOverGauge* formGauge(TfrmIndiResult* form, const QString& name)
{
    auto* g = form->FindComponentAs<TOverGauge>(name);
    if (!g)
        qFatal("no gauge %s", qPrintable(name));
    return g;
}

// "min..max @value needle/hub", the way a reader checks a dial.
QString dial(TfrmIndiResult* form, const QString& name)
{
    const TOverGauge* g = formGauge(form, name);
    return QStringLiteral("%1..%2 @%3 %4/%5")
        .arg(g->MinValue())
        .arg(g->MaxValue())
        .arg(g->Progress())
        .arg(colourName(g->NeedleColor()), colourName(g->needleHubCOlor()));
}

QString zones(TfrmIndiResult* form, const QString& name)
{
    QStringList out;
    for (const TGaugeZone& z : formGauge(form, name)->Zones())
        out << QStringLiteral("%1 %2-%3").arg(colourName(z.color)).arg(z.start).arg(z.stop);
    return out.join(QStringLiteral(", "));
}

QString caption(TfrmIndiResult* form, const QString& name)
{
    QObject* c = form->FindComponent(name);
    return c ? c->property("Caption").toString() : QStringLiteral("<%1 não existe>").arg(name);
}

// Region code and the five value texts of a regional row.
QStringList rowTexts(TfrmIndiResult* form, int n)
{
    QStringList texts{caption(form, QStringLiteral("lblR%1").arg(n))};
    for (const char* panel : {"pnlIndicFatR", "pnlIndicConsR", "pnlIndicMdoR", "pnlIndicDespeR", "pnlIndicResultR"})
        texts << caption(form, QLatin1String(panel) + QString::number(n));
    return texts;
}

QStringList totalTexts(TfrmIndiResult* form)
{
    QStringList texts;
    for (const char* panel :
         {"pnlIndicFatTotal", "pnlIndicConsTotal", "pnlIndicMdoTotal", "pnlIndicDespeTotal", "pnlIndicResultTotal"})
        texts << caption(form, QLatin1String(panel));
    return texts;
}

QStringList recordsOf(TClientDataSet* cds)
{
    QStringList rows;
    for (int r = 0; r < cds->RecordCount(); ++r) {
        QStringList cells;
        for (int f = 0; f < cds->Fields().size(); ++f)
            cells << cds->ValueAt(r, f).toString();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

} // namespace

class TestRefresh : public QObject {
    Q_OBJECT
    RefreshServer m_server;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<TForm> m_other; // another window of the host, to leave the dashboard and come back
    TfrmIndiResult* m_form = nullptr;

    // A new dashboard for the month, shown: its first refresh runs inside Show.
    TfrmIndiResult* open(const QDate& month)
    {
        m_form = new TfrmIndiResult;
        dtData = DateTimeUtil::fromDate(month);
        m_form->Show();
        return m_form;
    }

    // The user goes to another window of the host, the reference date changes, and the user comes back.
    void comeBack(const QDate& month)
    {
        Application()->WindowActivated(m_other.get());
        dtData = DateTimeUtil::fromDate(month);
        Application()->WindowActivated(m_form);
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QString error;
        QVERIFY2(m_server.startAndUse(&error), qPrintable(error));
        m_messages = std::make_unique<MessageRecorder>();
        m_other = std::make_unique<TForm>();
        m_other->setObjectName(QStringLiteral("frmOutra"));
    }

    void init()
    {
        m_server.useIt();
        m_messages->messages.clear();
    }

    void cleanup()
    {
        delete m_form;
        m_form = nullptr;
    }

    void cleanupTestCase()
    {
        m_other.reset();
        m_messages.reset();
        SetServerAddressProvider({}, {});
        QVERIFY(m_server.stop());
    }

    void fiveRegionsFillEveryRowAndEndUnfiltered()
    {
        TfrmIndiResult* form = open(RefreshServer::kFiveRegions);
        QCOMPARE(m_messages->messages, QStringList());
        QVERIFY(form->LastActivateCompleted());
        QVERIFY(!form->Data()->cdsIndicadores->Filtered());
        QVERIFY(form->Data()->netIndicResult->Connected());

        QCOMPARE(caption(form, "lblTitulo"),
                 QStringLiteral("BI Business Intelligence - Resultados Operacionais  (Janeiro/2008)"));
        QCOMPARE(caption(form, "lblQtFiliais"), QStringLiteral("Quantidade de Unidades:  5"));
        QCOMPARE(caption(form, "lblDtAtu"), QString::fromUtf8("Última Atualização : 03/08/2008"));
        QCOMPARE(totalTexts(form).mid(0, 2), (QStringList{"8 M", "43%"}));
        // Judged against the company's budget of 10 M, not against itself: 8 M misses it.
        QCOMPARE(dial(form, "indicFatTotal"), QStringLiteral("5..15 @8 red/red"));

        QCOMPARE(rowTexts(form, 1), (QStringList{"AAA", "1 M", "40%", "40%", "10%", "10%"}));
        QCOMPARE(rowTexts(form, 2), (QStringList{"BBB", "1,2 M", "40%", "40%", "10%", "10%"}));
        QCOMPARE(rowTexts(form, 3), (QStringList{"CCC", "1,4 M", "40%", "40%", "10%", "10%"}));
        QCOMPARE(rowTexts(form, 4), (QStringList{"DDD", "2,5 M", "42%", "40%", "12%", "6%"}));
        QCOMPARE(rowTexts(form, 5), (QStringList{"EEE", "1,9 M", "50%", "30%", "16%", "4%"}));
        // Each regional revenue gauge without a budget is judged against its own figure.
        QCOMPARE(dial(form, "indicFatR5"), QStringLiteral("0.95..2.85 @1.9 green/green"));
        QCOMPARE(dial(form, "indicConsR4"), QStringLiteral("22.5..67.5 @42 green/green"));   // DDD's own 45 %
        QCOMPARE(dial(form, "IndicResultR5"), QStringLiteral("2.5..7.5 @4 red/red"));
        QCOMPARE(dial(form, "indicDespeR5"), QStringLiteral("7.5..22.5 @16 yellow/yellow"));
        // The keyboard lands on the first grid.
        QCOMPARE(form->focusWidget(), ComponentOf<TDBGrid>(form, "dbgTop10"));
    }

    void threeRegionsLeaveRowsFourAndFiveEmptyAndUnjudged()
    {
        TfrmIndiResult* form = open(RefreshServer::kFiveRegions);
        QVERIFY(form->LastActivateCompleted());
        comeBack(RefreshServer::kThreeRegions);
        QCOMPARE(form->ActivateCount(), 2);
        QVERIFY(form->LastActivateCompleted());
        QCOMPARE(m_messages->messages, QStringList());
        QVERIFY(!form->Data()->cdsIndicadores->Filtered());

        QCOMPARE(caption(form, "lblTitulo"),
                 QString::fromUtf8("BI Business Intelligence - Resultados Operacionais  (Fevereiro/2008)"));
        QCOMPARE(totalTexts(form), (QStringList{"2 M", "30%", "50%", "10%", "10%"}));
        QCOMPARE(rowTexts(form, 1), (QStringList{"AAA", "0,5 M", "30%", "50%", "10%", "10%"}));
        QCOMPARE(rowTexts(form, 3), (QStringList{"CCC", "1 M", "30%", "50%", "10%", "10%"}));
        QCOMPARE(dial(form, "indicFatR1"), QStringLiteral("0.25..0.75 @0.5 green/green"));
        QCOMPARE(dial(form, "indicConsR3"), QStringLiteral("20..60 @30 green/green"));

        // Rows without a region are empty, not January's regions, and not judged: grey needles at the minimum
        // of dials set from February's total (2 M) and the fixed targets.
        const QStringList empty{"", "", "", "", "", ""};
        QCOMPARE(rowTexts(form, 4), empty);
        QCOMPARE(rowTexts(form, 5), empty);
        const QStringList expected{
            "indicFatR4", "1..3 @1 grey/grey",          "indicFatR5", "1..3 @1 grey/grey",
            "indicConsR4", "20..60 @20 grey/grey",      "indicConsR5", "20..60 @20 grey/grey",
            "indicMDOR5", "22.5..67.5 @22.5 grey/grey", "IndicResultR5", "2.5..7.5 @2.5 grey/grey",
        };
        for (int i = 0; i < expected.size(); i += 2)
            QCOMPARE(expected[i] + ": " + dial(form, expected[i]), expected[i] + ": " + expected[i + 1]);
        QCOMPARE(zones(form, "indicFatR4"), QStringLiteral("red 1-1.8, yellow 1.8-2, green 2-3"));
    }

    void sixRegionsFillFiveRowsThenAbandonWithOneMessage()
    {
        TfrmIndiResult* form = open(RefreshServer::kSixRegions);
        QCOMPARE(m_messages->messages, QStringList{kMoreThanFive});
        QVERIFY(!form->LastActivateCompleted());
        QVERIFY(form->Data()->cdsIndicadores->Filtered());
        QCOMPARE(form->Data()->cdsIndicadores->Filter(), QStringLiteral("CDAREAGERE <> 'TOTAL'"));

        QCOMPARE(caption(form, "lblTitulo"),
                 QString::fromUtf8("BI Business Intelligence - Resultados Operacionais  (Março/2008)"));
        QCOMPARE(caption(form, "lblQtFiliais"), QStringLiteral("Quantidade de Unidades:  6"));
        QCOMPARE(totalTexts(form), (QStringList{"6 M", "40%", "40%", "10%", "10%"}));
        QCOMPARE(dial(form, "indicFatTotal"), QStringLiteral("3..9 @6 green/green"));
        for (int n = 1; n <= 5; ++n) {
            QCOMPARE(rowTexts(form, n),
                     (QStringList{QString(3, QChar('A' + n - 1)), "1 M", "40%", "40%", "10%", "10%"}));
            QCOMPARE(dial(form, QStringLiteral("indicFatR%1").arg(n)), QStringLiteral("0.5..1.5 @1 green/green"));
        }
        // The message ends the refresh; nothing starts another one.
        QTest::qWait(200);
        QCOMPARE(form->ActivateCount(), 1);
        QCOMPARE(m_messages->messages.size(), 1);
    }

    void oneRegionGaugesFollowTheirTargets_data()
    {
        QTest::addColumn<QString>("gauge");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("expectedDial");
        QTest::addColumn<QString>("expectedZones");
        QTest::addColumn<QString>("expectedText");
        // No revenue budget: the figure is its own target, the needle green on the yellow/green edge.
        const QString revenueZones = "red 6.25-11.25, yellow 11.25-12.5, green 12.5-18.75";
        const QString consumptionZones = "red 44-60, yellow 40-44, green 20-40";
        QTest::newRow("total revenue 12.5") << "indicFatTotal" << "pnlIndicFatTotal" << "6.25..18.75 @12.5 green/green"
                                            << revenueZones << "12,5 M";
        QTest::newRow("regional revenue 12.5") << "indicFatR1" << "pnlIndicFatR1" << "6.25..18.75 @12.5 green/green"
                                               << revenueZones << "12,5 M";
        QTest::newRow("regional consumption 42") << "indicConsR1" << "pnlIndicConsR1" << "20..60 @42 yellow/yellow"
                                                 << consumptionZones << "42%";
        QTest::newRow("total consumption 42") << "indicConsTotal" << "pnlIndicConsTotal" << "20..60 @42 yellow/yellow"
                                              << consumptionZones << "42%";
        QTest::newRow("regional labour 30") << "indicMDOR1" << "pnlIndicMdoR1" << "22.5..67.5 @30 green/green"
                                            << "red 49.5-67.5, yellow 45-49.5, green 22.5-45" << "30%";
        QTest::newRow("total expenses 10") << "indicDespeTotal" << "pnlIndicDespeTotal" << "7.5..22.5 @10 green/green"
                                           << "red 16.5-22.5, yellow 15-16.5, green 7.5-15" << "10%";
    }
    void oneRegionGaugesFollowTheirTargets()
    {
        QFETCH(QString, gauge);
        QFETCH(QString, panel);
        QFETCH(QString, expectedDial);
        QFETCH(QString, expectedZones);
        QFETCH(QString, expectedText);
        TfrmIndiResult* form = open(RefreshServer::kOneRegion);
        QVERIFY(form->LastActivateCompleted());
        QCOMPARE(dial(form, gauge), expectedDial);
        QCOMPARE(zones(form, gauge), expectedZones);
        QCOMPARE(caption(form, panel), expectedText);
    }

    void regionWithoutRevenueShowsEmptyPercentages()
    {
        TfrmIndiResult* form = open(RefreshServer::kZeroRevenue);
        QVERIFY(form->LastActivateCompleted());
        QCOMPARE(rowTexts(form, 1), (QStringList{"AAA", "1 M", "42%", "40%", "10%", "8%"}));
        QCOMPARE(rowTexts(form, 2), (QStringList{"ZER", "0 M", "%", "%", "%", "%"}));
        // A revenue of 0 is a figure: its target of 0 keeps the reset range with empty zones, the needle rests
        // at the dial's left end, and 0 against a target of 0 has met it. Empty percentages are not judged.
        QCOMPARE(dial(form, "indicFatR2"), QStringLiteral("0.5..1.5 @0.5 neutral/neutral"));
        QCOMPARE(zones(form, "indicFatR2"), QStringLiteral("0x505050 0-0, 0x505050 0-0, 0x505050 0-0"));
        QCOMPARE(dial(form, "indicConsR2"), QStringLiteral("20..60 @20 grey/grey"));
        QCOMPARE(dial(form, "indicMDOR2"), QStringLiteral("22.5..67.5 @22.5 grey/grey"));
        QCOMPARE(dial(form, "IndicResultR2"), QStringLiteral("2.5..7.5 @2.5 grey/grey"));
    }

    void monthWithoutTotalShowsEmptyTotals()
    {
        TfrmIndiResult* form = open(RefreshServer::kOneRegion);
        QVERIFY(form->LastActivateCompleted());
        comeBack(RefreshServer::kNoFigures);
        QVERIFY(form->LastActivateCompleted());
        QCOMPARE(m_messages->messages, QStringList());
        QVERIFY(form->Data()->cdsIndicadores->IsEmpty());
        QVERIFY(!form->Data()->cdsIndicadores->Filtered());

        QCOMPARE(caption(form, "lblTitulo"),
                 QStringLiteral("BI Business Intelligence - Resultados Operacionais  (Junho/2008)"));
        QCOMPARE(caption(form, "lblQtFiliais"), QStringLiteral("Quantidade de Unidades:  "));
        QCOMPARE(caption(form, "lblDtAtu"), QString::fromUtf8("Última Atualização : "));
        QCOMPARE(totalTexts(form), (QStringList{" M", "%", "%", "%", "%"}));
        QCOMPARE(caption(form, "lblAviso"), QStringLiteral("Sem dados para Junho/2008"));
        // Nothing to judge: grey needles at the minimum, April's range not kept (a fresh window's instead).
        QCOMPARE(dial(form, "indicFatTotal"), QStringLiteral("0..75 @0 grey/grey"));
        QCOMPARE(zones(form, "indicFatTotal"), QStringLiteral("red 0-0, yellow 0-0, green 0-0"));
        QCOMPARE(dial(form, "indicConsTotal"), QStringLiteral("20..60 @20 grey/grey"));
        QCOMPARE(dial(form, "IndicResultR1"), QStringLiteral("2.5..7.5 @2.5 grey/grey"));
        // April's region is not this month's.
        QCOMPARE(rowTexts(form, 1), (QStringList{"", "", "", "", "", ""}));
    }

    // Where the pointer rests on a figure, its verdict in a word beside the colour, with the target it was
    // judged by, or the words that no budget was set.
    void tooltipsSayTheVerdictInWords_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("company, budget") << "pnlIndicFatTotal" << QStringLiteral("situação: vermelho (meta 10,00 M · −20,0 %)");
        QTest::newRow("company, rule") << "pnlIndicConsTotal" << QStringLiteral("situação: amarelo (meta 40,0% · +3,0 p.p.)");
        QTest::newRow("region five") << "pnlIndicConsR5" << QStringLiteral("situação: vermelho (meta 40,0% · +10,0 p.p.)");
        QTest::newRow("region without budget") << "pnlIndicFatR1" << QStringLiteral("situação: verde (sem meta definida)");
    }
    void tooltipsSayTheVerdictInWords()
    {
        QFETCH(QString, panel);
        QFETCH(QString, verdict);
        TfrmIndiResult* form = open(RefreshServer::kFiveRegions);
        const QString tip = form->FindComponentAs<QWidget>(panel)->toolTip();
        QCOMPARE(tip.startsWith(QStringLiteral("situação: ")) ? tip.section(QLatin1Char('\n'), 0, 0) : QString(), verdict);
    }

    void failureWithNothingShownSaysSoAndJudgesNothing()
    {
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        // What the window shows behind the error box, while the box is open.
        QStringList behind;
        const MessagePresenter recorder = CurrentMessagePresenter();
        SetMessagePresenter([this, &behind, recorder](MessageKind kind, const QString& text) {
            behind = totalTexts(m_form) << dial(m_form, "indicConsTotal").section(' ', 2)
                                        << dial(m_form, "IndicResultR1").section(' ', 2);
            recorder(kind, text);
        });
        TfrmIndiResult* form = open(RefreshServer::kFiveRegions);
        SetMessagePresenter(recorder);
        QCOMPARE(behind, (QStringList{"", "", "", "", "", "grey/grey", "grey/grey"}));
        QCOMPARE(m_messages->messages.size(), 1);
        QVERIFY(!form->LastActivateCompleted());
        QCOMPARE(caption(form, "lblAviso"), QStringLiteral("Sem dados: ") + m_messages->messages.first());
        QCOMPARE(caption(form, "lblTitulo"), QStringLiteral("BI Business Intelligence - Resultados Operacionais "));
        QCOMPARE(totalTexts(form), (QStringList{"", "", "", "", ""}));
        QCOMPARE(dial(form, "indicConsTotal").section(' ', 2), QStringLiteral("grey/grey"));
        QCOMPARE(dial(form, "indicFatR3").section(' ', 2), QStringLiteral("grey/grey"));
        // The server is back: the month replaces the notice.
        m_server.useIt();
        comeBack(RefreshServer::kFiveRegions);
        QVERIFY(form->LastActivateCompleted());
        QCOMPARE(caption(form, "lblAviso"), QString());
        QCOMPARE(rowTexts(form, 1).first(), QStringLiteral("AAA"));
    }

    void offDialFiguresPinTheNeedleAtTheNearerEnd()
    {
        TfrmIndiResult* form = open(RefreshServer::kFiveRegions);
        comeBack(RefreshServer::kOffDial);
        QVERIFY(form->LastActivateCompleted());
        // The panels keep the true figures; the needles rest at the dial's ends in those ends' colours.
        QCOMPARE(totalTexts(form), (QStringList{"1 M", "40%", "46%", "4%", "10%"}));
        QCOMPARE(dial(form, "IndicResultTotal"), QStringLiteral("2.5..7.5 @7.5 green/green"));
        QCOMPARE(dial(form, "indicDespeTotal"), QStringLiteral("7.5..22.5 @7.5 green/green"));
        QCOMPARE(dial(form, "IndicResultR1"), QStringLiteral("2.5..7.5 @7.5 green/green"));
        QCOMPARE(dial(form, "indicDespeR1"), QStringLiteral("7.5..22.5 @7.5 green/green"));
    }

    void failedFetchKeepsTheTitleWithItsFigures()
    {
        // A server of its own, whose database loses a table once the first month is on screen.
        RefreshServer failing;
        QString error;
        QVERIFY2(failing.start(&error), qPrintable(error));
        failing.useIt();
        TfrmIndiResult* form = open(RefreshServer::kOneRegion);
        QVERIFY(form->LastActivateCompleted());
        const QString title = caption(form, "lblTitulo");
        QVERIFY(title.contains(QStringLiteral("Abril/2008")));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("breaker"));
            db.setDatabaseName(failing.databasePath());
            QVERIFY(db.open());
            QVERIFY(db.exec(QStringLiteral("DROP TABLE filial")).lastError().type() == QSqlError::NoError);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("breaker"));

        comeBack(RefreshServer::kFiveRegions);
        QCOMPARE(m_messages->messages.size(), 1);
        QVERIFY(!form->LastActivateCompleted());
        QCOMPARE(caption(form, "lblTitulo"), title);
        QCOMPARE(rowTexts(form, 1), (QStringList{"CON", "12,5 M", "42%", "30%", "10%", "18%"}));
        QVERIFY(failing.stop());
    }

    void unreachableServerAbandonsTheRefreshAndKeepsTheData()
    {
        TfrmIndiResult* form = open(RefreshServer::kFiveRegions);
        QVERIFY(form->LastActivateCompleted());
        QList<QStringList> before;
        for (TClientDataSet* cds :
             {form->Data()->cdsIndicadores, form->Data()->cdsTop10, form->Data()->cdsBottom10, form->Data()->cdsGrafPizza, form->Data()->cdsDiasEstoque})
            before << recordsOf(cds);
        QVERIFY(!before.first().isEmpty());
        const QString title = caption(form, "lblTitulo");

        // Nothing listens on port 1.
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        comeBack(RefreshServer::kThreeRegions);
        QCOMPARE(m_messages->messages,
                 QStringList{QString::fromUtf8("Não foi possível conectar ao servidor de aplicação 127.0.0.1:1: a conexão "
                                               "foi recusada (não há servidor em execução nesse endereço).")});
        QVERIFY(!form->LastActivateCompleted());
        QVERIFY(!form->Data()->netIndicResult->Connected());
        QList<QStringList> after;
        for (TClientDataSet* cds :
             {form->Data()->cdsIndicadores, form->Data()->cdsTop10, form->Data()->cdsBottom10, form->Data()->cdsGrafPizza, form->Data()->cdsDiasEstoque})
            after << recordsOf(cds);
        QCOMPARE(after, before);
        QCOMPARE(caption(form, "lblTitulo"), title);
        QCOMPARE(rowTexts(form, 5), (QStringList{"EEE", "1,9 M", "50%", "30%", "16%", "4%"}));
    }

    // One window shown month after month must show, each time, what the browser shows for that month: no
    // rule of one face may leave an earlier month's picture where the other draws this one's.
    void everyMonthInOneWindowShowsWhatTheBrowserShows()
    {
        ServerProcess browserFace;
        QString error;
        QVERIFY2(browserFace.start({"--db", m_server.databasePath(), "--http", "127.0.0.1:0"}, &error), qPrintable(error));
        const auto differences = [&](const QDate& month) {
            httplib::Client client("127.0.0.1", browserFace.httpPort());
            const auto r = client.Get("/api/cockpit?month=" + month.toString(QStringLiteral("yyyy-MM")).toStdString());
            if (!r || r->status != 200)
                return QStringLiteral("o navegador não recebeu %1").arg(month.toString(QStringLiteral("yyyy-MM")));
            // The browser's page in the desktop's words, against what the window shows of it.
            const QJsonObject shown = PageInDesktopNames(QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object());
            QStringList diff;
            JsonDifferences(DesktopPart(ExportCockpit(m_form, {}), shown), shown, QStringLiteral("$"), diff);
            return diff.join(QLatin1Char('\n'));
        };
        open(RefreshServer::kFiveRegions);
        QCOMPARE(differences(RefreshServer::kFiveRegions), QString());
        comeBack(RefreshServer::kThreeRegions);
        QCOMPARE(differences(RefreshServer::kThreeRegions), QString());
        comeBack(RefreshServer::kNoFigures);
        QCOMPARE(differences(RefreshServer::kNoFigures), QString());
        // A failed fetch leaves June on screen, under June's title; only the notice says that they are old.
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        comeBack(RefreshServer::kFiveRegions);
        QVERIFY(!m_form->LastActivateCompleted());
        const QStringList stale = differences(RefreshServer::kNoFigures).split(QLatin1Char('\n'));
        QCOMPARE(stale.size(), 1);
        QVERIFY2(stale.first().startsWith(QStringLiteral("$.labels.lblAviso")), qPrintable(stale.first()));
        QVERIFY(caption(m_form, "lblAviso").startsWith(QStringLiteral("Atualização falhou às ")));
        QVERIFY(browserFace.stop());
    }

    // PageDown/PageUp and Alt+arrows step through the months in the same window, whichever grid has the focus.
    void pageKeysShowTheMonthsBesideInTheSameWindow()
    {
        TfrmIndiResult* form = open(RefreshServer::kFiveRegions);
        QWidget* grid = ComponentOf<TDBGrid>(form, "dbgTop10");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_PageDown);
        QCOMPARE(caption(form, "lblTitulo"), QString::fromUtf8("BI Business Intelligence - Resultados Operacionais  (Fevereiro/2008)"));
        QCOMPARE(rowTexts(form, 4), (QStringList{"", "", "", "", "", ""}));
        QTest::keyClick(grid, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(caption(form, "lblTitulo"), QString::fromUtf8("BI Business Intelligence - Resultados Operacionais  (Janeiro/2008)"));
        QCOMPARE(form->ActivateCount(), 3);
        QVERIFY(form->LastActivateCompleted());
    }

    void escapeClosesTheDashboard_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Escape on dbgBottom10") << "dbgBottom10" << int(Qt::Key_Escape) << QString(QChar(27)) << true;
        QTest::newRow("Escape on the window") << "" << int(Qt::Key_Escape) << QString(QChar(27)) << true;
        QTest::newRow("Enter on dbgBottom10") << "dbgBottom10" << int(Qt::Key_Return) << "\r" << false;
        QTest::newRow("letter on dbgBottom10") << "dbgBottom10" << int(Qt::Key_A) << "a" << false;
        QTest::newRow("Enter on the window") << "" << int(Qt::Key_Return) << "\r" << false;
        QTest::newRow("letter on the window") << "" << int(Qt::Key_A) << "a" << false;
    }
    void escapeClosesTheDashboard()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(bool, closes);

        // Opened as the user opens it: the month dialog confirmed with January 2008.
        WhenModal([](QWidget* w) {
            auto* dialog = qobject_cast<TfrmFiltroIndicResult*>(w);
            QVERIFY(dialog);
            dialog->depData->SetDate(DateTimeUtil::fromDate(RefreshServer::kFiveRegions));
            dialog->sbtConfirma->Click();
        });
        CriaIndicResult();
        m_form = frmIndiResult;
        TfrmIndiResult* form = m_form;
        QVERIFY(form && form->isVisible());
        QVERIFY(form->LastActivateCompleted());
        QCOMPARE(Application()->ActiveForm(), form);
        QVERIFY(form->Data()->netIndicResult->Connected());

        QWidget* receiver = target.isEmpty() ? static_cast<QWidget*>(form) : form->FindComponentAs<QWidget>(target);
        QVERIFY(receiver);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(receiver, &press);

        QCOMPARE(form->isVisible(), !closes);
        QCOMPARE(form->Data()->netIndicResult->Connected(), !closes);
        QCOMPARE(form->DeactivateCount(), closes ? 1 : 0);
        // Hidden, not destroyed: the module's global still names it and the application still owns it.
        QCOMPARE(frmIndiResult, form);
        QVERIFY(Application()->OwnedWindows().contains(form));
        QCOMPARE(m_messages->messages, QStringList());
        if (!closes)
            form->Close();
        frmIndiResult = nullptr;
    }
};

QTEST_MAIN(TestRefresh)
#include "tst_refresh.moc"
