#pragma once

#include "datapacket.h"

// getCkpData of KPD00100.rdmIndicResult: where each argument travels and which fields each packet carries.
// The application server builds its packets from these layouts and the dashboard defines its persistent
// fields from them, so a field cannot change on one side only.
namespace CkpPackets {

// The remote data module and its method, as a client names them in a call.
constexpr const char* kServerName = "KPD00100.rdmIndicResult";
constexpr const char* kMethod = "getCkpData";

// getCkpData(date, 7 packets); every argument travels by reference and comes back.
constexpr int kArgCount = 8;
constexpr int kDateArg = 0;           // the reference date; comes back as the first day of its month
constexpr int kIndicadoresArg = 1;
constexpr int kTop10Arg = 2;
constexpr int kBottom10Arg = 3;
constexpr int kGrafPizzaArg = 4;
constexpr int kFirstEmptyArg = 5;     // the targets (Metas); a server without them sends an empty packet
constexpr int kSecondEmptyArg = 6;    // the figures to compare with (Comparacoes); likewise
constexpr int kDiasEstoqueArg = 7;

// TOTAL and one record per region.
const QVector<TPacketFieldDef>& Indicadores();
// The best and the worst branches by result: Top10 and Bottom10 alike.
const QVector<TPacketFieldDef>& Ranking();
const QVector<TPacketFieldDef>& GrafPizza();
const QVector<TPacketFieldDef>& DiasEstoque();
// The targets the company set for the month: a row per scope that has any (CDAREAGERE "TOTAL", a region,
// or '#' and a branch's code), each indicator's target in its figure's unit (revenue in millions, the others
// in per cent), empty where the company set none. FONTEFAT is "filiais" where a revenue target is the
// branches' budgets added up (the scope has none of its own). The TOTAL row is always there and its
// DTULTMOV is the last day of the month that has figures (empty when none has). getCkpData also sends a '#'
// row for each branch of the month's Top 10 and Bottom 10 (its budgets empty where it has none), whose
// QTMESTOP and QTMESBOTTOM count the months of the twelve ending with this one in which the branch was in
// that list, and ROWNUMTOP and ROWNUMBOTTOM give its place in this month's lists (empty on every other row,
// and in getRegionData).
const QVector<TPacketFieldDef>& Metas();
// How many of Metas' fields a server from before FONTEFAT and DTULTMOV sends.
constexpr int kMetasFirstFields = 6;
// The company's and the regions' figures of the thirteen months ending with the one asked (itself included),
// for each month that has figures: DTREFERENCIA is the first day of the month they are of. VRFATLIQ and
// VRRESULT are revenue and result in millions unrounded, METAFAT and METARES that month's revenue (millions)
// and result (per cent) targets as Metas works them out, and VRFATDIA, on the rows of the same month a year
// before while the month asked is still partial, that month's revenue up to the same day (docs/protocol.md).
const QVector<TPacketFieldDef>& Comparacoes();
// How many of Comparacoes' fields a server from before the year's history sends.
constexpr int kComparacoesFirstFields = 7;

} // namespace CkpPackets

// getRegionData of the same data module: one region's branches for the month.
namespace RegionPackets {

constexpr const char* kMethod = "getRegionData";
// getRegionData(date, region, 2 packets); every argument travels by reference and comes back.
constexpr int kArgCount = 5;
constexpr int kDateArg = 0;        // the reference date; comes back as the first day of its month
constexpr int kRegionArg = 1;      // the region's code (text)
constexpr int kRegionRowArg = 2;   // the region's own row, in the layout of CkpPackets::Indicadores
constexpr int kBranchesArg = 3;    // its branches, ranked by result (Filiais)
constexpr int kMetasArg = 4;       // the company's, the region's and its branches' targets (CkpPackets::Metas)
// A client from before the targets sends the first four and is answered with four.
constexpr int kFirstArgCount = 4;

// A region's branches: code, name, the five figures, days of stock and the place in the ranking.
const QVector<TPacketFieldDef>& Filiais();

} // namespace RegionPackets
