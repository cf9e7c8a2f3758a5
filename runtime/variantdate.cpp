#include "variantdate.h"

#include <cmath>

namespace VariantDate {

namespace {
// 0001-01-01 and the day after 9999-12-31 in host date-time days.
constexpr double kMin = -693593.0;
constexpr double kEnd = 2958466.0;

// Before the epoch the day counts backwards and its fraction forwards: 1899-12-29 06:00 is -1.25.
TDateTime fromParts(const QDate& date, const QTime& time)
{
    const auto days = static_cast<double>(DateTimeUtil::epoch().daysTo(date));
    const double fraction = time.isValid() ? time.msecsSinceStartOfDay() / 86400000.0 : 0.0;
    return days < 0 ? days - fraction : days + fraction;
}

} // namespace

QDateTime ToQDateTime(TDateTime value)
{
    if (!std::isfinite(value) || value < kMin || value >= kEnd)
        return {};
    const QDate date = DateTimeUtil::toDate(value);
    // Before the epoch the fraction counts forward from the day, as the host does it.
    const double fraction = std::fabs(value - std::trunc(value));
    const auto msecs = static_cast<int>(std::llround(fraction * 86400000.0));
    if (msecs >= 86400000) // rounds up into the next day
        return QDateTime(date.addDays(1), QTime(0, 0), Qt::UTC);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(msecs), Qt::UTC);
}

QVariant FromDateTime(TDateTime value) { return QVariant(ToQDateTime(value)); }

bool ToDateTime(const QVariant& value, TDateTime* out)
{
    if (value.typeId() == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            return false;
        *out = fromParts(dt.date(), dt.time());
        return true;
    }
    if (value.typeId() == QMetaType::QDate) {
        const QDate d = value.toDate();
        if (!d.isValid())
            return false;
        *out = fromParts(d, QTime(0, 0));
        return true;
    }
    return false;
}

} // namespace VariantDate
