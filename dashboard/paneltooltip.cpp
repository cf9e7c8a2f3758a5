#include "paneltooltip.h"

#include "cockpitfields.h"
#include "cockpitview.h"

namespace {

QString valueOf(const QHash<QString, QString>& texts, const QString& name)
{
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    return {};
}

QStringList notesOf(const cockpit::CockpitView& view, const QString& panel)
{
    for (auto it = view.notes.cbegin(); it != view.notes.cend(); ++it)
        if (it.key().compare(panel, Qt::CaseInsensitive) == 0)
            return it.value();
    return {};
}

// The measure a panel shows and its indicator, by the one table of the window's names; none for a panel
// of a row without a region or a view without a scorecard.
struct Shown {
    cockpit::Indicator indicator = cockpit::Indicator::Revenue;
    const cockpit::Measure* measure = nullptr;
    const cockpit::ScopeCard* card = nullptr;
};

Shown shownOn(const cockpit::CockpitView& view, const QString& panel)
{
    for (const cockpit::IndicatorColumn& column : cockpit::kIndicatorColumns) {
        const cockpit::ScopeCard* card = nullptr;
        if (panel.compare(QLatin1String(column.totalPanel), Qt::CaseInsensitive) == 0) {
            const auto companies = view.scorecard.ofKind(cockpit::ScopeKind::Company);
            card = companies.isEmpty() ? nullptr : companies.first();
        } else if (panel.startsWith(QLatin1String(column.regionPanel), Qt::CaseInsensitive)) {
            bool isRow = false;
            const int row = panel.mid(int(qstrlen(column.regionPanel))).toInt(&isRow);
            if (!isRow)
                continue;
            const QString code = valueOf(view.labels, QLatin1String(cockpit::kRegionLabel) + QString::number(row));
            card = code.isEmpty() ? nullptr : view.scorecard.find(cockpit::ScopeKind::Region, code);
        } else {
            continue;
        }
        return {column.indicator, card ? &(*card)[column.indicator] : nullptr, card};
    }
    return {};
}

} // namespace

QString PanelToolTip(const cockpit::CockpitView& view, const QString& panel)
{
    QStringList lines;
    const Shown shown = shownOn(view, panel);
    if (shown.measure && shown.measure->zone != cockpit::Zone::None)
        lines << cockpit::VerdictText(shown.indicator, *shown.measure);
    lines << notesOf(view, panel);
    if (shown.card && shown.indicator == cockpit::Indicator::Revenue && shown.card->projection)
        lines << cockpit::ProjectionText(*shown.card->projection) + QStringLiteral(" (") +
                     cockpit::ProjectionMethod(*shown.card->projection, view.scorecard) + QLatin1Char(')');
    if (shown.card && (shown.indicator == cockpit::Indicator::Revenue || shown.indicator == cockpit::Indicator::Result))
        if (const QString ytd = cockpit::YearToDateText(shown.indicator, shown.card->yearToDate); !ytd.isEmpty())
            lines << ytd;
    return lines.join(QLatin1Char('\n'));
}
