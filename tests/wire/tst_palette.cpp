// Every colour a page or a dark window writes or marks with, read against its ground: 4.5:1 at least
// (the contrast ratio of WCAG 2, from the relative luminance of sRGB colours).
#include "presentation.h"

#include <QTest>
#include <cmath>

namespace {

double luminance(TColor color)   // 0x00BBGGRR
{
    const auto channel = [](int v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color & 0xFF) + 0.7152 * channel((color >> 8) & 0xFF) + 0.0722 * channel((color >> 16) & 0xFF);
}

double contrast(TColor a, TColor b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class TestPalette : public QObject {
    Q_OBJECT
private slots:
    void shouldReadAtFourAndAHalfToOneOnItsGround_data()
    {
        QTest::addColumn<int>("color");
        QTest::addColumn<int>("ground");
        // On paper: the zones, the needles of no figure and of the month before, a figure without a target,
        // the pies' slices and swatches (every colour of their palette), the error text.
        const int zones[] = {clRed, clYellow, clGreen};
        for (int zone : zones)
            QTest::addRow("page: zone %06x", zone) << PrintColor(zone) << PrintColor(clBlack);
        QTest::newRow("page: grey needle") << PrintColor(clGray) << PrintColor(clBlack);
        QTest::newRow("page: needle of the month before") << PrintColor(clGhostNeedle) << PrintColor(clBlack);
        QTest::newRow("page: figure without target") << PrintColor(clNeutral) << PrintColor(clBlack);
        for (int slice = 0; slice < 15; ++slice)
            QTest::addRow("page: slice %d", slice) << PrintColor(PieSliceColor(slice, clRed)) << PrintColor(clBlack);
        QTest::newRow("page: error") << int(clPrintError) << PrintColor(clBlack);
        // On the dark windows the colours are ours to choose in (the region window's figures), on black and
        // on the rows' grey stripes.
        for (int ground : {clBlack, clRowGrey}) {
            for (int zone : zones)
                QTest::addRow("screen: zone %06x on %06x", zone, ground) << ScreenTextColor(zone) << ground;
            QTest::addRow("screen: figure without target on %06x", ground) << ScreenTextColor(clNeutral) << ground;
        }
    }
    void shouldReadAtFourAndAHalfToOneOnItsGround()
    {
        QFETCH(int, color);
        QFETCH(int, ground);
        const double ratio = contrast(color, ground);
        QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1:1").arg(ratio, 0, 'f', 2)));
    }
};

QTEST_GUILESS_MAIN(TestPalette)
#include "tst_palette.moc"
