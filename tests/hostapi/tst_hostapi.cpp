#include "floattostr.h"
#include "hostfunctions.h"
#include "presentation.h"
#include "tdateeditplus.h"
#include "tmessages.h"
#include "tform.h"
#include "tscreen.h"
#include "exceptions.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QtTest>

class TestHostApi : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void shouldReturnTextAfterFirstBarWithTrailingBlanks()
    {
        TMessages msg;
        msg.SetMessages({QStringLiteral("REGIONAIS>5|Há mais de 5 regionais|ok"),
                         QStringLiteral("TITULO|BI Business Intelligence - Resultados Operacionais ")});
        QCOMPARE(msg.Msg(QStringLiteral("TITULO")), QStringLiteral("BI Business Intelligence - Resultados Operacionais "));
        QCOMPARE(msg.Msg(QStringLiteral("REGIONAIS>5")), QStringLiteral("Há mais de 5 regionais|ok"));
        QVERIFY(msg.Msg(QStringLiteral("TITU")).isEmpty());
    }

    void shouldNameMonthsInPortuguese_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("name");
        QTest::newRow("janeiro") << QDate(2008, 1, 1) << QStringLiteral("Janeiro");
        QTest::newRow("março") << QDate(2008, 3, 17) << QStringLiteral("Março");
        QTest::newRow("dezembro") << QDate(2026, 12, 31) << QStringLiteral("Dezembro");
    }
    void shouldNameMonthsInPortuguese()
    {
        QFETCH(QDate, date);
        QFETCH(QString, name);
        QCOMPARE(NomeMes(DateTimeUtil::fromDate(date) + 0.75), name);
    }

    void shouldCountDaysFromTheHostEpoch()
    {
        QCOMPARE(DateTimeUtil::fromDate(QDate(2008, 3, 1)), 39508.0);
        QCOMPARE(DateTimeUtil::toDate(39524.5), QDate(2008, 3, 17));
        QCOMPARE(DateTimeUtil::firstDayOfMonth(39524.5), 39508.0);
    }

    void shouldTreatBlankTextAsEmpty_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("empty");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("blanks") << QStringLiteral("   ") << true;
        QTest::newRow("entry") << QStringLiteral(" 1") << false;
    }
    void shouldTreatBlankTextAsEmpty()
    {
        QFETCH(QString, text);
        QFETCH(bool, empty);
        QCOMPARE(EmptyString(text), empty);
    }

    void shouldWriteGeneralNumberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("decimal comma") << 12.5 << QStringLiteral("12,5");
        QTest::newRow("integer") << 42.0 << QStringLiteral("42");
        QTest::newRow("zero") << 0.0 << QStringLiteral("0");
        QTest::newRow("negative") << -10.25 << QStringLiteral("-10,25");
        QTest::newRow("15 digits") << 0.1 + 0.2 << QStringLiteral("0,3");
        QTest::newRow("small fixed") << 0.00001 << QStringLiteral("0,00001");
        QTest::newRow("tiny exponent") << 0.000009 << QStringLiteral("9E-06");
        QTest::newRow("15-digit integer") << 999999999999999.0 << QStringLiteral("999999999999999");
        QTest::newRow("16-digit integer") << 1234567890123456.0 << QStringLiteral("1,23456789012346E+15");
    }
    void shouldWriteGeneralNumberText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(FloatToStr(value), text);
    }

    // A name loaded by someone else is shown in a spreadsheet as text, never run; figures stay numbers.
    void shouldWriteSpreadsheetCellsThatRunNothing_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("link") << QVariant(QStringLiteral("=HYPERLINK(\"http://ev.il\";\"x\")"))
                              << QStringLiteral("\"'=HYPERLINK(\"\"http://ev.il\"\";\"\"x\"\")\"");
        QTest::newRow("command") << QVariant(QStringLiteral("=cmd|' /C calc'!A0")) << QStringLiteral("'=cmd|' /C calc'!A0");
        QTest::newRow("plus") << QVariant(QStringLiteral("+1+1")) << QStringLiteral("'+1+1");
        QTest::newRow("minus") << QVariant(QStringLiteral("-2+3")) << QStringLiteral("'-2+3");
        QTest::newRow("at") << QVariant(QStringLiteral("@SUM(A1)")) << QStringLiteral("'@SUM(A1)");
        QTest::newRow("tab") << QVariant(QStringLiteral("\t=1")) << QStringLiteral("'\t=1");
        QTest::newRow("carriage return") << QVariant(QStringLiteral("\r=1")) << QStringLiteral("\"'\r=1\"");
        QTest::newRow("plain name") << QVariant(QStringLiteral("Recife")) << QStringLiteral("Recife");
        QTest::newRow("sign inside") << QVariant(QStringLiteral("Sul-1")) << QStringLiteral("Sul-1");
        QTest::newRow("negative figure") << QVariant(-12.5) << QStringLiteral("-12,5");
        QTest::newRow("negative integer") << QVariant(qint64(-3)) << QStringLiteral("-3");
    }
    void shouldWriteSpreadsheetCellsThatRunNothing()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, field);
        QCOMPARE(CsvText({QStringLiteral("=Filial")}, {{value}}), "\xEF\xBB\xBF'=Filial\r\n" + field.toUtf8() + "\r\n");
    }

    void shouldApplyDisplayFormatsWithoutScaling_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("percent literal") << QStringLiteral("#0.0%") << 12.34 << QStringLiteral("12,3%");
        QTest::newRow("one decimal") << QStringLiteral("#0.0") << 45.0 << QStringLiteral("45,0");
        QTest::newRow("below one") << QStringLiteral("#0.0") << 0.04 << QStringLiteral("0,0");
        QTest::newRow("no group separator") << QStringLiteral("#0.0") << 12345.67 << QStringLiteral("12345,7");
        QTest::newRow("negative") << QStringLiteral("#0.0%") << -3.25 << QStringLiteral("-3,3%");
    }
    void shouldApplyDisplayFormatsWithoutScaling()
    {
        QFETCH(QString, format);
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(FormatFloat(format, value), text);
    }

    void shouldReportDateEditorValidity_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("blank");
        QTest::newRow("cleared") << QString() << true << true;
        QTest::newRow("valid") << QStringLiteral("17032026") << true << false;
        QTest::newRow("impossible") << QStringLiteral("31022026") << false << false;
        QTest::newRow("incomplete") << QStringLiteral("1703") << false << false;
    }
    void shouldReportDateEditorValidity()
    {
        QFETCH(QString, typed);
        QFETCH(bool, valid);
        QFETCH(bool, blank);
        TDateEditPlus edit;
        edit.SetDate(DateTimeUtil::fromDate(QDate(2020, 5, 5)));
        edit.Clear();
        edit.show();
        edit.SetFocus();
        QTest::keyClicks(&edit, typed);
        QCOMPARE(edit.IsDateValid(), valid);
        QCOMPARE(EmptyString(edit.Text()), blank);
    }

    void shouldGiveFirstDayOfMonthWithoutTime()
    {
        TDateEditPlus edit;
        edit.SetDate(DateTimeUtil::fromDate(QDate(2026, 3, 17)) + 0.6);
        QCOMPARE(edit.Text(), QStringLiteral("17/03/2026"));
        QCOMPARE(edit.GetDate(), DateTimeUtil::fromDate(QDate(2026, 3, 17)));
        QCOMPARE(edit.GetPrimDia(), DateTimeUtil::fromDate(QDate(2026, 3, 1)));
    }

    void shouldStepTheSectionUnderTheCursor()
    {
        TDateEditPlus edit;
        edit.SetDate(DateTimeUtil::fromDate(QDate(2026, 1, 31)));
        QLineEdit* line = edit.findChild<QLineEdit*>();
        line->setCursorPosition(4); // month
        edit.stepBy(1);
        QCOMPARE(edit.Text(), QStringLiteral("28/02/2026"));
        line->setCursorPosition(8); // year
        edit.stepBy(-1);
        QCOMPARE(edit.Text(), QStringLiteral("28/02/2025"));
    }

    void shouldAbandonAfterShowingTheError()
    {
        MessageRecorder recorder;
        QVERIFY_THROWS_EXCEPTION(EAbort, MensErro(QStringLiteral("Falhou"), true));
        QCOMPARE(recorder.messages, QStringList{QStringLiteral("Falhou")});
    }

    void shouldReportServerFailureStatus_data()
    {
        QTest::addColumn<QVariant>("status");
        QTest::addColumn<bool>("fails");
        // Success is an integer 0, as docs/protocol.md defines it; nothing else passes.
        QTest::newRow("ok code") << QVariant(0) << false;
        QTest::newRow("ok code, 64 bits") << QVariant(qlonglong(0)) << false;
        QTest::newRow("null") << QVariant() << true;
        QTest::newRow("failure text") << QVariant(QStringLiteral("Banco indisponível")) << true;
        QTest::newRow("empty text") << QVariant(QString()) << true;
        QTest::newRow("failure code") << QVariant(7) << true;
        QTest::newRow("false") << QVariant(false) << true;
        QTest::newRow("zero of another kind") << QVariant(0.0) << true;
    }
    void shouldReportServerFailureStatus()
    {
        QFETCH(QVariant, status);
        QFETCH(bool, fails);
        MessageRecorder recorder;
        bool abandoned = false;
        try {
            CheckResultServ(status, true, 0);
        } catch (const EAbort&) {
            abandoned = true;
        }
        QCOMPARE(abandoned, fails);
        QCOMPARE(recorder.messages.size(), fails ? 1 : 0);
    }

    void shouldFindComponentsIgnoringCaseAfterChanges()
    {
        TForm form;
        auto* panel = new QWidget(&form);
        auto* gauge = new QWidget(panel);
        gauge->setObjectName(QStringLiteral("indicMDOR1"));
        QCOMPARE(form.FindComponent(QStringLiteral("indicMdoR1")), gauge);
        QCOMPARE(form.FindComponent(QStringLiteral("INDICMDOR1")), gauge);
        gauge->setObjectName(QStringLiteral("indicMDOR2"));
        QVERIFY(!form.FindComponent(QStringLiteral("indicMdoR1")));
        QCOMPARE(form.FindComponent(QStringLiteral("indicmdor2")), gauge);
        gauge->setParent(nullptr);
        QVERIFY(!form.FindComponent(QStringLiteral("indicMdoR2")));
        delete gauge;
        QVERIFY(!form.FindComponent(QStringLiteral("indicMdoR2")));
    }

    void shouldKeepOneOverrideCursorWhileBusy()
    {
        TScreen::SetCursor(crHourGlass);
        TScreen::SetCursor(crHourGlass);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        TScreen::SetCursor(crDefault);
        QVERIFY(!QGuiApplication::overrideCursor());
    }
};

QTEST_MAIN(TestHostApi)
#include "tst_hostapi.moc"
