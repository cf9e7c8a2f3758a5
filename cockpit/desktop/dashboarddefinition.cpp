#include "dashboarddefinition.h"

#include <QFile>
#include <QXmlStreamReader>

#include <stdexcept>

static void initDefinitionResource() { Q_INIT_RESOURCE(cockpit); }

namespace cockpit {

namespace {

struct Property {
    QString name;
    QString type;          // string, double, number, stringlist, ...
    QString text;
    QStringList list;
};

// The value of the <property> element the reader stands on; types the view does not need are skipped.
Property readProperty(QXmlStreamReader& xml)
{
    Property p;
    p.name = xml.attributes().value(QLatin1String("name")).toString();
    while (xml.readNextStartElement()) {
        p.type = xml.name().toString();
        if (p.type == QLatin1String("stringlist")) {
            while (xml.readNextStartElement())
                p.list.append(xml.readElementText());
        } else if (p.type == QLatin1String("string") || p.type == QLatin1String("double")
                   || p.type == QLatin1String("number") || p.type == QLatin1String("bool")) {
            p.text = xml.readElementText();
        } else {
            xml.skipCurrentElement();
        }
    }
    return p;
}

// The definition's properties are applied in the order uic applies them, so a value set before its range
// is clamped as the widget clamps it.
void applyToGauge(GaugeState& g, const Property& p)
{
    const double d = p.text.toDouble();
    const int n = p.text.toInt();
    if (p.name == QLatin1String("MinValue"))
        g.SetMinValue(d);
    else if (p.name == QLatin1String("MaxValue"))
        g.SetMaxValue(d);
    else if (p.name == QLatin1String("Progress"))
        g.SetProgress(d);
    else if (p.name == QLatin1String("Annulars"))
        g.SetAnnulars(n);
    else if (p.name == QLatin1String("AnnularID"))
        g.SetAnnularID(n);
    else if (p.name == QLatin1String("AnnularColor"))
        g.SetAnnularColor(n);
    else if (p.name == QLatin1String("AnnularStartValue"))
        g.SetAnnularStartValue(d);
    else if (p.name == QLatin1String("AnnularStopValue"))
        g.SetAnnularStopValue(d);
    else if (p.name == QLatin1String("NeedleColor"))
        g.SetNeedleCOlor(n);
    else if (p.name == QLatin1String("needleHubCOlor"))
        g.SetNeedleHubCOlor(n);
}

void readWidget(QXmlStreamReader& xml, DashboardDefinition& def)
{
    const QString cls = xml.attributes().value(QLatin1String("class")).toString();
    const QString name = xml.attributes().value(QLatin1String("name")).toString();
    GaugeState gauge;
    GridDefinition grid;
    ChartDefinition chart;
    QString caption;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("widget")) {
            readWidget(xml, def);
            continue;
        }
        if (xml.name() != QLatin1String("property")) {
            xml.skipCurrentElement();
            continue;
        }
        const Property p = readProperty(xml);
        if (cls == QLatin1String("TOverGauge"))
            applyToGauge(gauge, p);
        else if (p.name == QLatin1String("Caption"))
            caption = p.text;
        else if (p.name == QLatin1String("DataSourceName"))
            grid.dataSource = p.text;
        else if (p.name == QLatin1String("Columns"))
            for (const QString& column : p.list)
                grid.columns.append(column.section(QLatin1Char(','), 0, 0));
        else if (p.name == QLatin1String("Title"))
            chart.title = p.text;
        else if (p.name == QLatin1String("DataSetName"))
            chart.dataSet = p.text;
        else if (p.name == QLatin1String("YValuesSource"))
            chart.valuesField = p.text;
        else if (p.name == QLatin1String("XLabelsSource"))
            chart.labelsField = p.text;
        else if (p.name == QLatin1String("SeriesColor"))
            chart.seriesColor = p.text.toInt();
    }
    if (cls == QLatin1String("TOverGauge"))
        def.gauges.insert(name, gauge);
    else if (cls == QLatin1String("TLabel"))
        def.labels.insert(name, caption);
    else if (cls == QLatin1String("TPanel"))
        def.panels.insert(name, caption);
    else if (cls == QLatin1String("TDBGrid"))
        def.grids.insert(name, grid);
    else if (cls == QLatin1String("TDBChart"))
        def.charts.insert(name, chart);
}

DashboardDefinition load()
{
    initDefinitionResource();
    QFile file(QStringLiteral(":/kpd/cockpit/tfrmindiresult.ui"));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("a definição do painel não está no programa");
    DashboardDefinition def;
    QXmlStreamReader xml(&file);
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("widget"))
            readWidget(xml, def);
        else if (xml.name() != QLatin1String("ui"))
            xml.skipCurrentElement();
    }
    if (xml.hasError() || def.gauges.isEmpty())
        throw std::runtime_error("a definição do painel está ilegível");
    return def;
}

} // namespace

const DashboardDefinition& DashboardDefinition::Get()
{
    static const DashboardDefinition def = load();
    return def;
}

} // namespace cockpit
