#include "regionview.h"

#include "ckppackets.h"
#include "cockpitcolors.h"
#include "cockpitfields.h"
#include "gaugerules_shared.h"
#include "packets.h"
#include "presentation.h"


namespace cockpit {

RegionView ComputeRegionView(const RegionReply& packets)
{
    RegionView view;
    view.month = packets.month;
    view.region = packets.region;
    view.title = QStringLiteral("Regional %1 — %2").arg(packets.region, RefMonth(packets.month).title());
    view.columns = {QStringLiteral("Filial"), QStringLiteral("Nome")};
    for (const IndicatorInfo& i : kIndicators)
        view.columns << (i.share ? QLatin1String(i.title) : QStringLiteral("Faturamento (M)"));
    view.columns << QString::fromUtf8("Nº Dias de Estoque");
    const TDataPacket packet = OptionalPacket(packets.branches, RegionPackets::Filiais());
    RegionReply judged = packets;
    judged.branches = packet;
    view.scorecard = RegionScorecard(judged);
    const QVector<const ScopeCard*> branches = view.scorecard.ofKind(ScopeKind::Branch);

    const auto field = [&](const char* name) { return packet.fieldIndex(QLatin1String(name)); };
    const int code = field("CDFILIAL"), name = field("NMFILIAL"), stock = field("DIASESTOQUE"), rank = field("ROWNUM");
    const QLocale& br = BrazilLocale();
    for (int r = 0; r < packet.rows.size(); ++r) {
        const QVector<QVariant>& row = packet.rows[r];
        const ScopeCard& card = *branches[r];
        QVector<RegionCell> cells;
        const QVariant number = row.value(code);
        cells.append({number.isNull() ? QString() : QString::number(qint64(FieldFloat(number))), number, clWhite});
        cells.append({row.value(name).toString(), row.value(name), clWhite});
        for (const IndicatorInfo& i : kIndicators) {
            const QVariant v = row.value(field(i.field));
            const Measure& m = card[i.id];
            const QString text = FieldText(v, TFieldType::ftFloat, br, i.share ? QStringLiteral("#0.0%") : QStringLiteral("#0.00"));
            cells.append({text, v, m.figure ? ZoneColor(m.zone) : clGray});
        }
        cells.append({FieldText(row.value(stock), TFieldType::ftFloat, br, QStringLiteral("#0.0")), row.value(stock), clWhite});
        view.rows.append(cells);
        view.rowColors.append(StripeColor(FieldFloat(row.value(rank))));
    }
    return view;
}

} // namespace cockpit
