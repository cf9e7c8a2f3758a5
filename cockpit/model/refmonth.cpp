#include "refmonth.h"

#include "presentation.h"

namespace cockpit {

RefMonth RefMonth::fromKey(QStringView key)
{
    if (key.size() != 7 || key[4] != QLatin1Char('-'))
        return {};
    for (int i : {0, 1, 2, 3, 5, 6})
        if (!key[i].isDigit() || key[i].unicode() > '9')
            return {};
    const int year = key.left(4).toInt();
    const int month = key.mid(5, 2).toInt();
    if (year < 1 || month < 1 || month > 12)
        return {};
    return RefMonth(year, month);
}

QString RefMonth::key() const
{
    return isValid() ? m_first.toString(QStringLiteral("yyyy-MM")) : QString();
}

QString RefMonth::title() const
{
    return isValid() ? MonthName(m_first.month()) + QLatin1Char('/') + QString::number(m_first.year()) : QString();
}

} // namespace cockpit
