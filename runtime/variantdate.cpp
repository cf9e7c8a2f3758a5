#include "variantdate.h"

#include "daycount.h"

namespace VariantDate {

QDateTime ToQDateTime(TDateTime value) { return DayCount::toWallClock(value); }

QVariant FromDateTime(TDateTime value) { return QVariant(ToQDateTime(value)); }

bool ToDateTime(const QVariant& value, TDateTime* out)
{
    if (value.typeId() == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            return false;
        *out = DayCount::fromDateTime(dt.date(), dt.time());
        return true;
    }
    if (value.typeId() == QMetaType::QDate) {
        const QDate d = value.toDate();
        if (!d.isValid())
            return false;
        *out = DayCount::fromDate(d);
        return true;
    }
    return false;
}

} // namespace VariantDate
