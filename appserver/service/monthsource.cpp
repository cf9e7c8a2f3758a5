#include "monthsource.h"

#include "database.h"
#include "dailyrowssource.h"
#include "summarysource.h"

#include <QSet>

namespace appserver::figures {

std::unique_ptr<MonthSource> MonthSource::create(Database& db, bool summaries)
{
    if (summaries)
        return std::make_unique<SummarySource>(db);
    return std::make_unique<DailyRowsSource>(db);
}

QMap<cockpit::RefMonth, RegionSums> MonthSource::readTotals(const QString& sql, const QVariantList& params)
{
    QMap<cockpit::RefMonth, RegionSums> months;
    m_db.forEachRow(sql, params, [&](const Database::Row& row) {
        RegionSums& month = months[row.month(0)];
        Sums& r = month.regions[QString::fromUtf8(row.text(1)).trimmed()];
        r.branches += static_cast<int>(row.integer(2));
        r.revenue += row.real(3);
        r.consumption += row.real(4);
        r.labour += row.real(5);
        r.expenses += row.real(6);
    });
    for (RegionSums& month : months) {
        for (const Sums& r : month.regions) {
            month.total.branches += r.branches;
            month.total.revenue += r.revenue;
            month.total.consumption += r.consumption;
            month.total.labour += r.labour;
            month.total.expenses += r.expenses;
        }
    }
    return months;
}

std::vector<Branch> MonthSource::readBranchRegions(const QString& sql, const QVariantList& params)
{
    std::vector<Branch> branches;
    m_db.forEachRow(sql, params, [&](const Database::Row& row) {
        Branch b;
        b.code = row.integer(0);
        b.region = QString::fromUtf8(row.text(1)).trimmed();
        branches.push_back(std::move(b));
    });
    return branches;
}

QMap<QString, double> MonthSource::readRevenueUpTo(const QString& sql, const cockpit::RefMonth& month, int lastDay)
{
    QSet<int> days;
    QMap<QString, double> sums;
    double company = 0;
    m_db.forEachRow(sql, {m_db.dateValue(month), m_db.dateValue(month.next())}, [&](const Database::Row& row) {
        const int day = row.date(0).day();
        days.insert(day);
        double& region = sums[QString::fromUtf8(row.text(1)).trimmed()];
        if (day <= lastDay) {
            region += row.real(2);
            company += row.real(2);
        }
    });
    if (days.size() != month.daysInMonth())
        return {};
    sums.insert(QLatin1String(cockpit::kCompanyCode), company);
    return sums;
}

std::vector<Branch> MonthSource::readBranchSums(const QString& sql, const QVariantList& params)
{
    std::vector<Branch> branches;
    m_db.forEachRow(sql, params, [&](const Database::Row& row) {
        Branch b;
        b.code = row.integer(0);
        b.name = QString::fromUtf8(row.text(1)).trimmed();
        b.revenue = row.real(2);
        b.consumption = row.real(3);
        b.labour = row.real(4);
        b.expenses = row.real(5);
        branches.push_back(std::move(b));
    });
    return branches;
}

std::optional<double> resultShare(const Branch& b)
{
    return rawPercent(b.result(), b.revenue);
}

std::optional<double> stockDays(const Branch& b, double days)
{
    if (!b.stock || !(b.consumption > 0))
        return std::nullopt;
    return *b.stock * days / b.consumption;
}

} // namespace appserver::figures
