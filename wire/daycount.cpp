#include "daycount.h"

#include <cmath>

namespace DayCount {

namespace {
constexpr double kMsecsPerDay = 86400000.0;
// 0001-01-01 and the day after 9999-12-31.
constexpr double kFirstWallClockDay = -693593.0;
constexpr double kEndWallClockDay = 2958466.0;
// Well past the last day QDate can hold; keeps the conversion to an integer defined.
constexpr double kBeyondAnyDate = 1e12;
} // namespace

QDate epoch() { return QDate(1899, 12, 30); }

double fromDate(const QDate& date)
{
    if (!date.isValid())
        return 0.0;
    return static_cast<double>(epoch().daysTo(date));
}

double fromDateTime(const QDate& date, const QTime& time)
{
    if (!date.isValid())
        return 0.0;
    const double days = fromDate(date);
    const double fraction = time.isValid() ? time.msecsSinceStartOfDay() / kMsecsPerDay : 0.0;
    return days < 0 ? days - fraction : days + fraction;
}

QDate toDate(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= kBeyondAnyDate)
        return {};
    return epoch().addDays(static_cast<qint64>(std::trunc(value)));
}

QDateTime toDateTime(double value, Qt::TimeSpec spec)
{
    const QDate date = toDate(value);
    if (!date.isValid())
        return {};
    const double fraction = std::fabs(value - std::trunc(value));
    const auto msecs = static_cast<int>(std::llround(fraction * kMsecsPerDay));
    if (msecs >= kMsecsPerDay)
        return QDateTime(date.addDays(1), QTime(0, 0), spec);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(msecs), spec);
}

QDateTime toWallClock(double value)
{
    if (!std::isfinite(value) || value < kFirstWallClockDay || value >= kEndWallClockDay)
        return {};
    return toDateTime(value, Qt::UTC);
}

} // namespace DayCount
