#include "tlabel.h"
#include "tpanel.h"

#include <QImage>
#include <QtTest>

class TstLabelPanel : public QObject
{
    Q_OBJECT
private slots:
    void labelShouldTakeTheWidthOfANewCaption()
    {
        QWidget parent;
        TLabel l(&parent);
        QFont f("Arial");
        f.setPixelSize(13);
        f.setBold(true);
        l.setFont(f);
        l.setGeometry(48, 163, 4, 16);
        l.SetCaption("NORDESTE");
        QCOMPARE(l.width(), QFontMetrics(f).horizontalAdvance("NORDESTE"));
        QCOMPARE(l.pos(), QPoint(48, 163));
        QCOMPARE(l.height(), 16);
    }

    void wrappingLabelShouldBreakAtBlanks()
    {
        TLabel l;
        QFont f("Arial");
        f.setPixelSize(13);
        l.setFont(f);
        l.setGeometry(46, 249, 4, 16);
        l.SetWordWrap(true);
        l.SetCaption("SAO PAULO");
        const QFontMetrics fm(f);
        QCOMPARE(l.width(), fm.horizontalAdvance("PAULO"));
        QVERIFY(l.height() >= 2 * fm.lineSpacing());
    }

    void panelShouldFollowItsParentsWidthWhenAlignedTop()
    {
        QWidget parent;
        parent.resize(1028, 753);
        TPanel p(&parent);
        p.setGeometry(0, 0, 1028, 38);
        p.SetAlign(TPanel::alTop);
        parent.show();
        parent.resize(1383, 779);
        QTRY_COMPARE(p.width(), 1383);
        parent.resize(800, 600);
        QTRY_COMPARE(p.geometry(), QRect(0, 0, 800, 38));
    }

    void panelShouldDrawItsCaptionAligned_data()
    {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<bool>("right");
        QTest::newRow("right") << int(Qt::AlignRight | Qt::AlignVCenter) << true;
        QTest::newRow("centre") << int(Qt::AlignCenter) << false;
    }
    void panelShouldDrawItsCaptionAligned()
    {
        QFETCH(int, alignment);
        QFETCH(bool, right);
        TPanel p;
        p.resize(107, 16);
        p.SetCaption("0,00 M");
        p.SetAlignment(Qt::Alignment(alignment));
        const QImage img = p.grab().toImage();
        int lo = INT_MAX, hi = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) != QColor(Qt::black)) {
                    lo = qMin(lo, x);
                    hi = qMax(hi, x);
                }
        QVERIFY(hi > 0);
        if (right)
            QVERIFY(hi >= 100 && lo > 50);
        else
            QVERIFY(qAbs((lo + hi) / 2 - 53) <= 3);
    }
};

QTEST_MAIN(TstLabelPanel)
#include "tst_labelpanel.moc"
