#include "cockpitview.h"

#include "ckppackets.h"
#include "cockpitfields.h"
#include "dashboarddefinition.h"
#include "floattostr.h"
#include "presentation.h"
#include "gaugerules_shared.h"
#include "jsontext.h"
#include "scorecardjson.h"
#include "packetcodec.h"
#include "wireerror.h"

#include <QJsonDocument>
#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace cockpit {

namespace {

double toFloat(const QVariant& v) { return FieldFloat(v); }

// A packet read through its layout, the way the dashboard's dataset reads it: the layout gives each
// field's type, the dashboard's presentation its title and number format.
class Table {
public:
    Table(const QString& name, const TDataPacket& packet, const QVector<TPacketFieldDef>& layout)
        : m_name(name), m_packet(packet), m_layout(layout)
    {
        for (const TPacketFieldDef& def : layout) {
            const int i = packet.fieldIndex(def.name);
            if (i < 0)
                throw WireError(QStringLiteral("%1: o pacote não tem o campo %2.").arg(name, def.name));
            m_columns.append(i);
        }
        for (const FieldPresentation& p : FieldPresentations())
            if (p.dataSet == name)
                m_presentation.insert(p.field, p);
    }

    int rowCount() const { return static_cast<int>(m_packet.rows.size()); }
    QVariant value(int row, const QString& field) const
    {
        const int f = layoutIndex(field);
        return row >= 0 && row < rowCount() ? m_packet.rows[row].value(m_columns[f]) : QVariant();
    }
    QString asString(int row, const QString& field) const
    {
        return FieldText(value(row, field), m_layout[layoutIndex(field)].type, BrazilLocale());
    }
    QString displayText(int row, const QString& field) const
    {
        return FieldText(value(row, field), m_layout[layoutIndex(field)].type, BrazilLocale(),
                         m_presentation.value(field).format);
    }
    QString title(const QString& field) const
    {
        const QString label = m_presentation.value(field).label;
        return label.isEmpty() ? m_layout[layoutIndex(field)].name : label;
    }

private:
    int layoutIndex(const QString& field) const
    {
        for (int i = 0; i < m_layout.size(); ++i)   // the usual spelling first: this runs for every cell
            if (m_layout[i].name == field)
                return i;
        for (int i = 0; i < m_layout.size(); ++i)
            if (m_layout[i].name.compare(field, Qt::CaseInsensitive) == 0)
                return i;
        throw WireError(QStringLiteral("%1: campo '%2' não encontrado").arg(m_name, field));
    }

    QString m_name;
    const TDataPacket& m_packet;
    const QVector<TPacketFieldDef>& m_layout;
    QVector<int> m_columns;
    QHash<QString, FieldPresentation> m_presentation;
};

QString L(const char* s) { return QString::fromLatin1(s); }
QString rowName(const char* prefix, int n) { return L(prefix) + QString::number(n); }

// Components are found by name ignoring letter case, as the dashboard finds them ("indicResultR1" is
// the definition's "IndicResultR1"); the definition's spelling is the one shown.
template <typename T>
T& component(QHash<QString, T>& items, const QString& name)
{
    static const QHash<QString, QString> spelling = [] {
        const DashboardDefinition& def = DashboardDefinition::Get();
        QHash<QString, QString> out;
        for (const auto* names : {&def.labels, &def.panels})
            for (auto it = names->cbegin(); it != names->cend(); ++it)
                out.insert(it.key().toLower(), it.key());
        for (auto it = def.gauges.cbegin(); it != def.gauges.cend(); ++it)
            out.insert(it.key().toLower(), it.key());
        return out;
    }();
    const auto it = items.find(spelling.value(name.toLower()));
    if (it == items.end())
        throw WireError(QStringLiteral("Componente %1 não encontrado no painel.").arg(name));
    return it.value();
}


} // namespace

TDataPacket OptionalPacket(const TDataPacket& packet, const QVector<TPacketFieldDef>& layout, int required)
{
    const int count = required < 0 ? int(layout.size()) : std::min(required, int(layout.size()));
    for (int i = 0; i < count; ++i)
        if (packet.fieldIndex(layout[i].name) < 0)
            return TDataPacket{layout, {}};
    return packet;
}

CockpitPackets PacketsFromReply(const kpd::rpc::InvokeReply& reply)
{
    if (reply.result().kind_case() == kpd::rpc::Variant::kTextValue)
        throw WireError(QString::fromStdString(reply.result().text_value()));
    if (reply.result().kind_case() != kpd::rpc::Variant::kIntValue || reply.result().int_value() != 0)
        throw WireError(QStringLiteral("O servidor de aplicação não concluiu a consulta."));
    const auto& args = reply.args();
    if (args.size() != CkpPackets::kArgCount)
        throw WireError(QStringLiteral("A resposta de getCkpData não tem os %1 argumentos.").arg(CkpPackets::kArgCount));
    const auto packet = [&](int i) {
        if (args.Get(i).kind_case() != kpd::rpc::Variant::kPacketValue)
            throw WireError(QStringLiteral("A resposta de getCkpData não trouxe o pacote do argumento %1.").arg(i + 1));
        return PacketCodec::DecodePacket(args.Get(i).packet_value());
    };
    CockpitPackets out;
    const QVariant date = PacketCodec::DecodeVariant(args.Get(CkpPackets::kDateArg));
    out.month = date.toDateTime().date();
    if (!out.month.isValid())
        throw WireError(QStringLiteral("A resposta de getCkpData não trouxe a data de referência."));
    out.indicadores = packet(CkpPackets::kIndicadoresArg);
    out.top10 = packet(CkpPackets::kTop10Arg);
    out.bottom10 = packet(CkpPackets::kBottom10Arg);
    out.grafPizza = packet(CkpPackets::kGrafPizzaArg);
    out.diasEstoque = packet(CkpPackets::kDiasEstoqueArg);
    out.metas = OptionalPacket(packet(CkpPackets::kFirstEmptyArg), CkpPackets::Metas(), CkpPackets::kMetasFirstFields);
    out.comparacoes = OptionalPacket(packet(CkpPackets::kSecondEmptyArg), CkpPackets::Comparacoes());
    return out;
}

QString CockpitView::notice() const { return labels.value(QLatin1String(kNoticeLabel)); }

namespace {

// What the dashboard's definition shows before any refresh: the start of every view.
CockpitView definitionView()
{
    const DashboardDefinition& def = DashboardDefinition::Get();
    CockpitView view;
    view.labels = def.labels;
    view.panels = def.panels;
    view.gauges = def.gauges;
    return view;
}

// Nothing to judge: the needle rests at the minimum in grey, whatever it showed before.
void rest(GaugeState& gauge)
{
    gauge.SetProgress(gauge.MinValue());
    gauge.SetNeedleCOlor(clGray);
    gauge.SetNeedleHubCOlor(clGray);
}

// A gauge as the scorecard judged its measure. A figure without a target keeps the dial centred on it, in
// the neutral colour, zones and needle alike: nothing on it says the figure is good or bad.
void draw(GaugeState& gauge, const IndicatorInfo& i, const Measure& m)
{
    ConfigureGaugeZones(gauge, i.higherIsBetter, m.target.value_or(m.figure.value_or(0.0)));
    if (!m.target && m.figure)
        for (int z = 0; z < gauge.Annulars(); ++z) {
            gauge.SetAnnularID(z);
            gauge.SetAnnularColor(kNeutralZoneColor);
        }
    if (!m.figure) {
        rest(gauge);
        return;
    }
    gauge.SetProgress(*m.figure);
    gauge.SetNeedleCOlor(ZoneColor(m.zone));
    gauge.SetNeedleHubCOlor(ZoneColor(m.zone));
}

void writeGrids(CockpitView& view, const QHash<QString, const Table*>& tables)
{
    const DashboardDefinition& def = DashboardDefinition::Get();
    for (auto it = def.grids.cbegin(); it != def.grids.cend(); ++it) {
        const Table* table = tables.value(it.value().dataSource);
        GridView& grid = view.grids[it.key()];
        if (!table)
            continue;
        for (const QString& column : it.value().columns)
            grid.titles.append(table->title(column));
        for (int r = 0; r < table->rowCount(); ++r) {
            QStringList cells;
            for (const QString& column : it.value().columns)
                cells.append(table->displayText(r, column));
            grid.rows.append(cells);
            grid.rowColors.append(StripeColor(toFloat(table->value(r, QStringLiteral("ROWNUM")))));
        }
    }
}

void writeCharts(CockpitView& view, const QHash<QString, const Table*>& tables)
{
    const DashboardDefinition& def = DashboardDefinition::Get();
    for (auto it = def.charts.cbegin(); it != def.charts.cend(); ++it) {
        const ChartDefinition& definition = it.value();
        const Table* table = tables.value(definition.dataSet);
        ChartView& chart = view.charts[it.key()];
        chart.title = definition.title;
        QList<double> values;
        for (int r = 0; table && r < table->rowCount(); ++r)
            values.append(toFloat(table->value(r, definition.valuesField)));
        const QList<double> fractions = PieFractions(values);
        for (int r = 0; r < values.size(); ++r)
            chart.slices.append({table->displayText(r, definition.labelsField), values[r],
                                 PieSliceColor(r, definition.seriesColor), fractions[r]});
    }
}

// Draws one measure of a scope on its gauge, its panel and its notes.
void showMeasure(CockpitView& view, const ScopeCard& card, const Table& indicadores, int row,
                 const IndicatorColumn& column, const QString& gaugeName, const QString& panelName)
{
    const IndicatorInfo& i = info(column.indicator);
    const Measure& m = card[column.indicator];
    component(view.panels, panelName) = (m.figure ? indicadores.asString(row, L(i.field)) : QString()) + L(i.suffix);
    GaugeState& gauge = component(view.gauges, gaugeName);
    draw(gauge, i, m);
    gauge.SetGhostValue(m.previous.value_or(std::numeric_limits<double>::quiet_NaN()));
    if (!m.notes.isEmpty())
        view.notes.insert(panelName, m.notes);
}

} // namespace

CockpitView ComputeView(const CockpitPackets& packets)
{
    CockpitView view = definitionView();
    view.month = packets.month;
    view.scorecard = MonthScorecard(packets);
    const Scorecard& card = view.scorecard;

    const Table indicadores(QStringLiteral("cdsIndicadores"), packets.indicadores, CkpPackets::Indicadores());
    const Table top10(QStringLiteral("cdsTop10"), packets.top10, CkpPackets::Ranking());
    const Table bottom10(QStringLiteral("cdsBottom10"), packets.bottom10, CkpPackets::Ranking());
    const Table pizza(QStringLiteral("cdsGrafPizza"), packets.grafPizza, CkpPackets::GrafPizza());
    const Table stock(QStringLiteral("cdsDiasEstoque"), packets.diasEstoque, CkpPackets::DiasEstoque());
    const QHash<QString, const Table*> tables{{QStringLiteral("dtsTop10"), &top10},
                                              {QStringLiteral("dtsBottom10"), &bottom10},
                                              {QStringLiteral("dtsDiasEstoque"), &stock},
                                              {QStringLiteral("cdsGrafPizza"), &pizza}};

    // Rows of the indicators' packet by scope: the scorecard holds the meaning, the packet the texts.
    const QString area = QStringLiteral("CDAREAGERE");
    const auto rowOf = [&](const QString& code) {
        for (int r = 0; r < indicadores.rowCount(); ++r)
            if (indicadores.value(r, area).toString().trimmed() == code)
                return r;
        return -1;
    };
    const int total = rowOf(QLatin1String(kCompanyCode));
    if (!card.anyFigure)
        component(view.labels, L(kNoticeLabel)) = QStringLiteral("Sem dados para ") + card.month.title();

    QString period = card.month.title();
    if (card.partial())
        period += QStringLiteral(" — parcial até ") + card.partialUntil.toString(QStringLiteral("dd/MM"));
    component(view.labels, QStringLiteral("lblTitulo")) =
        DashboardMessage(QStringLiteral("TITULO")) + QStringLiteral(" (") + period + QLatin1Char(')');

    component(view.labels, QStringLiteral("lblQtFiliais")) =
        DashboardMessage(QStringLiteral("QTFILI")) + QLatin1Char(' ') + indicadores.asString(total, QStringLiteral("QTFILIAIS"));
    component(view.labels, QStringLiteral("lblDtAtu")) =
        DashboardMessage(QStringLiteral("DTULTATU")) + indicadores.asString(total, QStringLiteral("DTULTATUETL"));

    const ScopeCard& company = card.scopes.front();
    for (const IndicatorColumn& c : kIndicatorColumns)
        showMeasure(view, company, indicadores, total, c, L(c.totalGauge), L(c.totalPanel));

    // A row is a region's only while this month has that region: otherwise it is empty and not judged,
    // whatever an earlier month put there.
    const double totalRevenue = company[Indicator::Revenue].figure.value_or(0.0);
    for (int n = 1; n <= kRegionRows; ++n) {
        component(view.labels, rowName(kRegionLabel, n)).clear();
        for (const IndicatorColumn& c : kIndicatorColumns) {
            component(view.panels, rowName(c.regionPanel, n)).clear();
            GaugeState& g = component(view.gauges, rowName(c.regionGauge, n));
            const IndicatorInfo& i = info(c.indicator);
            ConfigureGaugeZones(g, i.higherIsBetter, i.share ? i.fixedTarget : totalRevenue);
            rest(g);
        }
    }

    int n = 0;
    for (const ScopeCard* region : card.ofKind(ScopeKind::Region)) {
        if (++n > kRegionRows) {
            view.messages.append(DashboardMessage(QStringLiteral("REGIONAIS>5")));
            break;
        }
        const int row = rowOf(region->scope.code);
        component(view.labels, rowName(kRegionLabel, n)) = indicadores.asString(row, area);
        for (const IndicatorColumn& c : kIndicatorColumns)
            showMeasure(view, *region, indicadores, row, c, rowName(c.regionGauge, n), rowName(c.regionPanel, n));
    }

    writeGrids(view, tables);
    writeCharts(view, tables);
    return view;
}

CockpitView FailedView(const QString& message)
{
    CockpitView view = definitionView();
    component(view.labels, QStringLiteral("lblTitulo")) = DashboardMessage(QStringLiteral("TITULO"));
    component(view.labels, QStringLiteral("lblQtFiliais")) = DashboardMessage(QStringLiteral("QTFILI")) + QLatin1Char(' ');
    component(view.labels, QStringLiteral("lblDtAtu")) = DashboardMessage(QStringLiteral("DTULTATU"));
    component(view.labels, L(kNoticeLabel)) = QStringLiteral("Sem dados: ") + message;
    for (int n = 1; n <= 5; ++n)
        component(view.labels, rowName(kRegionLabel, n)).clear();
    for (QString& text : view.panels)
        text.clear();
    for (GaugeState& g : view.gauges)
        rest(g);
    const QHash<QString, const Table*> none;
    writeGrids(view, none);
    writeCharts(view, none);
    return view;
}

QString StaleNotice(const QDateTime& fetched, const QDateTime& failed)
{
    const auto time = [&failed](const QDateTime& t) {
        return t.toString(t.date() == failed.date() ? QStringLiteral("HH:mm") : QStringLiteral("dd/MM HH:mm"));
    };
    return QStringLiteral("Atualização falhou às %1 — dados de %2").arg(time(failed), time(fetched));
}

QByteArray CockpitJsonText(const CockpitView& view)
{
    JsonText out;
    out.open('{');
    out.key("refDate");
    out.string(view.month.toString(Qt::ISODate));
    out.key("labels");
    out.strings(view.labels);
    out.key("panels");
    out.strings(view.panels);
    out.key("notes");
    out.open('{');
    for (auto it = view.notes.cbegin(); it != view.notes.cend(); ++it) {
        out.key(it.key());
        out.open('[');
        for (const QString& line : it.value())
            out.string(line);
        out.close(']');
    }
    out.close('}');
    out.key("gauges");
    out.open('{');
    for (auto it = view.gauges.cbegin(); it != view.gauges.cend(); ++it) {
        const GaugeState& g = it.value();
        out.key(it.key());
        out.open('{');
        out.key("min");
        out.number(g.MinValue());
        out.key("max");
        out.number(g.MaxValue());
        out.key("value");
        out.number(g.Progress());
        out.key("needleColor");
        out.number(g.NeedleColor());
        out.key("hubColor");
        out.number(g.NeedleHubColor());
        out.key("ghost");
        out.number(g.GhostValue());
        out.key("zones");
        out.open('[');
        for (const GaugeZone& z : g.Zones()) {
            out.open('{');
            out.key("color");
            out.number(z.color);
            out.key("start");
            out.number(z.start);
            out.key("stop");
            out.number(z.stop);
            out.close('}');
        }
        out.close(']');
        out.close('}');
    }
    out.close('}');

    out.key("grids");
    out.open('{');
    for (auto it = view.grids.cbegin(); it != view.grids.cend(); ++it) {
        const GridView& grid = it.value();
        out.key(it.key());
        out.open('{');
        out.key("titles");
        out.open('[');
        for (const QString& title : grid.titles)
            out.string(title);
        out.close(']');
        out.key("rows");
        out.open('[');
        for (const QStringList& row : grid.rows) {
            out.open('[');
            for (const QString& cell : row)
                out.string(cell);
            out.close(']');
        }
        out.close(']');
        out.key("rowColors");
        out.open('[');
        for (int color : grid.rowColors)
            out.number(color);
        out.close(']');
        out.close('}');
    }
    out.close('}');

    out.key("charts");
    out.open('{');
    for (auto it = view.charts.cbegin(); it != view.charts.cend(); ++it) {
        out.key(it.key());
        out.open('{');
        out.key("title");
        out.string(it.value().title);
        out.key("slices");
        out.open('[');
        for (const SliceView& s : it.value().slices) {
            out.open('{');
            out.key("label");
            out.string(s.label);
            out.key("value");
            out.number(s.value);
            out.key("color");
            out.number(s.color);
            out.key("fraction");
            out.number(s.fraction);
            out.close('}');
        }
        out.close(']');
        out.close('}');
    }
    out.close('}');

    out.key("scorecard");
    WriteScorecard(out, view.scorecard);

    out.key("messages");
    out.open('[');
    for (const QString& m : view.messages)
        out.string(m);
    out.close(']');
    out.close('}');
    return out.text();
}

QByteArray ListCsv(const CockpitPackets& packets, const QString& grid)
{
    const DashboardDefinition& def = DashboardDefinition::Get();
    const auto it = def.grids.constFind(grid);
    if (it == def.grids.cend())
        throw WireError(QStringLiteral("Lista desconhecida: %1.").arg(grid.left(40)));
    const QString source = it.value().dataSource;
    const std::pair<const char*, const TDataPacket*> sources[] = {
        {"dtsTop10", &packets.top10}, {"dtsBottom10", &packets.bottom10}, {"dtsDiasEstoque", &packets.diasEstoque}};
    for (const auto& [name, packet] : sources) {
        if (source != QLatin1String(name))
            continue;
        const QString dataSet = QStringLiteral("cds") + source.mid(3);
        const Table table(dataSet, *packet, dataSet == QLatin1String("cdsDiasEstoque") ? CkpPackets::DiasEstoque() : CkpPackets::Ranking());
        QStringList header;
        for (const QString& column : it.value().columns)
            header << table.title(column);
        QList<QList<QVariant>> rows;
        for (int r = 0; r < table.rowCount(); ++r) {
            QList<QVariant> row;
            for (const QString& column : it.value().columns)
                row << table.value(r, column);
            rows << row;
        }
        return CsvText(header, rows);
    }
    throw WireError(QStringLiteral("Lista desconhecida: %1.").arg(grid.left(40)));
}

QJsonObject CockpitJson(const CockpitView& view)
{
    return QJsonDocument::fromJson(CockpitJsonText(view)).object();
}

} // namespace cockpit
