#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

#include <array>

namespace cockpit {

// A reference month: the one form a month takes inside the cockpit. Its other forms (the wire's day count,
// the dialog's date, "AAAA-MM" in an address) are made and read only here or at those boundaries.
class RefMonth {
public:
    RefMonth() = default;   // no month
    // The month holding `day`; no month for an invalid date.
    explicit RefMonth(const QDate& day) : m_first(day.isValid() ? QDate(day.year(), day.month(), 1) : QDate()) {}
    RefMonth(int year, int month) : RefMonth(QDate(year, month, 1)) {}
    // "AAAA-MM" (exactly: no blanks, no day), years 1 to 9999; no month otherwise.
    static RefMonth fromKey(QStringView key);

    bool isValid() const { return m_first.isValid(); }
    QDate firstDay() const { return m_first; }
    QDate lastDay() const { return isValid() ? m_first.addMonths(1).addDays(-1) : QDate(); }
    int daysInMonth() const { return m_first.daysInMonth(); }
    bool contains(const QDate& day) const { return isValid() && day.isValid() && RefMonth(day) == *this; }

    QString key() const;     // "2024-03"
    QString title() const;   // "Março/2024"

    RefMonth previous() const { return RefMonth(m_first.addMonths(-1)); }
    RefMonth next() const { return RefMonth(m_first.addMonths(1)); }
    RefMonth yearBefore() const { return RefMonth(m_first.addYears(-1)); }

    // The months this month's figures are set beside: the month before and the same month a year before.
    std::array<RefMonth, 2> comparisons() const { return {previous(), yearBefore()}; }

    friend bool operator==(const RefMonth& a, const RefMonth& b) { return a.m_first == b.m_first; }
    friend bool operator!=(const RefMonth& a, const RefMonth& b) { return !(a == b); }
    friend bool operator<(const RefMonth& a, const RefMonth& b) { return a.m_first < b.m_first; }

private:
    QDate m_first;
};

} // namespace cockpit
