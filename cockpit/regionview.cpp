#include "regionview.h"

#include "ckppackets.h"
#include "cockpitcolors.h"
#include "cockpitfields.h"
#include "gaugerules_shared.h"
#include "jsontext.h"
#include "presentation.h"


namespace cockpit {

namespace {

const QLocale& regionLocale()
{
    static const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    return locale;
}

// The colour of the zone that holds a branch's figure on a dial of the indicator's own target. The shares'
// dials are the same for every branch: set once per column and copied (the zones are shared, not copied).
class ZoneColors {
public:
    ZoneColors()
    {
        for (int c = 0; c < 5; ++c)
            ConfigureGaugeZones(m_dials[c], kIndicatorColumns[c].higherIsBetter, kIndicatorColumns[c].target);
    }
    int operator()(int column, const QVariant& figure) const
    {
        if (figure.isNull())
            return clGray;
        GaugeState gauge = m_dials[column];
        if (column == 0)
            ConfigureGaugeZones(gauge, true, FieldFloat(figure));
        gauge.SetProgress(FieldFloat(figure));
        ColorNeedleByZone(gauge);
        return gauge.NeedleColor();
    }

private:
    GaugeState m_dials[5];
};

} // namespace

RegionView ComputeRegionView(const QDate& month, const QString& region, const TDataPacket& branches)
{
    RegionView view;
    view.month = month;
    view.region = region;
    view.title = QStringLiteral("Regional %1 — %2/%3").arg(region, MonthName(month.month())).arg(month.year());
    view.columns = {QStringLiteral("Filial"), QStringLiteral("Nome"), QStringLiteral("Faturamento (M)"),
                    QStringLiteral("% Consumo"), QStringLiteral("% MDO"), QStringLiteral("% Despesas"),
                    QStringLiteral("% Resultado"), QString::fromUtf8("Nº Dias de Estoque")};
    const TDataPacket packet = [&] {
        for (const TPacketFieldDef& def : RegionPackets::Filiais())
            if (branches.fieldIndex(def.name) < 0)
                return TDataPacket{RegionPackets::Filiais(), {}};
        return branches;
    }();
    int fields[9];
    const char* const names[] = {"CDFILIAL", "NMFILIAL", "VRFATLIQGER", "CONSUMO", "MDO", "DESPESAS", "RESULTADO", "DIASESTOQUE", "ROWNUM"};
    for (int i = 0; i < 9; ++i)
        fields[i] = packet.fieldIndex(QLatin1String(names[i]));
    const auto at = [&](const QVector<QVariant>& row, int field) { return row.value(fields[field]); };
    const ZoneColors zoneColor;
    for (const QVector<QVariant>& row : packet.rows) {
        QVector<RegionCell> cells;
        const QVariant code = at(row, 0);
        cells.append({code.isNull() ? QString() : QString::number(qint64(FieldFloat(code))), code, clWhite});
        cells.append({at(row, 1).toString(), at(row, 1), clWhite});
        for (int c = 0; c < 5; ++c) {
            const QVariant v = at(row, 2 + c);
            const QString text = c == 0 ? FieldText(v, TFieldType::ftFloat, regionLocale(), QStringLiteral("#0.00"))
                                        : FieldText(v, TFieldType::ftFloat, regionLocale(), QStringLiteral("#0.0%"));
            cells.append({text, v, zoneColor(c, v)});
        }
        const QVariant stock = at(row, 7);
        cells.append({FieldText(stock, TFieldType::ftFloat, regionLocale(), QStringLiteral("#0.0")), stock, clWhite});
        view.rows.append(cells);
        view.rowColors.append(StripeColor(FieldFloat(at(row, 8))));
    }
    return view;
}

QByteArray RegionCsv(const RegionView& view)
{
    QList<QList<QVariant>> rows;
    for (const QVector<RegionCell>& row : view.rows) {
        QList<QVariant> values;
        for (const RegionCell& c : row)
            values << c.number;
        rows << values;
    }
    return CsvText(view.columns, rows);
}

QByteArray RegionJsonText(const RegionView& view)
{
    JsonText out;
    out.open('{');
    out.key("month");
    out.string(view.month.toString(Qt::ISODate));
    out.key("region");
    out.string(view.region);
    out.key("title");
    out.string(view.title);
    out.key("columns");
    out.open('[');
    for (const QString& c : view.columns)
        out.string(c);
    out.close(']');
    out.key("rows");
    out.open('[');
    for (const QVector<RegionCell>& row : view.rows) {
        out.open('[');
        for (const RegionCell& c : row) {
            out.open('{');
            out.key("text");
            out.string(c.text);
            out.key("number");
            if (c.number.isNull())
                out.number(std::nan(""));
            else if (c.number.typeId() == QMetaType::QString)
                out.string(c.number.toString());
            else
                out.number(c.number.toDouble());
            out.key("color");
            out.number(c.color);
            out.close('}');
        }
        out.close(']');
    }
    out.close(']');
    out.key("rowColors");
    out.open('[');
    for (int c : view.rowColors)
        out.number(c);
    out.close(']');
    out.close('}');
    return out.text();
}

} // namespace cockpit
