#pragma once

#include "datapacket.h"

#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariant>

// How a figure, a colour, a month or a message is presented, written once for the desktop's components
// and the cockpit view the server computes: both faces link this library, so they cannot drift apart.

// Colours as the window definitions hold them: 0x00BBGGRR.
using TColor = int;

constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clGreen = 0x008000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clRowGrey = 0x1D1D1D;
constexpr TColor clGray = 0x808080;
// A figure with no target to be judged against: its needle and its text (never a zone's colour), and the
// zones of its dial.
constexpr TColor clNeutral = 0xFFFFFF;
constexpr TColor clNeutralZone = 0x505050;
// The needle of the month before, under the month's own.
constexpr TColor clGhostNeedle = 0xB0B0B0;
// The lines between a table's cells on the black windows.
constexpr TColor clGridLine = 0x333333;

// The print theme: a window's colour on a page. Black grounds turn white, white texts black, the rows'
// dark grey a light one, and every colour a needle, a zone, a slice, a swatch or a text draws with one dark
// enough to read on paper (4.5:1 on white at least; the screen's yellow is all but invisible there). Any
// other colour as it is. The page's own rules and error text besides.
TColor PrintColor(TColor color);
// Every colour PrintColor changes, the screen's to the page's.
const QHash<TColor, TColor>& PrintPalette();
// A zone's or a figure's colour as text on the desktop's dark grounds (black, the rows' grey): the zones'
// green and red lightened so they read at 4.5:1 on both; the others as they are.
TColor ScreenTextColor(TColor color);
constexpr TColor clPrintRule = 0xC0C0C0;
constexpr TColor clPrintError = 0x0000B0;

// The desktop's window background and window text, in the standard colour scheme.
constexpr TColor clWindow = 0xFFFFFF;
constexpr TColor clWindowText = 0x000000;

// The one locale of every text the cockpit writes: decimal comma, Portuguese names.
const QLocale& BrazilLocale();

// "Janeiro" .. "Dezembro"; empty outside 1 .. 12.
QString MonthName(int month);

// The text after the first '|' of the line whose key (the part before it) is `key`, blanks at its end
// included; empty when no line has that key.
QString KeyedText(const QStringList& lines, const QString& key);

// A field's value as text: empty for an empty value, numbers in the host's general number form with the
// locale's decimal separator (or in `format`, such as "#0.0%", when one is given), dates as dd/MM/yyyy,
// anything else as its own text.
QString FieldText(const QVariant& value, TFieldType type, const QLocale& locale, const QString& format = {});
// A field's value as a number: 0 for an empty value or one that is not a number.
double FieldFloat(const QVariant& value);

// Where a dial shows `value`: a value beyond a usable dial (finite ends that differ) rests at the nearer end,
// so the needle and the zone that colours it read that end. NaN and unusable dials leave it as it is.
double ValueOnDial(double min, double max, double value);

// A pie's slice colours: the series colour for the first slice, then the chart palette (without black, which
// would vanish on a black chart) from the series colour's place on.
TColor PieSliceColor(int index, TColor seriesColor);
// Each slice's share of the pie: only finite positive values are drawn; they are scaled by the largest first,
// so that a sum of huge values cannot overflow. All zero when nothing is drawn.
QList<double> PieFractions(const QList<double>& values);

// A table as Brazilian spreadsheets open it: UTF-8 with a byte order mark, ';' between fields, numbers
// (double or integer values) with a decimal comma and no grouping, texts quoted where they need it, lines
// ended by CR LF. Null values are empty fields. A text a spreadsheet would take for a formula
// (StartsLikeFormula) gets a single quote before it, so it is shown as the text it is.
QByteArray CsvText(const QStringList& header, const QList<QList<QVariant>>& rows);
// Whether a spreadsheet opening the text in a cell would run it as a formula: it starts with '=', '+', '-',
// '@', a tab or a carriage return.
bool StartsLikeFormula(QStringView text);
