#pragma once

#include <QDate>

#include <optional>

namespace appserver {

/// Dates as they travel on the wire: days since 30 December 1899 plus the fraction of the day.
class WireDate {
public:
    /// The day of a wire date-time (the fraction is the time of day, whatever the sign), or nothing
    /// when the value is not a finite number within the years 1 to 9999.
    static std::optional<QDate> toDate(double value);
    static double fromDate(const QDate& date);
};

} // namespace appserver
