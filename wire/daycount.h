#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

// The host's date-time as a number: days since 30 December 1899 plus the fraction of the day. Before that
// day the integer part still names the day, counting backwards, while the fraction counts the time forward
// from the day's midnight: 1899-12-29 06:00 is -1.25, not -0.75. The module and the application server
// both convert through here, so they cannot disagree on a date.
namespace DayCount {

QDate epoch();

// Whole days; an invalid date gives 0.
double fromDate(const QDate& date);
// The day and the time of day (an invalid time counts as midnight); an invalid date gives 0.
double fromDateTime(const QDate& date, const QTime& time);

// The day of a value: its integer part, whatever the sign. Invalid for a value that is not finite or lies
// beyond the dates QDate can hold.
QDate toDate(double value);
// The day and its time at millisecond resolution, with the given time spec; a fraction that rounds up to a
// whole day gives the next midnight. Invalid where toDate is.
QDateTime toDateTime(double value, Qt::TimeSpec spec);
// toDateTime as a wall-clock value (Qt::UTC, so no zone conversion moves it), for the years 1 to 9999
// only: anything else is invalid.
QDateTime toWallClock(double value);

} // namespace DayCount
