#include "cockpitview.h"

#include "ckppackets.h"
#include "cockpitfields.h"
#include "dashboarddefinition.h"
#include "floattostr.h"
#include "gaugerules_shared.h"
#include "packetcodec.h"
#include "wireerror.h"

#include <QJsonDocument>
#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace cockpit {

int StripeColor(double rowNum)
{
    const double whole = std::isfinite(rowNum) ? std::nearbyint(rowNum) : 0.0;
    return std::fmod(whole, 2.0) == 0.0 ? kRowGrey : kBlack;
}

namespace {

const QLocale& brazil()
{
    static const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    return locale;
}

double toFloat(const QVariant& v)
{
    if (v.isNull())
        return 0.0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? d : 0.0;
}

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
    bool numeric(const QString& field) const
    {
        const TFieldType t = m_layout[layoutIndex(field)].type;
        return t == TFieldType::ftFloat || t == TFieldType::ftInteger;
    }
    QString asString(int row, const QString& field) const
    {
        const QVariant v = value(row, field);
        if (v.isNull())
            return {};
        if (numeric(field))
            return FloatToStr(toFloat(v), brazil());
        if (m_layout[layoutIndex(field)].type == TFieldType::ftDateTime)
            return brazil().toString(v.toDateTime(), QStringLiteral("dd/MM/yyyy"));
        return v.toString();
    }
    QString displayText(int row, const QString& field) const
    {
        const QString format = m_presentation.value(field).format;
        const QVariant v = value(row, field);
        if (v.isNull() || !numeric(field) || format.isEmpty())
            return asString(row, field);
        return FormatFloat(format, toFloat(v), brazil());
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

// An empty figure is not judged: its needle rests at the minimum in grey.
void showFigure(GaugeState& gauge, const QVariant& value)
{
    if (value.isNull()) {
        gauge.SetProgress(gauge.MinValue());
        gauge.SetNeedleCOlor(kGray);
        gauge.SetNeedleHubCOlor(kGray);
        return;
    }
    gauge.SetProgress(toFloat(value));
    ColorNeedleByZone(gauge);
}

// The chart palette without black, the series colour standing in for the first slice.
int sliceColor(int index, int seriesColor)
{
    static const int palette[] = {0x0000FF, 0x008000, 0x00FFFF, 0xFF0000, 0xFFFFFF, 0x808080, 0xFF00FF, 0x808000,
                                  0x800000, 0x000080, 0x00FF00, 0x008080, 0x800080, 0xC0C0C0, 0xFFFF00};
    constexpr int n = static_cast<int>(sizeof(palette) / sizeof(palette[0]));
    if (index <= 0)
        return seriesColor;
    int start = 0;
    for (int i = 0; i < n; ++i)
        if (palette[i] == seriesColor)
            start = i;
    return palette[(start + index) % n];
}

// Each slice's share of the pie as the desktop draws it: only finite positive values are drawn, and the
// values are scaled by the largest first so that a sum of huge values cannot overflow.
QVector<double> sliceFractions(const QVector<double>& values)
{
    const auto drawn = [](double v) { return std::isfinite(v) && v > 0.0; };
    double largest = 0.0;
    for (double v : values)
        if (drawn(v))
            largest = std::max(largest, v);
    QVector<double> out;
    double sum = 0.0;
    for (double v : values) {
        out.append(largest > 0.0 && drawn(v) ? v / largest : 0.0);
        sum += out.last();
    }
    if (sum > 0.0)
        for (double& f : out)
            f /= sum;
    return out;
}

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

// The view's JSON written straight into text: building it as QJsonObjects first cost several times the
// database call it follows.
class JsonText {
public:
    JsonText() { m_out.reserve(32 * 1024); }

    void open(char bracket)
    {
        separate();
        m_out += bracket;
        m_first = true;
    }
    void close(char bracket)
    {
        m_out += bracket;
        m_first = false;
    }
    void key(const char* name)
    {
        separate();
        m_out += '"';
        m_out += name;
        m_out += "\":";
        m_first = true;
    }
    void key(const QString& name)
    {
        string(name);
        m_out += ':';
        m_first = true;
    }
    void string(const QString& text)
    {
        separate();
        m_out += '"';
        for (const char c : text.toUtf8()) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                m_out += '\\';
                m_out += c;
            } else if (u < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
                m_out += escaped;
            } else {
                m_out += c;
            }
        }
        m_out += '"';
    }
    // As QJsonDocument writes numbers: the shortest form that reads back the same; null when not finite.
    void number(double v)
    {
        separate();
        if (!std::isfinite(v)) {
            m_out += "null";
            return;
        }
        char buf[32];
        const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
        m_out.append(buf, end - buf);
    }
    void strings(const QHash<QString, QString>& items)
    {
        open('{');
        for (auto it = items.cbegin(); it != items.cend(); ++it) {
            key(it.key());
            string(it.value());
        }
        close('}');
    }
    const QByteArray& text() const { return m_out; }

private:
    void separate()
    {
        if (!m_first)
            m_out += ',';
        m_first = false;
    }

    QByteArray m_out;
    bool m_first = true;
};

} // namespace

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
    return out;
}

QByteArray CockpitJsonText(const CockpitPackets& packets)
{
    const DashboardDefinition& def = DashboardDefinition::Get();
    QHash<QString, QString> labels = def.labels;
    QHash<QString, QString> panels = def.panels;
    QHash<QString, GaugeState> gauges = def.gauges;
    QStringList messages;

    const Table indicadores(QStringLiteral("cdsIndicadores"), packets.indicadores, CkpPackets::Indicadores());
    QHash<QString, const Table*> tables;
    const Table top10(QStringLiteral("cdsTop10"), packets.top10, CkpPackets::Ranking());
    const Table bottom10(QStringLiteral("cdsBottom10"), packets.bottom10, CkpPackets::Ranking());
    const Table pizza(QStringLiteral("cdsGrafPizza"), packets.grafPizza, CkpPackets::GrafPizza());
    const Table stock(QStringLiteral("cdsDiasEstoque"), packets.diasEstoque, CkpPackets::DiasEstoque());
    tables.insert(QStringLiteral("dtsTop10"), &top10);
    tables.insert(QStringLiteral("dtsBottom10"), &bottom10);
    tables.insert(QStringLiteral("dtsDiasEstoque"), &stock);
    tables.insert(QStringLiteral("cdsGrafPizza"), &pizza);

    component(labels, QStringLiteral("lblTitulo")) = DashboardMessage(QStringLiteral("TITULO")) + QStringLiteral(" (")
                                          + MonthName(packets.month.month()) + QLatin1Char('/')
                                          + packets.month.toString(QStringLiteral("yyyy")) + QLatin1Char(')');

    const QString area = QStringLiteral("CDAREAGERE");
    int total = -1;
    QList<int> regions;
    for (int r = 0; r < indicadores.rowCount(); ++r) {
        const bool isTotal = indicadores.value(r, area).toString() == QLatin1String("TOTAL");
        if (isTotal && total < 0)
            total = r;
        if (!isTotal)
            regions.append(r);
    }

    component(labels, QStringLiteral("lblQtFiliais")) = DashboardMessage(QStringLiteral("QTFILI")) + QLatin1Char(' ')
                                             + indicadores.asString(total, QStringLiteral("QTFILIAIS"));
    component(labels, QStringLiteral("lblDtAtu")) = DashboardMessage(QStringLiteral("DTULTATU"))
                                         + indicadores.asString(total, QStringLiteral("DTULTATUETL"));

    const double totalRevenue = toFloat(indicadores.value(total, L(kIndicatorColumns[0].field)));
    for (const IndicatorColumn& c : kIndicatorColumns) {
        const QVariant v = indicadores.value(total, L(c.field));
        GaugeState& g = component(gauges, L(c.totalGauge));
        ConfigureGaugeZones(g, c.higherIsBetter, isRevenue(c) ? toFloat(v) : c.target);
        component(panels, L(c.totalPanel)) = indicadores.asString(total, L(c.field)) + L(c.suffix);
        showFigure(g, v);
    }

    // Rows without a region this month read as on a new window: the definition's texts, the new zones,
    // the needle parked at the minimum in the colour the definition's value has in them.
    for (int n = 1; n <= 5; ++n)
        for (const IndicatorColumn& c : kIndicatorColumns) {
            GaugeState& g = component(gauges, rowName(c.regionGauge, n));
            ConfigureGaugeZones(g, c.higherIsBetter, isRevenue(c) ? totalRevenue : c.target);
            ColorNeedleByZone(g);
            g.SetProgress(g.MinValue());
        }

    int n = 0;
    for (int r : regions) {
        if (++n > 5) {
            messages.append(DashboardMessage(QStringLiteral("REGIONAIS>5")));
            break;
        }
        component(labels, rowName("lblR", n)) = indicadores.asString(r, area);
        for (const IndicatorColumn& c : kIndicatorColumns) {
            const QVariant v = indicadores.value(r, L(c.field));
            GaugeState& g = component(gauges, rowName(c.regionGauge, n));
            component(panels, rowName(c.regionPanel, n)) = indicadores.asString(r, L(c.field)) + L(c.suffix);
            ConfigureGaugeZones(g, c.higherIsBetter, isRevenue(c) ? toFloat(v) : c.target);
            showFigure(g, v);
        }
    }

    JsonText out;
    out.open('{');
    out.key("refDate");
    out.string(packets.month.toString(Qt::ISODate));
    out.key("labels");
    out.strings(labels);
    out.key("panels");
    out.strings(panels);
    out.key("gauges");
    out.open('{');
    for (auto it = gauges.cbegin(); it != gauges.cend(); ++it) {
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
    for (auto it = def.grids.cbegin(); it != def.grids.cend(); ++it) {
        const Table* table = tables.value(it.value().dataSource);
        const QStringList& columns = it.value().columns;
        const int rows = table ? table->rowCount() : 0;
        out.key(it.key());
        out.open('{');
        out.key("titles");
        out.open('[');
        for (const QString& column : columns)
            table ? out.string(table->title(column)) : void();
        out.close(']');
        out.key("rows");
        out.open('[');
        for (int r = 0; r < rows; ++r) {
            out.open('[');
            for (const QString& column : columns)
                out.string(table->displayText(r, column));
            out.close(']');
        }
        out.close(']');
        out.key("rowColors");
        out.open('[');
        for (int r = 0; r < rows; ++r)
            out.number(StripeColor(toFloat(table->value(r, QStringLiteral("ROWNUM")))));
        out.close(']');
        out.close('}');
    }
    out.close('}');

    out.key("charts");
    out.open('{');
    for (auto it = def.charts.cbegin(); it != def.charts.cend(); ++it) {
        const ChartDefinition& chart = it.value();
        const Table* table = tables.value(chart.dataSet);
        QVector<double> values;
        for (int r = 0; table && r < table->rowCount(); ++r)
            values.append(toFloat(table->value(r, chart.valuesField)));
        const QVector<double> fractions = sliceFractions(values);
        out.key(it.key());
        out.open('{');
        out.key("title");
        out.string(chart.title);
        out.key("slices");
        out.open('[');
        for (int r = 0; r < values.size(); ++r) {
            out.open('{');
            out.key("label");
            out.string(table->displayText(r, chart.labelsField));
            out.key("value");
            out.number(values[r]);
            out.key("color");
            out.number(sliceColor(r, chart.seriesColor));
            out.key("fraction");
            out.number(fractions[r]);
            out.close('}');
        }
        out.close(']');
        out.close('}');
    }
    out.close('}');

    out.key("messages");
    out.open('[');
    for (const QString& m : messages)
        out.string(m);
    out.close(']');
    out.close('}');
    return out.text();
}

QJsonObject CockpitJson(const CockpitPackets& packets)
{
    return QJsonDocument::fromJson(CockpitJsonText(packets)).object();
}

} // namespace cockpit
