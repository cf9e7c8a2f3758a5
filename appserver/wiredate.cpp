#include "wiredate.h"

#include <cmath>

namespace appserver {

namespace {
const QDate kEpoch(1899, 12, 30);
}

std::optional<QDate> WireDate::toDate(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
        return std::nullopt;
    // Before the epoch the fraction still counts forward from the day, so the day is the integer part.
    const QDate date = kEpoch.addDays(static_cast<qint64>(std::trunc(value)));
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return std::nullopt;
    return date;
}

double WireDate::fromDate(const QDate& date)
{
    return static_cast<double>(kEpoch.daysTo(date));
}

} // namespace appserver
