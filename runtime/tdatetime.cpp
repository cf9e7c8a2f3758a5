#include "tdatetime.h"

#include "daycount.h"

namespace DateTimeUtil {

QDate epoch() { return DayCount::epoch(); }

TDateTime fromDate(const QDate& date) { return DayCount::fromDate(date); }

TDateTime fromDateTime(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return 0.0;
    return DayCount::fromDateTime(dateTime.date(), dateTime.time());
}

QDate toDate(TDateTime value) { return DayCount::toDate(value); }

QDateTime toDateTime(TDateTime value) { return DayCount::toDateTime(value, Qt::LocalTime); }

TDateTime now() { return fromDateTime(QDateTime::currentDateTime()); }

TDateTime firstDayOfMonth(TDateTime value)
{
    const QDate d = toDate(value);
    return d.isValid() ? fromDate(QDate(d.year(), d.month(), 1)) : 0.0;
}

} // namespace DateTimeUtil
