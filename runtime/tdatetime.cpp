#include "tdatetime.h"

#include <cmath>

namespace DateTimeUtil {

QDate epoch() { return QDate(1899, 12, 30); }

TDateTime fromDate(const QDate& date)
{
    if (!date.isValid())
        return 0.0;
    return static_cast<double>(epoch().daysTo(date));
}

TDateTime fromDateTime(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return 0.0;
    const double day = fromDate(dateTime.date());
    const double fraction = dateTime.time().msecsSinceStartOfDay() / 86400000.0;
    return day + fraction;
}

QDate toDate(TDateTime value)
{
    if (!std::isfinite(value))
        return {};
    // Before the epoch the fraction counts forward from the day, as the host does it.
    const auto days = static_cast<qint64>(std::trunc(value));
    return epoch().addDays(days);
}

QDateTime toDateTime(TDateTime value)
{
    const QDate date = toDate(value);
    if (!date.isValid())
        return {};
    const double fraction = std::fabs(value - std::trunc(value));
    const int msecs = static_cast<int>(std::llround(fraction * 86400000.0)) % 86400000;
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(msecs));
}

TDateTime now() { return fromDateTime(QDateTime::currentDateTime()); }

TDateTime firstDayOfMonth(TDateTime value)
{
    const QDate d = toDate(value);
    return d.isValid() ? fromDate(QDate(d.year(), d.month(), 1)) : 0.0;
}

} // namespace DateTimeUtil
