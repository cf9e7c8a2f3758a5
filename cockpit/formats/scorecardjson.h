#pragma once

#include "jsontext.h"
#include "scorecard.h"

namespace cockpit {

// The scorecard as the JSON documents carry it, under "scorecard": month ("AAAA-MM"), monthTitle, partialUntil
// (ISO day or null), daysElapsed, daysInMonth, and scopes: each with kind ("empresa", "regional", "filial"),
// code, name and, by indicator key (faturamento, consumo, mdo, despesas, resultado), figure, target, source
// ("orcamento", "filiais", "regra" or null), proRated, gap, gapPercent, zone ("vermelho", "amarelo", "verde"
// or null), color, targetText, previous, lastYear and notes. Numbers without a value are null.
void WriteScorecard(JsonText& out, const Scorecard& card);
// Its parts, for a document that carries them beside its own: the month's keys, a scope's keys and a
// measure's keys (inside an object the caller opened).
void WriteScorecardPeriod(JsonText& out, const Scorecard& card);
void WriteScopeFields(JsonText& out, const Scope& scope);
void WriteMeasureFields(JsonText& out, Indicator indicator, const Measure& measure);
// A company's or region's projection and year to date ("projection", "yearToDate"; null where there is none).
void WriteOutlookFields(JsonText& out, const Scorecard& card, const ScopeCard& scope);

} // namespace cockpit
