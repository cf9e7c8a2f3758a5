#include "regionview.h"

#include "ckppackets.h"
#include "cockpitcolors.h"
#include "cockpitfields.h"
#include "gaugerules_shared.h"
#include "presentation.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cockpit {

namespace {

const QLocale& brazil()
{
    static const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    return locale;
}

// The colour of the zone that holds a branch's figure on a dial of the indicator's own target.
int zoneColor(const IndicatorColumn& column, const QVariant& figure)
{
    if (figure.isNull())
        return clGray;
    GaugeState gauge;
    ConfigureGaugeZones(gauge, column.higherIsBetter, isRevenue(column) ? FieldFloat(figure) : column.target);
    gauge.SetProgress(FieldFloat(figure));
    ColorNeedleByZone(gauge);
    return gauge.NeedleColor();
}

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
    const auto at = [&](const QVector<QVariant>& row, const char* field) { return row.value(packet.fieldIndex(QLatin1String(field))); };
    for (const QVector<QVariant>& row : packet.rows) {
        QVector<RegionCell> cells;
        const QVariant code = at(row, "CDFILIAL");
        cells.append({code.isNull() ? QString() : QString::number(qint64(FieldFloat(code))), code, clWhite});
        cells.append({at(row, "NMFILIAL").toString(), at(row, "NMFILIAL"), clWhite});
        for (const IndicatorColumn& c : kIndicatorColumns) {
            const QVariant v = at(row, c.field);
            const QString text = isRevenue(c) ? FieldText(v, TFieldType::ftFloat, brazil(), QStringLiteral("#0.00"))
                                              : FieldText(v, TFieldType::ftFloat, brazil(), QStringLiteral("#0.0%"));
            cells.append({text, v, zoneColor(c, v)});
        }
        const QVariant stock = at(row, "DIASESTOQUE");
        cells.append({FieldText(stock, TFieldType::ftFloat, brazil(), QStringLiteral("#0.0")), stock, clWhite});
        view.rows.append(cells);
        view.rowColors.append(StripeColor(FieldFloat(at(row, "ROWNUM"))));
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
    QJsonArray rows;
    for (const QVector<RegionCell>& row : view.rows) {
        QJsonArray cells;
        for (const RegionCell& c : row)
            cells.append(QJsonObject{{QStringLiteral("text"), c.text},
                                     {QStringLiteral("number"), c.number.isNull() ? QJsonValue() : QJsonValue::fromVariant(c.number)},
                                     {QStringLiteral("color"), c.color}});
        rows.append(cells);
    }
    QJsonArray stripes;
    for (int c : view.rowColors)
        stripes.append(c);
    const QJsonObject root{{QStringLiteral("month"), view.month.toString(Qt::ISODate)},
                           {QStringLiteral("region"), view.region},
                           {QStringLiteral("title"), view.title},
                           {QStringLiteral("columns"), QJsonArray::fromStringList(view.columns)},
                           {QStringLiteral("rows"), rows},
                           {QStringLiteral("rowColors"), stripes}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

} // namespace cockpit
