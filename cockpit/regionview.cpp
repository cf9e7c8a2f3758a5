#include "regionview.h"

#include "ckppackets.h"
#include "figurescodec.h"
#include "cockpitcolors.h"
#include "cockpitfields.h"
#include "gaugerules_shared.h"
#include "packets.h"
#include "presentation.h"


namespace cockpit {

RegionView ComputeRegionView(const RegionFigures& figures)
{
    RegionView view;
    view.month = figures.month;
    view.region = figures.region;
    view.title = QStringLiteral("Regional %1 — %2").arg(figures.region, figures.month.title());
    view.columns = {QStringLiteral("Filial"), QStringLiteral("Nome")};
    for (const IndicatorInfo& i : kIndicators)
        view.columns << (i.share ? QLatin1String(i.title) : QStringLiteral("Faturamento (M)"));
    view.columns << QString::fromUtf8("Nº Dias de Estoque");
    view.scorecard = RegionScorecard(figures);
    const QVector<const ScopeCard*> branches = view.scorecard.ofKind(ScopeKind::Branch);

    const QLocale& br = BrazilLocale();
    const auto number = [](const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); };
    for (int r = 0; r < figures.branches.size(); ++r) {
        const BranchFigures& b = figures.branches[r];
        const ScopeCard& card = *branches[r];
        QVector<RegionCell> cells;
        cells.append({b.code ? QString::number(*b.code) : QString(), b.code ? QVariant(double(*b.code)) : QVariant(), clWhite});
        cells.append({b.name, b.name, clWhite});
        for (const IndicatorInfo& i : kIndicators) {
            const QVariant v = number(b.values[size_t(i.id)]);
            const Measure& m = card[i.id];
            const QString text = FieldText(v, TFieldType::ftFloat, br, i.share ? QStringLiteral("#0.0%") : QStringLiteral("#0.00"));
            cells.append({text, v, m.figure ? ZoneColor(m.zone) : clGray, VerdictText(i.id, m)});
        }
        const QVariant stock = number(b.stockDays);
        cells.append({FieldText(stock, TFieldType::ftFloat, br, QStringLiteral("#0.0")), stock, clWhite});
        view.rows.append(cells);
        view.rowColors.append(StripeColor(b.place));
    }
    return view;
}

RegionView ComputeRegionView(const RegionReply& packets)
{
    RegionReply judged = packets;
    judged.branches = OptionalPacket(packets.branches, ::RegionPackets::Filiais());
    return ComputeRegionView(DecodeRegion(judged));
}

} // namespace cockpit
