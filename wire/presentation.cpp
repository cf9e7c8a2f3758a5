#include "presentation.h"

#include "floattostr.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

const QHash<TColor, TColor>& PrintPalette()
{
    // 0x00BBGGRR. The zones' and the pies' colours, each darkened only as far as paper needs, so a slice
    // keeps its hue and the zones stay red, yellow and green.
    static const QHash<TColor, TColor> palette{
        {clBlack, clWhite},       {clWhite, clBlack},       {clRowGrey, 0xE8E8E8},
        {clRed, 0x0000C0},        {clYellow, 0x006D8A},     {clGray, 0x6E6E6E},
        {clGhostNeedle, 0x767676}, {0xFF00FF, 0xB000B0},
        {0x00FF00, 0x007A00},     {0x008080, 0x007070},     {0xC0C0C0, 0x5A5A5A},
        {0xFFFF00, 0x7A7A00},
    };
    return palette;
}

TColor PrintColor(TColor color) { return PrintPalette().value(color, color); }

TColor ScreenTextColor(TColor color)
{
    switch (color) {
    case clGreen: return 0x00B000;
    case clRed: return 0x4040FF;
    default: return color;
    }
}

const QLocale& BrazilLocale()
{
    static const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    return locale;
}

QString MonthName(int month)
{
    static const char* const names[] = {"Janeiro", "Fevereiro", "Março",    "Abril",   "Maio",     "Junho",
                                        "Julho",   "Agosto",    "Setembro", "Outubro", "Novembro", "Dezembro"};
    return month >= 1 && month <= 12 ? QString::fromUtf8(names[month - 1]) : QString();
}

QString KeyedText(const QStringList& lines, const QString& key)
{
    for (const QString& line : lines) {
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar >= 0 && QStringView(line).left(bar) == key)
            return line.mid(bar + 1);
    }
    return {};
}

double FieldFloat(const QVariant& value)
{
    if (value.isNull())
        return 0.0;
    bool ok = false;
    const double d = value.toDouble(&ok);
    return ok ? d : 0.0;
}

QString FieldText(const QVariant& value, TFieldType type, const QLocale& locale, const QString& format)
{
    if (value.isNull())
        return {};
    switch (type) {
    case TFieldType::ftFloat:
    case TFieldType::ftInteger:
        return format.isEmpty() ? FloatToStr(FieldFloat(value), locale) : FormatFloat(format, FieldFloat(value), locale);
    case TFieldType::ftDateTime: return locale.toString(value.toDateTime(), QStringLiteral("dd/MM/yyyy"));
    default: return value.toString();
    }
}

double ValueOnDial(double min, double max, double value)
{
    const bool usable = std::isfinite(min) && std::isfinite(max) && min != max && std::isfinite(max - min);
    if (usable && !std::isnan(value))
        return std::clamp(value, std::min(min, max), std::max(min, max));
    return value;
}

TColor PieSliceColor(int index, TColor seriesColor)
{
    static const TColor palette[] = {0x0000FF, 0x008000, 0x00FFFF, 0xFF0000, 0xFFFFFF, 0x808080, 0xFF00FF, 0x808000,
                                     0x800000, 0x000080, 0x00FF00, 0x008080, 0x800080, 0xC0C0C0, 0xFFFF00};
    constexpr int n = static_cast<int>(sizeof(palette) / sizeof(palette[0]));
    if (index <= 0)
        return seriesColor;
    // The series colour takes the palette's place of the first slice, so it is not repeated.
    int start = 0;
    for (int i = 0; i < n; ++i)
        if (palette[i] == seriesColor)
            start = i;
    return palette[(start + index) % n];
}

QList<double> PieFractions(const QList<double>& values)
{
    const auto drawn = [](double v) { return std::isfinite(v) && v > 0.0; };
    double largest = 0.0;
    for (double v : values)
        if (drawn(v))
            largest = std::max(largest, v);
    QList<double> out;
    out.reserve(values.size());
    double sum = 0.0;
    for (double v : values) {
        out.append(largest > 0.0 && drawn(v) ? v / largest : 0.0);
        sum += out.last();
    }
    if (sum > 0.0)
        for (double& f : out)
            f /= sum;
    return out;
}

bool StartsLikeFormula(QStringView text)
{
    static constexpr QStringView starts = u"=+-@\t\r";
    return !text.isEmpty() && starts.contains(text.front());
}

QByteArray CsvText(const QStringList& header, const QList<QList<QVariant>>& rows)
{
    static const QLocale decimalComma = [] {
        QLocale l = BrazilLocale();
        l.setNumberOptions(QLocale::OmitGroupSeparator);
        return l;
    }();
    const auto field = [](const QVariant& v) -> QString {
        if (v.isNull())
            return {};
        switch (v.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float: return FloatToStr(v.toDouble(), decimalComma);
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong: return QString::number(v.toLongLong());
        default: break;
        }
        QString text = v.toString();
        // A name such as =HYPERLINK(...) came from whoever loaded the figures; whoever opens the file must
        // not run it.
        if (StartsLikeFormula(text))
            text.prepend(QLatin1Char('\''));
        if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n')) ||
            text.contains(QLatin1Char('\r')))
            text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        return text;
    };
    QByteArray out("\xEF\xBB\xBF");
    const auto line = [&](const QList<QVariant>& values) {
        QStringList fields;
        for (const QVariant& v : values)
            fields << field(v);
        out += fields.join(QLatin1Char(';')).toUtf8() + "\r\n";
    };
    QList<QVariant> titles;
    for (const QString& h : header)
        titles << h;
    line(titles);
    for (const QList<QVariant>& row : rows)
        line(row);
    return out;
}
