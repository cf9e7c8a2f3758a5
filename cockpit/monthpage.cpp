#include "monthpage.h"

#include "figurescodec.h"
#include "cockpitcolors.h"
#include "gaugerules_shared.h"
#include "presentation.h"
#include "wireerror.h"

namespace cockpit {

namespace {

QString L(const char* s) { return QString::fromLatin1(s); }

const QVector<ListedBranch>& listOf(const MonthFigures& figures, const QString& dataSet)
{
    if (dataSet == QLatin1String("cdsTop10"))
        return figures.top10;
    if (dataSet == QLatin1String("cdsBottom10"))
        return figures.bottom10;
    return figures.stock;
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

// A list's cell as the dataset's field holds it: the lists' columns are a branch's name, its region and the
// figure it is ranked by, in that order.
QVariant cellOf(const ListedBranch& b, int column)
{
    if (column == 0)
        return b.name;
    if (column == 1)
        return b.region;
    return b.value ? QVariant(*b.value) : QVariant();
}

FieldPresentation presentationOf(const QString& dataSet, const char* column)
{
    for (const FieldPresentation& p : FieldPresentations())
        if (p.dataSet == dataSet && p.field == QLatin1String(column))
            return p;
    return {};
}

QString cellText(const ListedBranch& b, const QString& dataSet, const ListInfo& list, int column)
{
    const QVariant v = cellOf(b, column);
    const bool text = v.typeId() == QMetaType::QString;
    return FieldText(v, text ? TFieldType::ftString : TFieldType::ftFloat, BrazilLocale(),
                     presentationOf(dataSet, list.columns[column]).format);
}

QString titleOf(const QString& dataSet, const char* column)
{
    const QString label = presentationOf(dataSet, column).label;
    return label.isEmpty() ? L(column) : label;
}

// A figure as the Parts' panels write it: its shortest general form.
QString figureText(const std::optional<double>& v)
{
    return v ? FieldText(QVariant(*v), TFieldType::ftFloat, BrazilLocale()) : QString();
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

MonthPage ComputePage(const MonthFigures& figures)
{
    MonthPage page;
    page.scorecard = MonthScorecard(figures);
    const Scorecard& card = page.scorecard;
    page.month = card.month;

    const ScopeFigures* total = figures.scope(L(kCompanyCode));
    QString period = card.month.title();
    if (card.partial())
        period += QStringLiteral(" — parcial até ") + card.partialUntil.toString(QStringLiteral("dd/MM"));
    page.title = DashboardMessage(QStringLiteral("TITULO")) + QStringLiteral(" (") + period + QLatin1Char(')');
    page.branches = DashboardMessage(QStringLiteral("QTFILI")) + QLatin1Char(' ') + (total ? figureText(total->branches) : QString());
    page.lastLoad = DashboardMessage(QStringLiteral("DTULTATU")) + (total ? figures.lastLoad : QString());
    if (!card.anyFigure)
        page.notice = QStringLiteral("Sem dados para ") + card.month.title();

    // A region's dial starts where the desktop's row does, on the company's revenue or the fixed rule: a
    // measure that sets no range of its own (a revenue of 0 without a target) reads the same on both.
    const double companyRevenue = card.scopes.front()[Indicator::Revenue].figure.value_or(0.0);
    for (const ScopeCard& c : card.scopes) {
        PageScope scope;
        scope.scope = c.scope;
        const ScopeFigures* row = c.scope.kind == ScopeKind::Company ? total : figures.scope(c.scope.code);
        for (const IndicatorInfo& i : kIndicators) {
            const Measure& m = c[i.id];
            PageMeasure& shown = scope.measures[static_cast<size_t>(i.id)];
            shown.text = (m.figure && row ? figureText(row->values[size_t(i.id)]) : QString()) + L(i.suffix);
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
        const QVector<ListedBranch>& branches = listOf(figures, dataSet);
        PageList list{L(info.key), L(info.title), {}, {}, {}, {}};
        for (const char* column : info.columns)
            list.titles << titleOf(dataSet, column);
        const QHash<int, Recurrence>* recurrence = recurrenceOf(card, dataSet);
        for (const ListedBranch& b : branches) {
            QStringList cells;
            for (int column = 0; column < int(std::size(info.columns)); ++column)
                cells << cellText(b, dataSet, info, column);
            list.rows << cells;
            list.rowColors << StripeColor(b.place);
            list.recurrence << (recurrence ? RecurrenceText(recurrence->value(b.place)) : QString());
        }
        page.lists << list;
    }

    for (const PieInfo& info : kPies) {
        PagePie pie{L(info.key), L(info.title), {}};
        QList<double> values;
        for (const RegionSlice& slice : figures.slices) {
            values << (slice.*info.value).value_or(0.0);
        }
        const QList<double> fractions = PieFractions(values);
        for (int r = 0; r < values.size(); ++r)
            pie.slices << PageSlice{figures.slices[r].region, values[r], PieSliceColor(r, kPieSeriesColor), fractions[r]};
        page.pies << pie;
    }
    return page;
}

MonthPage ComputePage(const CockpitPackets& packets)
{
    return ComputePage(DecodeMonth(packets));
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

QByteArray ListCsv(const MonthFigures& figures, const QString& name)
{
    const ListInfo* info = listNamed(name);
    if (!info)
        throw WireError(QStringLiteral("Lista desconhecida: %1.").arg(name.left(40)));
    const QString dataSet = L(info->dataSet);
    const QVector<ListedBranch>& branches = listOf(figures, dataSet);
    QStringList header;
    for (const char* column : info->columns)
        header << titleOf(dataSet, column);
    const QString extra = RecurrenceTitle(dataSet);
    const QList<QVariant> months = RecurrenceValues(MonthScorecard(figures), dataSet, int(branches.size()));
    if (!extra.isEmpty())
        header << extra;
    QList<QList<QVariant>> rows;
    for (int r = 0; r < branches.size(); ++r) {
        QList<QVariant> row;
        for (int column = 0; column < int(std::size(info->columns)); ++column)
            row << cellOf(branches[r], column);
        if (!extra.isEmpty())
            row << months.value(r);
        rows << row;
    }
    return CsvText(header, rows);
}

} // namespace cockpit
