#include "monthpage.h"

#include "ckppackets.h"
#include "cockpitcolors.h"
#include "gaugerules_shared.h"
#include "packettable.h"
#include "presentation.h"
#include "wireerror.h"

namespace cockpit {

namespace {

QString L(const char* s) { return QString::fromLatin1(s); }

const QVector<TPacketFieldDef>& layoutOf(const QString& dataSet)
{
    return dataSet == QLatin1String("cdsDiasEstoque") ? CkpPackets::DiasEstoque() : CkpPackets::Ranking();
}

const TDataPacket& packetOf(const CockpitPackets& packets, const QString& dataSet)
{
    if (dataSet == QLatin1String("cdsTop10"))
        return packets.top10;
    if (dataSet == QLatin1String("cdsBottom10"))
        return packets.bottom10;
    return packets.diasEstoque;
}

// How often each place's branch was in the list before; none for a list that is not a ranking.
const QHash<int, Recurrence>* recurrenceOf(const Scorecard& card, const QString& dataSet)
{
    if (dataSet == QLatin1String("cdsTop10"))
        return &card.top10;
    if (dataSet == QLatin1String("cdsBottom10"))
        return &card.bottom10;
    return nullptr;
}

const ListInfo* listNamed(const QString& name)
{
    for (const ListInfo& list : kLists)
        if (name == QLatin1String(list.key) || name == QLatin1String(list.grid))
            return &list;
    return nullptr;
}

} // namespace

void RestDial(GaugeState& dial)
{
    dial.SetProgress(dial.MinValue());
    dial.SetNeedleCOlor(clGray);
    dial.SetNeedleHubCOlor(clGray);
}

void DrawMeasure(GaugeState& dial, Indicator indicator, const Measure& m)
{
    ConfigureGaugeZones(dial, info(indicator).higherIsBetter, m.target.value_or(m.figure.value_or(0.0)));
    if (!m.target && m.figure)
        for (int z = 0; z < dial.Annulars(); ++z) {
            dial.SetAnnularID(z);
            dial.SetAnnularColor(clNeutralZone);
        }
    if (!m.figure) {
        RestDial(dial);
        return;
    }
    dial.SetProgress(*m.figure);
    dial.SetNeedleCOlor(ZoneColor(m.zone));
    dial.SetNeedleHubCOlor(ZoneColor(m.zone));
}

MonthPage ComputePage(const CockpitPackets& packets)
{
    MonthPage page;
    page.scorecard = MonthScorecard(packets);
    const Scorecard& card = page.scorecard;
    page.month = card.month;

    const PacketTable indicadores(QStringLiteral("cdsIndicadores"), packets.indicadores, CkpPackets::Indicadores());
    const auto rowOf = [&](const QString& code) {
        for (int r = 0; r < indicadores.rowCount(); ++r)
            if (indicadores.value(r, QStringLiteral("CDAREAGERE")).toString().trimmed() == code)
                return r;
        return -1;
    };
    const int total = rowOf(L(kCompanyCode));
    QString period = card.month.title();
    if (card.partial())
        period += QStringLiteral(" — parcial até ") + card.partialUntil.toString(QStringLiteral("dd/MM"));
    page.title = DashboardMessage(QStringLiteral("TITULO")) + QStringLiteral(" (") + period + QLatin1Char(')');
    page.branches = DashboardMessage(QStringLiteral("QTFILI")) + QLatin1Char(' ') + indicadores.asString(total, QStringLiteral("QTFILIAIS"));
    page.lastLoad = DashboardMessage(QStringLiteral("DTULTATU")) + indicadores.asString(total, QStringLiteral("DTULTATUETL"));
    if (!card.anyFigure)
        page.notice = QStringLiteral("Sem dados para ") + card.month.title();

    // A region's dial starts where the desktop's row does, on the company's revenue or the fixed rule: a
    // measure that sets no range of its own (a revenue of 0 without a target) reads the same on both.
    const double companyRevenue = card.scopes.front()[Indicator::Revenue].figure.value_or(0.0);
    for (const ScopeCard& c : card.scopes) {
        PageScope scope;
        scope.scope = c.scope;
        const int row = c.scope.kind == ScopeKind::Company ? total : rowOf(c.scope.code);
        for (const IndicatorInfo& i : kIndicators) {
            const Measure& m = c[i.id];
            PageMeasure& shown = scope.measures[static_cast<size_t>(i.id)];
            shown.text = (m.figure ? indicadores.asString(row, L(i.field)) : QString()) + L(i.suffix);
            shown.hasDial = m.figure || m.target;
            if (c.scope.kind == ScopeKind::Region)
                ConfigureGaugeZones(shown.dial, i.higherIsBetter, i.share ? i.fixedTarget : companyRevenue);
            DrawMeasure(shown.dial, i.id, m);
            shown.dial.SetGhostValue(m.previous.value_or(std::numeric_limits<double>::quiet_NaN()));
        }
        page.scopes << scope;
    }

    for (const ListInfo& info : kLists) {
        const QString dataSet = L(info.dataSet);
        const PacketTable table(dataSet, packetOf(packets, dataSet), layoutOf(dataSet));
        PageList list{L(info.key), L(info.title), {}, {}, {}, {}};
        for (const char* column : info.columns)
            list.titles << table.title(L(column));
        for (int r = 0; r < table.rowCount(); ++r) {
            QStringList cells;
            for (const char* column : info.columns)
                cells << table.displayText(r, L(column));
            list.rows << cells;
            const double place = FieldFloat(table.value(r, QStringLiteral("ROWNUM")));
            list.rowColors << StripeColor(place);
            const QHash<int, Recurrence>* recurrence = recurrenceOf(card, dataSet);
            list.recurrence << (recurrence ? RecurrenceText(recurrence->value(int(place))) : QString());
        }
        page.lists << list;
    }

    const PacketTable pizza(QStringLiteral("cdsGrafPizza"), packets.grafPizza, CkpPackets::GrafPizza());
    for (const PieInfo& info : kPies) {
        PagePie pie{L(info.key), L(info.title), {}};
        QList<double> values;
        for (int r = 0; r < pizza.rowCount(); ++r)
            values << FieldFloat(pizza.value(r, L(info.valuesField)));
        const QList<double> fractions = PieFractions(values);
        for (int r = 0; r < values.size(); ++r)
            pie.slices << PageSlice{pizza.displayText(r, L(kPieLabelsField)), values[r], PieSliceColor(r, kPieSeriesColor),
                                    fractions[r]};
        page.pies << pie;
    }
    return page;
}

QString RecurrenceTitle(const QString& dataSet)
{
    static const Scorecard none;
    return recurrenceOf(none, dataSet) ? QStringLiteral("Meses na lista (de %1)").arg(kTrendMonths) : QString();
}

QList<QVariant> RecurrenceValues(const Scorecard& card, const QString& dataSet, int rows)
{
    QList<QVariant> out;
    const QHash<int, Recurrence>* recurrence = recurrenceOf(card, dataSet);
    // The list's rows are its places in order (ROWNUM 1, 2, ...).
    for (int place = 1; recurrence && place <= rows; ++place) {
        const auto found = recurrence->constFind(place);
        out << (found == recurrence->constEnd() ? QVariant() : QVariant(found->months));
    }
    return out;
}

QByteArray ListCsv(const CockpitPackets& packets, const QString& name)
{
    const ListInfo* info = listNamed(name);
    if (!info)
        throw WireError(QStringLiteral("Lista desconhecida: %1.").arg(name.left(40)));
    const QString dataSet = L(info->dataSet);
    const PacketTable table(dataSet, packetOf(packets, dataSet), layoutOf(dataSet));
    QStringList header;
    for (const char* column : info->columns)
        header << table.title(L(column));
    const QString extra = RecurrenceTitle(dataSet);
    const QList<QVariant> months = RecurrenceValues(MonthScorecard(packets), dataSet, table.rowCount());
    if (!extra.isEmpty())
        header << extra;
    QList<QList<QVariant>> rows;
    for (int r = 0; r < table.rowCount(); ++r) {
        QList<QVariant> row;
        for (const char* column : info->columns)
            row << table.value(r, L(column));
        if (!extra.isEmpty())
            row << months.value(r);
        rows << row;
    }
    return CsvText(header, rows);
}

} // namespace cockpit
