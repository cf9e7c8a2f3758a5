#include "floattostr.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

QString FloatToStr(double value, const QLocale& locale)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0.0)
        return QStringLiteral("0");

    // Round to 15 significant digits first, so that the decision on the form sees the rounded value.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    // buf: [-]d.dddddddddddddde[+-]xx
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    QByteArray digits;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.append(*p);
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);

    const QString point = locale.decimalPoint();
    QString out;
    if (negative)
        out += QLatin1Char('-');
    if (exponent >= 15 || exponent < -5) {
        out += QLatin1Char(digits.at(0));
        if (digits.size() > 1)
            out += point + QString::fromLatin1(digits.mid(1));
        out += QStringLiteral("E%1%2").arg(exponent < 0 ? QLatin1Char('-') : QLatin1Char('+')).arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
        return out;
    }
    if (exponent >= 0) {
        QByteArray intPart = digits.left(exponent + 1);
        while (intPart.size() < exponent + 1)
            intPart.append('0');
        out += QString::fromLatin1(intPart);
        const QByteArray frac = digits.mid(exponent + 1);
        if (!frac.isEmpty())
            out += point + QString::fromLatin1(frac);
    } else {
        out += QLatin1Char('0') + point + QString(-exponent - 1, QLatin1Char('0')) + QString::fromLatin1(digits);
    }
    return out;
}

QString FormatFloat(const QString& format, double value, const QLocale& locale)
{
    int begin = -1, end = -1;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('#') || c == QLatin1Char('0') || c == QLatin1Char('.') || c == QLatin1Char(',')) {
            if (begin < 0)
                begin = i;
            end = i + 1;
        } else if (begin >= 0) {
            break;
        }
    }
    if (begin < 0)
        return format;
    const QString pattern = format.mid(begin, end - begin);
    const int dot = pattern.indexOf(QLatin1Char('.'));
    const int decimals = dot < 0 ? 0 : static_cast<int>(pattern.size() - dot - 1);
    // Setting an option copies the locale's data: kept per thread for the locale last asked for, since a
    // grid or a list formats thousands of figures in the same one.
    thread_local QLocale lastAsked, ungrouped;
    thread_local bool ready = false;
    if (!ready || !(lastAsked == locale)) {
        ready = true;
        lastAsked = locale;
        ungrouped = locale;
        ungrouped.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    }
    const QLocale& loc = pattern.contains(QLatin1Char(',')) ? locale : ungrouped;
    QString number = loc.toString(value, 'f', decimals);
    // No "-0,0": a value that rounds to zero is written without its sign.
    if (number.startsWith(QLatin1Char('-')) && number.mid(1) == loc.toString(0.0, 'f', decimals))
        number.remove(0, 1);
    return format.left(begin) + number + format.mid(end);
}
