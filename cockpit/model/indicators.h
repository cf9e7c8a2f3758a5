#pragma once

#include "presentation.h"

#include <array>

// The five indicators of a month and the words the cockpit uses for them: one table that the scorecard,
// the views, the formats and the reports read.
namespace cockpit {

enum class Indicator { Revenue, Consumption, Labour, Expenses, Result };
inline constexpr int kIndicatorCount = 5;

struct IndicatorInfo {
    Indicator id;
    const char* field;        // its field in the packets (VRFATLIQGER, CONSUMO, ...)
    const char* key;          // its name in meta_mensal and in JSON (faturamento, consumo, ...)
    const char* title;        // a column's heading ("Faturamento", "% Consumo")
    double fixedTarget;       // the rule where no budget says otherwise; revenue has none
    bool higherIsBetter;
    bool share;               // per cent of revenue (changes in points); revenue is in millions
    const char* suffix;       // after the figure on a panel (" M", "%")
};

inline constexpr std::array<IndicatorInfo, kIndicatorCount> kIndicators{{
    {Indicator::Revenue, "VRFATLIQGER", "faturamento", "Faturamento", 0.0, true, false, " M"},
    {Indicator::Consumption, "CONSUMO", "consumo", "% Consumo", 40.0, false, true, "%"},
    {Indicator::Labour, "MDO", "mdo", "% MDO", 45.0, false, true, "%"},
    {Indicator::Expenses, "DESPESAS", "despesas", "% Despesas", 15.0, false, true, "%"},
    {Indicator::Result, "RESULTADO", "resultado", "% Resultado", 5.0, true, true, "%"},
}};

inline const IndicatorInfo& info(Indicator i) { return kIndicators[static_cast<size_t>(i)]; }

// A share of a revenue below half a cent (of nothing, or of returns beyond sales) means nothing: against a
// negative revenue a loss would read as a gain. The server leaves such shares empty; the client, which has
// revenue in millions, holds to the same rule.
inline constexpr double kNoRevenue = 0.005;   // currency units
inline bool HasShareBase(double revenueInCurrency) { return revenueInCurrency >= kNoRevenue; }

// The scope code of the company's row in the packets.
inline constexpr const char* kCompanyCode = "TOTAL";
// How meta_mensal names a branch as its scope: '#' and the branch's code ("#1234").
inline constexpr char kBranchScopeMark = '#';

} // namespace cockpit
