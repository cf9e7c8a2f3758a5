#pragma once

#include "tdatetime.h"

#include <QDateTime>
#include <QVariant>

// The host's date-time inside a QVariant, as the remote call client carries it: a QDateTime in Qt::UTC
// used as a plain wall-clock value (no time-zone conversion, so a midnight inside a daylight-saving gap of
// the local zone stays midnight), at millisecond resolution. Whole days convert exactly both ways.
namespace VariantDate {

// Years 1 to 9999; anything else (or NaN, infinities) gives an invalid QDateTime.
QDateTime ToQDateTime(TDateTime value);
QVariant FromDateTime(TDateTime value);
// The host date-time of a QDateTime or QDate held by `value`; false for anything else or an invalid date.
bool ToDateTime(const QVariant& value, TDateTime* out);

} // namespace VariantDate
