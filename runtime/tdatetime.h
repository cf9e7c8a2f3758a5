#pragma once

#include <QDate>
#include <QDateTime>

// The host's date-time: whole days since 30 December 1899 plus the fraction of the day, counted as
// daycount.h counts it (before that day the fraction still runs forward from the day's midnight).
using TDateTime = double;

namespace DateTimeUtil {

QDate epoch();
TDateTime fromDate(const QDate& date);
TDateTime fromDateTime(const QDateTime& dateTime);
QDate toDate(TDateTime value);           // day part only
QDateTime toDateTime(TDateTime value);   // local time, millisecond resolution
TDateTime now();
TDateTime firstDayOfMonth(TDateTime value);

} // namespace DateTimeUtil
