// The reference-month dialog on its own: stored settings, validation and its two messages.
#include "modulestate.h"
#include "tbuttonflat.h"
#include "tdateeditplus.h"
#include "tfrmfiltroindicresult.h"
#include "testsupport.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QtTest>

namespace {
TfrmFiltroIndicResult* asDialog(QWidget* w) { return qobject_cast<TfrmFiltroIndicResult*>(w); }
}

class TestFiltroIndicResult : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        m_recorder = std::make_unique<MessageRecorder>();
    }
    void init() { m_recorder->messages.clear(); }
    void cleanupTestCase() { m_recorder.reset(); }

    void shouldRefuseBlankAndImpossibleDates_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("cleared") << QString() << QStringLiteral("Data deve ser Informada");
        QTest::newRow("impossible") << QStringLiteral("31022026") << QStringLiteral("Data Inválida");
    }
    void shouldRefuseBlankAndImpossibleDates()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        MessageRecorder& recorder = *m_recorder;
        dtData = 123.0;
        TfrmFiltroIndicResult dlg;
        bool focused = false;
        bool stillOpen = false;
        WhenModal([&](QWidget* w) {
            auto* d = asDialog(w);
            d->depData->Clear();
            d->depData->SetFocus();
            QTest::keyClicks(d->depData, typed);
            d->sbtConfirma->Click();
            focused = d->depData->hasFocus();
            stillOpen = d->isVisible() && d->ModalResult() == mrNone;
            d->sbtCancela->Click();
        });
        QCOMPARE(dlg.ShowModal(), int(mrCancel));
        QCOMPARE(recorder.messages, QStringList{message});
        QVERIFY(focused);
        QVERIFY(stillOpen);
        QCOMPARE(dtData, 123.0);
    }


    void shouldOpenOnTodayAndAcceptAtOnce()
    {
        MessageRecorder& recorder = *m_recorder;
        TfrmFiltroIndicResult dlg;
        QCOMPARE(dlg.depData->Text(), QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
        QCOMPARE(dlg.lblCodTela->text(), QStringLiteral("RVQ93101"));
        QCOMPARE(dlg.geometry().topLeft(), QPoint(539, 273));
        QCOMPARE(dlg.depData->geometry(), QRect(120, 21, 121, 21));
        QCOMPARE(dlg.depData->parentWidget(), dlg.grbFiltroPadrao);
        // The label reads whole and stays clear of the editor.
        QVERIFY(QFontMetrics(dlg.Label1->font()).horizontalAdvance(dlg.Label1->text()) <= dlg.Label1->width());
        QVERIFY(dlg.Label1->geometry().right() < dlg.depData->x());
        QCOMPARE(dlg.FindComponent(QStringLiteral("DEPDATA")), dlg.depData);
        WhenModal([](QWidget* w) { asDialog(w)->sbtConfirma->Click(); });
        QCOMPARE(dlg.ShowModal(), int(mrOk));
        QCOMPARE(dtData, DateTimeUtil::fromDate(QDate::currentDate()));
        QVERIFY(recorder.messages.isEmpty());
    }

private:
    std::unique_ptr<MessageRecorder> m_recorder;
};

QTEST_MAIN(TestFiltroIndicResult)
#include "tst_tfrmfiltroindicresult.moc"
