#pragma once

#include <QLocale>
#include <QString>

// The host's general number text: the shortest decimal form with at most 15 significant digits and the
// locale's decimal separator; exponent form once the integer part has more than 15 digits or the
// magnitude is below 0.00001 (zero excepted). NaN and infinities read "NAN", "INF" and "-INF".
QString FloatToStr(double value, const QLocale& locale = QLocale());

// Formats with a display format such as "#0.0%" or "#0.0": the digits after the point give the number
// of decimals, characters outside the number pattern are literals ('%' does not scale the value).
// Group separators only when the pattern has a ','.
QString FormatFloat(const QString& format, double value, const QLocale& locale = QLocale());
