#include "cockpitview.h"

#include "ckppackets.h"
#include "cockpitfields.h"
#include "dashboarddefinition.h"
#include "monthpage.h"
#include "floattostr.h"
#include "presentation.h"
#include "gaugerules_shared.h"
#include "packetcodec.h"
#include "wireerror.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace cockpit {

namespace {

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

// The page's lists and pies on the grids and charts that show them.
void writeLists(CockpitView& view, const QVector<PageList>& lists, const QVector<PagePie>& pies)
{
    for (const ListInfo& info : kLists) {
        GridView& grid = view.grids[L(info.grid)];
        for (const PageList& list : lists)
            if (list.key == QLatin1String(info.key))
                grid = {list.titles, list.rows, list.rowColors, list.recurrence};
    }
    for (const PieInfo& info : kPies) {
        ChartView& chart = view.charts[L(info.chart)];
        chart.title = L(info.title);
        for (const PagePie& pie : pies)
            if (pie.key == QLatin1String(info.key))
                chart.slices = pie.slices;
    }
}

// Draws one measure of a scope on its gauge, its panel and its notes.
void showMeasure(CockpitView& view, const ScopeCard& card, const PageScope& shown, const IndicatorColumn& column,
                 const QString& gaugeName, const QString& panelName)
{
    const Measure& m = card[column.indicator];
    component(view.panels, panelName) = shown.measures[static_cast<size_t>(column.indicator)].text;
    GaugeState& gauge = component(view.gauges, gaugeName);
    DrawMeasure(gauge, column.indicator, m);
    gauge.SetGhostValue(m.previous.value_or(std::numeric_limits<double>::quiet_NaN()));
    if (!m.notes.isEmpty())
        view.notes.insert(panelName, m.notes);
}

} // namespace

CockpitView ComputeView(const CockpitPackets& packets)
{
    return ComputeView(DecodeMonth(packets));
}

CockpitView ComputeView(const MonthFigures& figures)
{
    const MonthPage page = ComputePage(figures);
    CockpitView view = definitionView();
    view.month = figures.month;
    view.scorecard = page.scorecard;
    const Scorecard& card = view.scorecard;

    if (!page.notice.isEmpty())
        component(view.labels, L(kNoticeLabel)) = page.notice;
    component(view.labels, QStringLiteral("lblTitulo")) = page.title;
    component(view.labels, QStringLiteral("lblQtFiliais")) = page.branches;
    component(view.labels, QStringLiteral("lblDtAtu")) = page.lastLoad;

    for (const IndicatorColumn& c : kIndicatorColumns)
        showMeasure(view, card.scopes.front(), page.scopes.front(), c, L(c.totalGauge), L(c.totalPanel));

    // A row is a region's only while this month has that region: otherwise it is empty and not judged,
    // whatever an earlier month put there.
    const double totalRevenue = card.scopes.front()[Indicator::Revenue].figure.value_or(0.0);
    for (int n = 1; n <= kRegionRows; ++n) {
        component(view.labels, rowName(kRegionLabel, n)).clear();
        for (const IndicatorColumn& c : kIndicatorColumns) {
            component(view.panels, rowName(c.regionPanel, n)).clear();
            GaugeState& g = component(view.gauges, rowName(c.regionGauge, n));
            const IndicatorInfo& i = info(c.indicator);
            ConfigureGaugeZones(g, i.higherIsBetter, i.share ? i.fixedTarget : totalRevenue);
            RestDial(g);
        }
    }

    int n = 0;
    for (int s = 0; s < card.scopes.size(); ++s) {
        if (card.scopes[s].scope.kind != ScopeKind::Region)
            continue;
        if (++n > kRegionRows) {
            view.messages.append(DashboardMessage(QStringLiteral("REGIONAIS>5")));
            break;
        }
        component(view.labels, rowName(kRegionLabel, n)) = card.scopes[s].scope.code;
        for (const IndicatorColumn& c : kIndicatorColumns)
            showMeasure(view, card.scopes[s], page.scopes[s], c, rowName(c.regionGauge, n), rowName(c.regionPanel, n));
    }

    writeLists(view, page.lists, page.pies);
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
    // No figures, no verdict: grey needles on neutral dials, not the zones of a month that did not come.
    for (GaugeState& g : view.gauges) {
        RestDial(g);
        for (int z = 0; z < g.Annulars(); ++z) {
            g.SetAnnularID(z);
            g.SetAnnularColor(clNeutralZone);
        }
    }
    writeLists(view, {}, {});
    return view;
}

QString StaleNotice(const QDateTime& fetched, const QDateTime& failed)
{
    const auto time = [&failed](const QDateTime& t) {
        return t.toString(t.date() == failed.date() ? QStringLiteral("HH:mm") : QStringLiteral("dd/MM HH:mm"));
    };
    return QStringLiteral("Atualização falhou às %1 — dados de %2").arg(time(failed), time(fetched));
}

void SetShownView(QObject* window, const CockpitView& view)
{
    window->setProperty("cockpitView", QVariant::fromValue(view));
}

CockpitView ShownView(const QObject* window)
{
    return window ? window->property("cockpitView").value<CockpitView>() : CockpitView();
}

} // namespace cockpit
