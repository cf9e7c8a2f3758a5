// Renders a sheet of dashboard gauges into a PNG for a look by eye: each row one target and direction,
// each column a value (below the range, in each zone, on a border, above the range), at both sizes.
// Usage: gauge_sheet <output.png>; a copy magnified four times is written beside it.

#include "gaugerules.h"
#include "tovergauge.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <cstdio>

namespace {

struct Row {
    const char* title;
    double target;
    bool higherIsBetter;
    std::vector<double> values;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gauge-sheet.png");

    const std::vector<Row> rows = {
        {"T 40, maior melhor", 40, true, {10, 22, 37, 40, 50, 60, 75}},
        {"T 40, maior pior", 40, false, {10, 30, 40, 42, 50, 60, 75}},
        {"T 5, maior melhor", 5, true, {2, 3, 4.5, 4.8, 5, 7.5, 9}},
        {"T -10, maior melhor", -10, true, {-20, -14, -10, -9.5, -7, -5, 0}},
        {"T 0 (faixa 0-75)", 0, true, {-5, 0, 5, 37.5, 75, 80, 100}},
    };
    const QSize sizes[2] = {QSize(107, 54), QSize(68, 34)};
    const int labelW = 130, cellW = 120, labelH = 14, cellH = 54 + labelH + 8;
    const int columns = 7;
    const int height = 2 * static_cast<int>(rows.size()) * cellH + 10;
    QImage sheet(labelW + columns * cellW, height, QImage::Format_RGB32);
    sheet.fill(Qt::black);

    QPainter painter(&sheet);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    painter.setFont(font);
    int y = 5;
    for (const QSize& size : sizes) {
        for (const Row& row : rows) {
            painter.setPen(Qt::white);
            painter.drawText(QRect(4, y, labelW - 8, size.height()), Qt::AlignVCenter | Qt::TextWordWrap,
                             QStringLiteral("%1\n%2x%3").arg(QString::fromUtf8(row.title)).arg(size.width())
                                 .arg(size.height()));
            for (size_t c = 0; c < row.values.size(); ++c) {
                TOverGauge gauge;
                gauge.resize(size);
                // As the window definition leaves it before the first refresh.
                gauge.SetMaxValue(75);
                gauge.SetNeedleCOlor(clWhite);
                gauge.SetNeedleHubCOlor(clWhite);
                ConfigureGaugeZones(&gauge, row.higherIsBetter, row.target);
                gauge.SetProgress(row.values[c]);
                ColorNeedleByZone(&gauge);

                const int x = labelW + static_cast<int>(c) * cellW;
                gauge.paint(painter, QRectF(QPointF(x, y), QSizeF(size)));
                painter.setPen(QColor(0xc0, 0xc0, 0xc0));
                painter.drawText(QRect(x, y + size.height() + 1, cellW, labelH), Qt::AlignLeft,
                                 QStringLiteral("v=%1 [%2..%3]").arg(row.values[c]).arg(gauge.MinValue())
                                     .arg(gauge.MaxValue()));
            }
            y += size.height() + labelH + 8;
        }
    }
    painter.end();
    sheet = sheet.copy(0, 0, sheet.width(), y + 5);

    if (!sheet.save(out)) {
        std::fprintf(stderr, "Não foi possível gravar %s\n", qPrintable(out));
        return 1;
    }
    const QFileInfo info(out);
    const QString big = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("-x4.png");
    sheet.scaled(sheet.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(big);
    std::printf("%s\n%s\n", qPrintable(out), qPrintable(big));
    return 0;
}
