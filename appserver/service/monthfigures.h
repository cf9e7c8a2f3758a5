#pragma once

#include "packetbuilder.h"

#include <QString>

#include <cmath>
#include <optional>

namespace appserver {

class Database;

// A month's figures as the data module sums and shows them, written once for every method that does.
namespace figures {

inline constexpr double kNoRevenue = 0.005;   // below half a cent there is nothing to take a percentage of

// The month's figures of one branch, in currency units.
struct Branch {
    qint64 code = 0;
    QString name;
    QString region;
    double revenue = 0;
    double consumption = 0;
    double labour = 0;
    double expenses = 0;
    std::optional<double> stock;   // month-end stock, when there is one
    double cost() const { return consumption + labour + expenses; }
    double result() const { return revenue - cost(); }
};

struct Sums {
    int branches = 0;
    double revenue = 0;
    double consumption = 0;
    double labour = 0;
    double expenses = 0;
    void add(const Branch& b)
    {
        ++branches;
        revenue += b.revenue;
        consumption += b.consumption;
        labour += b.labour;
        expenses += b.expenses;
    }
    double cost() const { return consumption + labour + expenses; }
    double result() const { return revenue - cost(); }
};

// A share of a revenue that is zero or negative (returns beyond sales) means nothing: against a negative
// revenue a loss would read as a gain.
inline std::optional<double> rawPercent(double part, double whole)
{
    if (!(whole >= kNoRevenue))
        return std::nullopt;
    return part * 100.0 / whole;
}

// Scaled before rounding so that exact decimal inputs round as written (47.5 → 48, not 47.4999…).
inline std::optional<double> percent(double part, double whole)
{
    if (!(whole >= kNoRevenue))
        return std::nullopt;
    return std::round(part * 1000.0 / whole) / 10.0;
}

inline double oneDecimal(double value)
{
    return std::round(value * 10.0) / 10.0;
}

inline double millions(double value)
{
    return std::round(value / 10000.0) / 100.0;
}

inline void addIndicadoresRow(PacketBuilder& p, const QString& code, const Sums& s, const QString& lastLoad)
{
    p.row()
        .text(code)
        .number(s.branches)
        .number(millions(s.revenue))
        .number(percent(s.consumption, s.revenue))
        .number(percent(s.labour, s.revenue))
        .number(percent(s.expenses, s.revenue))
        .number(percent(s.result(), s.revenue));
    if (lastLoad.isEmpty())
        p.null();
    else
        p.text(lastLoad);
}

// The day of the latest data load as the indicators show it; empty when there was none.
QString lastLoad(Database& db);

} // namespace figures

} // namespace appserver
