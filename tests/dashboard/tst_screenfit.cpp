// Runs under Xvfb with openbox on a screen of 1366x768 and of 1920x1080 (KPD_XVFB_SCREEN): the dashboard
// opens scaled to the screen, whole and centred, every component at its stored place times one factor
// and its texts drawn at the scaled size. The expected rectangles are worked out by hand from the .ui's:
// the content's bounds are 1108x779 (the components from x 8 to 1100, the time of the refresh the rightmost,
// and the left margin of 8 again on the right); the window takes them times the screen's factor, rounded,
// and its content the factor of that.
#include "hostfunctions.h"
#include "tapplication.h"
#include "testsupport.h"
#include "tfrmindiresult.h"
#include "tfrmregiao.h"
#include "tlabel.h"

#include <QHeaderView>
#include <QScreen>
#include <QTableView>
#include <QtTest>

class TestScreenFit : public QObject
{
    Q_OBJECT
    TfrmIndiResult* form = nullptr;
    MessageRecorder* recorder = nullptr;

    static QSize screenSize() { return QGuiApplication::primaryScreen()->size(); }

private slots:
    void initTestCase()
    {
        QVERIFY2(screenSize() == QSize(1366, 768) || screenSize() == QSize(1920, 1080),
                 "run under tests/with-wm.sh with KPD_XVFB_SCREEN=1366x768x24 or 1920x1080x24");
        // Nothing listens on port 1: the refresh fails at once, and the layout is all this test looks at.
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        recorder = new MessageRecorder;
        Application()->SetFit(TApplication::WindowFit::Screen);
        form = new TfrmIndiResult;
        form->Show();
        QVERIFY(form->isVisible());
    }
    void cleanupTestCase()
    {
        delete form;
        delete recorder;
        Application()->SetFit(TApplication::WindowFit::Stored);
    }

    void shouldOpenWholeAndCentredOnTheScreen()
    {
        const QRect screen = form->screen()->availableGeometry();
        QVERIFY(screen.contains(form->frameGeometry()));
        // 1108x779 times the smaller of the two ratios of the screen's sides to the content's.
        QTRY_COMPARE(form->size(), screenSize().width() == 1366 ? QSize(1092, 768) : QSize(1536, 1080));
        // No empty third: the lists on the right end near the window's right edge.
        const QWidget* rightmost = form->FindComponentAs<QWidget>(QStringLiteral("dbgAtrasaLanca"));
        QVERIFY2(rightmost->geometry().right() > form->width() * 0.9, qPrintable(QString::number(rightmost->geometry().right())));
        const QRect g = form->geometry();
        QVERIFY(qAbs((g.left() - screen.left()) - (screen.right() - g.right())) <= 1);
        QVERIFY(qAbs((g.top() - screen.top()) - (screen.bottom() - g.bottom())) <= 1);
    }

    void shouldKeepEveryComponentInProportion_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        if (screenSize().width() == 1366) {
            QTest::newRow("indicFatTotal") << "indicFatTotal" << QRect(113, 71, 106, 53);
            QTest::newRow("indicMDOR1") << "indicMDOR1" << QRect(468, 149, 67, 33);
            QTest::newRow("grafFatReg") << "grafFatReg" << QRect(126, 579, 224, 189);
            QTest::newRow("pnlTitulo") << "pnlTitulo" << QRect(0, 0, 1092, 37);
        } else {
            QTest::newRow("indicFatTotal") << "indicFatTotal" << QRect(159, 100, 149, 75);
            QTest::newRow("indicMDOR1") << "indicMDOR1" << QRect(658, 209, 95, 47);
            QTest::newRow("grafFatReg") << "grafFatReg" << QRect(177, 814, 315, 266);
            QTest::newRow("pnlTitulo") << "pnlTitulo" << QRect(0, 0, 1536, 53);
        }
    }
    void shouldKeepEveryComponentInProportion()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        auto* w = form->FindComponentAs<QWidget>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), geometry);
    }

    void shouldDrawTextsAtTheScaledSize()
    {
        // 12 points at 96 dpi are 16 pixels; 16 times the factor, rounded.
        const int expected = screenSize().width() == 1366 ? 16 : 22;
        QCOMPARE(form->FindComponentAs<TLabel>(QStringLiteral("lblFaturamento"))->font().pixelSize(),
                 expected);
    }

    // The header's texts, each in its own place at the scaled size: none over another, none past the
    // header's width (the content's) or height. The window opened against
    // no server, so its first refresh failed; the other rows put a month's texts where a refresh would.
    void shouldKeepTheHeadersTextsApart_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("notice");
        const QString title = QStringLiteral("BI Business Intelligence - Resultados Operacionais  (Dezembro/2026%1)");
        QTest::newRow("first open failed") << QString() << QString();
        QTest::newRow("outage after a partial month")
            << title.arg(QStringLiteral(" — parcial até 08/12")) << QStringLiteral("Atualização falhou às 14:35 — dados de 07/12 14:30");
        QTest::newRow("month without figures") << title.arg(QString()) << QStringLiteral("Sem dados para Dezembro/2026");
    }
    void shouldKeepTheHeadersTextsApart()
    {
        QFETCH(QString, title);
        QFETCH(QString, notice);
        auto* header = form->FindComponentAs<QWidget>(QStringLiteral("pnlTitulo"));
        if (!title.isEmpty()) {
            form->FindComponentAs<TLabel>(QStringLiteral("lblTitulo"))->SetCaption(title);
            form->FindComponentAs<TLabel>(QStringLiteral("lblAviso"))->SetCaption(notice);
            form->FindComponentAs<TLabel>(QStringLiteral("lblDtAtu"))->SetCaption(QStringLiteral("Última Atualização : 08/12/2026"));
            form->FindComponentAs<TLabel>(QStringLiteral("lblQtFiliais"))->SetCaption(QStringLiteral("Quantidade de Unidades:  60"));
            form->FindComponentAs<TLabel>(QStringLiteral("lblAtualizado"))->SetCaption(QStringLiteral("Atualizado às 14:30"));
        } else {
            QVERIFY(form->FindComponentAs<TLabel>(QStringLiteral("lblAviso"))->Caption().startsWith(QStringLiteral("Sem dados: ")));
        }
        const QRect visible = header->rect().intersected(form->rect());
        QList<QRect> taken;
        for (TLabel* label : header->findChildren<TLabel*>()) {
            if (label->Caption().isEmpty())
                continue;
            const QFontMetrics fm(label->font());
            // The text's own extent within the label: its width from the alignment, its line's height.
            QRect text(label->pos(), QSize(fm.horizontalAdvance(label->Caption()), fm.ascent() + fm.descent()));
            if (label->alignment() & Qt::AlignRight)
                text.moveRight(label->geometry().right());
            QVERIFY2(label->geometry().contains(text) && visible.contains(text),
                     qPrintable(QStringLiteral("%1 cortado: %2").arg(label->objectName()).arg(QDebug::toString(text))));
            for (const QRect& other : taken)
                QVERIFY2(!other.intersects(text), qPrintable(label->objectName() + QStringLiteral(" sobre outro texto")));
            taken << text;
        }
        QCOMPARE(taken.size(), title.isEmpty() ? 4 : 5);
    }

    // A region's window is drawn at its cockpit's scale: its texts no smaller than the cockpit's.
    void shouldScaleTheRegionWindowWithItsCockpit_data()
    {
        QTest::addColumn<QString>("region");
        QTest::addColumn<QString>("cockpit");
        QTest::newRow("heading") << "lblFaturamento" << "lblFaturamento";
        QTest::newRow("branches and lists") << "grdFiliais" << "dbgTop10";
        QTest::newRow("figures") << "pnlIndicFat" << "pnlIndicFatTotal";
    }
    void shouldScaleTheRegionWindowWithItsCockpit()
    {
        QFETCH(QString, region);
        QFETCH(QString, cockpit);
        TfrmRegiao window(form);
        window.ScaleDesign(form->DesignFactor());
        const int regionText = QFontInfo(window.FindComponentAs<QWidget>(region)->font()).pixelSize();
        QVERIFY2(regionText >= QFontInfo(form->FindComponentAs<QWidget>(cockpit)->font()).pixelSize(), qPrintable(QString::number(regionText)));
        if (auto* grid = window.FindComponentAs<QTableView>(region))
            QVERIFY(grid->verticalHeader()->defaultSectionSize() > grid->fontMetrics().height());
    }
};

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
