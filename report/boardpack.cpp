#include "boardpack.h"

#include "cockpitview.h"
#include "trendchart.h"

#include "designscale.h"

#include "indicators.h"
#include "refmonth.h"

#include "outputfile.h"
#include "presentation.h"
#include "tcolor.h"
#include "tdbchart.h"
#include "tdbgrid.h"
#include "tovergauge.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QMetaProperty>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using cockpit::kIndicators;


// Colours of the window swapped for a printer's page, and back: black grounds turn white, white texts
// black, the dark grey of the rows a light one, and the zones', needles', slices' and swatches' colours the
// page's darker ones (PrintColor). The lists' coloured title rows stay.
class LightTheme {
public:
    explicit LightTheme(QWidget* window)
    {
        const QHash<TColor, TColor>& swap = PrintPalette();
        static const char* const properties[] = {"FontColor", "TitleFontColor", "LegendFontColor", "Color", "BackColor"};
        for (QWidget* w : window->findChildren<QWidget*>()) {
            const QMetaObject* meta = w->metaObject();
            for (const char* name : properties) {
                if (meta->indexOfProperty(name) < 0)
                    continue;
                const int color = w->property(name).toInt();
                if (swap.contains(color)) {
                    m_restore.push_back([w, name, color] { w->setProperty(name, color); });
                    w->setProperty(name, swap.value(color));
                }
            }
            if (auto* grid = qobject_cast<TDBGrid*>(w)) {
                grid->SetBrushSubstitutes(swap);
                m_restore.push_back([grid] { grid->SetBrushSubstitutes({}); });
            } else if (auto* gauge = qobject_cast<TOverGauge*>(w)) {
                gauge->SetColorSubstitutes(swap);
                m_restore.push_back([gauge] { gauge->SetColorSubstitutes({}); });
            } else if (auto* chart = qobject_cast<TDBChart*>(w)) {
                chart->SetColorSubstitutes(swap);
                m_restore.push_back([chart] { chart->SetColorSubstitutes({}); });
            }
        }
        const QPalette old = window->palette();
        QPalette light = old;
        light.setColor(QPalette::Window, Qt::white);
        window->setPalette(light);
        m_restore.push_back([window, old] { window->setPalette(old); });
    }
    ~LightTheme()
    {
        for (auto it = m_restore.rbegin(); it != m_restore.rend(); ++it)
            (*it)();
    }

private:
    std::vector<std::function<void()>> m_restore;
};

// The window's small texts (a list's titles, a legend, a panel's figure) raised to the smallest size a page
// is read at, and back. The cockpit is drawn smaller on paper than on a screen; the boxes they sit in have
// room for a little more.
class PageFonts {
public:
    PageFonts(QWidget* window, double smallestPixels)
    {
        const QList<QWidget*> widgets = window->findChildren<QWidget*>();
        for (QWidget* w : widgets) {
            const QMetaObject* meta = w->metaObject();
            for (int i = 0; i < meta->propertyCount(); ++i) {
                const QMetaProperty prop = meta->property(i);
                if (prop.metaType().id() != QMetaType::QFont || !prop.isWritable())
                    continue;
                const QByteArray name(prop.name());
                // An inherited font follows its parent's.
                if (name == "font" && !w->testAttribute(Qt::WA_SetFont))
                    continue;
                const QFont old = prop.read(w).value<QFont>();
                const double pixels = old.pixelSize() > 0 ? old.pixelSize() : old.pointSizeF() * w->logicalDpiY() / 72.0;
                if (pixels <= 0 || pixels >= smallestPixels)
                    continue;
                QFont raised = old;
                raised.setPixelSize(int(std::ceil(smallestPixels)));
                prop.write(w, QVariant::fromValue(raised));
                m_restore.push_back([w, prop, old] { prop.write(w, QVariant::fromValue(old)); });
            }
            // A label keeps all of its text rather than lose its end to the larger font.
            if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap() && !label->text().isEmpty()) {
                const QFontMetrics fm(label->font());
                const QRect old = label->geometry();
                const int width = fm.horizontalAdvance(label->text());
                if (width > old.width() || fm.height() > old.height()) {
                    QRect wider = old;
                    if (label->alignment() & Qt::AlignRight)
                        wider.setLeft(old.right() + 1 - std::max(width, old.width()));
                    else
                        wider.setWidth(std::max(width, old.width()));
                    wider.setHeight(std::max(fm.height(), old.height()));
                    label->setGeometry(wider);
                    m_restore.push_back([label, old] { label->setGeometry(old); });
                }
            }
        }
    }
    ~PageFonts()
    {
        for (auto it = m_restore.rbegin(); it != m_restore.rend(); ++it)
            (*it)();
    }

private:
    std::vector<std::function<void()>> m_restore;
};

// The smallest text on a printed page, in points.
constexpr double kSmallestPagePoints = 7.0;

} // namespace

BoardPack::BoardPack(Options options) : m_options(std::move(options)) {}
BoardPack::~BoardPack() = default;

QRectF BoardPack::body() const
{
    const double w = m_writer->width(), h = m_writer->height();
    return QRectF(0, h * 0.07, w, h * 0.86);
}

bool BoardPack::newPage(const QString& footer)
{
    if (!m_writer) {
        m_buffer.open(QIODevice::WriteOnly);
        m_writer = std::make_unique<QPdfWriter>(&m_buffer);
        m_writer->setPageSize(QPageSize(QPageSize::A4));
        m_writer->setPageOrientation(QPageLayout::Landscape);
        m_writer->setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
        m_writer->setResolution(300);
        m_writer->setTitle(QStringLiteral("Indicadores de Resultado"));
        m_writer->setCreator(QStringLiteral("kpd-host"));
        if (!m_painter.begin(m_writer.get()))
            return false;
    } else if (!m_writer->newPage()) {
        return false;
    }
    ++m_page;
    const double w = m_writer->width(), h = m_writer->height();
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(qRound(h * 0.022));
    m_painter.setFont(font);
    m_painter.setPen(Qt::black);
    const QRectF foot(0, h * 0.95, w, h * 0.05);
    m_painter.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter, footer);
    const int total = 2 + 2 * m_options.months;
    m_painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("página %1 de %2").arg(m_page).arg(total));
    return true;
}

bool BoardPack::cover(const cockpit::RefMonth& first, const cockpit::RefMonth& last)
{
    if (!newPage({}))
        return m_failed = true, false;
    const double w = m_writer->width(), h = m_writer->height();
    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(true);
    font.setPixelSize(qRound(h * 0.07));
    m_painter.setFont(font);
    m_painter.drawText(QRectF(0, h * 0.25, w, h * 0.12), Qt::AlignCenter, QStringLiteral("Indicadores de Resultado"));
    font.setBold(false);
    font.setPixelSize(qRound(h * 0.045));
    m_painter.setFont(font);
    if (!m_options.company.isEmpty())
        m_painter.drawText(QRectF(0, h * 0.40, w, h * 0.08), Qt::AlignCenter, m_options.company);
    const QString period = first == last ? first.title() : first.title() + QStringLiteral(" a ") + last.title();
    m_painter.drawText(QRectF(0, h * 0.50, w, h * 0.08), Qt::AlignCenter, period);
    font.setPixelSize(qRound(h * 0.03));
    m_painter.setFont(font);
    m_painter.drawText(QRectF(0, h * 0.62, w, h * 0.06), Qt::AlignCenter,
                       QStringLiteral("Gerado em %1").arg(QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"))));
    return true;
}

void BoardPack::drawCockpit(QWidget* dashboard, const QRectF& area)
{
    // What the cockpit holds, without the window's empty ground around it: the bounds a screen fits too.
    const QRect content = DesignScale::ContentBounds(dashboard);
    if (content.isEmpty())
        return;
    std::unique_ptr<LightTheme> theme;
    if (m_options.light)
        theme = std::make_unique<LightTheme>(dashboard);
    const double scale = std::min(area.width() / content.width(), area.height() / content.height());
    // A window pixel is `scale` page pixels, and a page pixel 72/resolution points.
    const PageFonts fonts(dashboard, kSmallestPagePoints / (scale * 72.0 / m_writer->resolution()));
    m_painter.save();
    m_painter.translate(area.left() + (area.width() - content.width() * scale) / 2.0, area.top());
    m_painter.scale(scale, scale);
    if (!m_options.light)
        m_painter.fillRect(QRect(QPoint(0, 0), content.size()), Qt::black);
    dashboard->render(&m_painter, QPoint(), QRegion(content), QWidget::DrawChildren);
    m_painter.restore();
}

void BoardPack::drawTable(const cockpit::Scorecard& card, const QRectF& area)
{
    // The scorecard the cockpit judged the month by: its scopes, figures, targets, zones and notes.
    struct Row {
        QString scope;
        const cockpit::ScopeCard* card;
    };
    std::vector<Row> rows;
    for (const cockpit::ScopeCard& c : card.scopes)
        rows.push_back({c.scope.kind == cockpit::ScopeKind::Company ? QStringLiteral("Total") : c.scope.code, &c});
    if (rows.empty())
        return;

    const QLocale& locale = BrazilLocale();
    const double scopeWidth = area.width() * 0.10;
    const double cellWidth = (area.width() - scopeWidth) / 5.0;
    const double headHeight = area.height() * 0.07;
    const double rowHeight = std::min(area.height() * 0.15, (area.height() - headHeight) / double(rows.size()));
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(qRound(rowHeight * 0.16));
    QFont bold = font;
    bold.setBold(true);
    QFont small = font;
    small.setPixelSize(qRound(rowHeight * 0.115));

    m_painter.save();
    m_painter.setFont(bold);
    for (int c = 0; c < 5; ++c)
        m_painter.drawText(QRectF(area.left() + scopeWidth + c * cellWidth, area.top(), cellWidth, headHeight),
                           Qt::AlignCenter, QLatin1String(kIndicators[size_t(c)].title));
    m_painter.drawLine(QPointF(area.left(), area.top() + headHeight), QPointF(area.right(), area.top() + headHeight));
    for (size_t r = 0; r < rows.size(); ++r) {
        const double top = area.top() + headHeight + r * rowHeight;
        m_painter.setFont(bold);
        m_painter.drawText(QRectF(area.left(), top, scopeWidth, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, rows[r].scope);
        for (int c = 0; c < 5; ++c) {
            const cockpit::IndicatorInfo& indicator = kIndicators[size_t(c)];
            const QRectF cell(area.left() + scopeWidth + c * cellWidth, top, cellWidth, rowHeight);
            const cockpit::Measure& m = (*rows[r].card)[indicator.id];
            // The zone's colour, as the needle shows it; an open circle where there is no target to judge by.
            const double dot = rowHeight * 0.12;
            const QRectF dotRect(cell.left() + dot * 0.5, cell.top() + rowHeight * 0.12, dot, dot);
            if (m.zone != cockpit::Zone::None) {
                m_painter.setPen(Qt::NoPen);
                m_painter.setBrush(ToQColor(PrintColor(m.figure ? cockpit::ZoneColor(m.zone) : clGray)));
            } else {
                m_painter.setPen(QPen(ToQColor(clGray), dot * 0.15));
                m_painter.setBrush(Qt::NoBrush);
            }
            m_painter.drawEllipse(dotRect);
            m_painter.setPen(Qt::black);
            m_painter.setBrush(Qt::NoBrush);
            QString head;
            if (m.figure)
                head = indicator.share ? locale.toString(*m.figure, 'f', 1) + QLatin1Char('%')
                                       : locale.toString(*m.figure, 'f', 2) + QStringLiteral(" M");
            // The zone in a word beside its dot, for a page printed without colour or read without telling them apart.
            if (const QString zone = cockpit::ZoneWord(m.zone); !zone.isEmpty())
                head += QStringLiteral(" · ") + zone;
            if (const QString target = cockpit::TargetText(indicator.id, m); !target.isEmpty())
                head += QStringLiteral("  (") + target + QLatin1Char(')');
            QStringList lines = m.notes;
            // Where a partial month's revenue will end, and the year so far, under the figures they belong to.
            const std::optional<cockpit::Projection>& projection = rows[r].card->projection;
            if (indicator.id == cockpit::Indicator::Revenue && projection)
                lines << cockpit::ProjectionText(*projection) + QStringLiteral(" (") +
                             cockpit::ProjectionMethod(*projection, card) + QLatin1Char(')');
            if (indicator.id == cockpit::Indicator::Revenue || indicator.id == cockpit::Indicator::Result)
                if (const QString ytd = cockpit::YearToDateText(indicator.id, rows[r].card->yearToDate); !ytd.isEmpty())
                    lines << ytd;
            const QRectF text = cell.adjusted(dot * 2.0, rowHeight * 0.06, -dot * 0.5, 0);
            m_painter.setFont(font);
            m_painter.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, head);
            // As many lines as a cell holds: the notes' type shrinks (to a floor) rather than lose the last ones.
            const QRectF notesRect = text.adjusted(0, rowHeight * 0.36, 0, 0);
            const QString notes = lines.join(QLatin1Char('\n'));
            QFont fitted = small;
            while (fitted.pixelSize() > small.pixelSize() * 0.6 &&
                   QFontMetricsF(fitted, m_writer.get()).boundingRect(notesRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, notes).height() >
                       notesRect.height())
                fitted.setPixelSize(fitted.pixelSize() - 1);
            m_painter.setFont(fitted);
            m_painter.drawText(notesRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, notes);
        }
        m_painter.setPen(ToQColor(clPrintRule));
        m_painter.drawLine(QPointF(area.left(), top + rowHeight), QPointF(area.right(), top + rowHeight));
        m_painter.setPen(Qt::black);
    }
    m_painter.restore();
}

bool BoardPack::month(const cockpit::RefMonth& month, QWidget* dashboard, const QString& note)
{
    const cockpit::CockpitView view = cockpit::ShownView(dashboard);
    QString loaded;
    // The header's label as the window finds its components, ignoring letter case.
    for (auto it = view.labels.cbegin(); it != view.labels.cend(); ++it)
        if (it.key().compare(QLatin1String("lblDtAtu"), Qt::CaseInsensitive) == 0)
            loaded = it.value();
    const QString heading = QStringLiteral("Indicadores de Resultado — ") + month.title();
    if (dashboard && (!m_latestMonth.isValid() || !(month < m_latestMonth))) {
        m_latestCard = view.scorecard;
        m_latestMonth = month;
    }
    for (int page = 0; page < 2; ++page) {
        if (!newPage(dashboard ? loaded : QString()))
            return m_failed = true, false;
        const double w = m_writer->width(), h = m_writer->height();
        QFont font(QStringLiteral("Liberation Sans"));
        font.setBold(true);
        font.setPixelSize(qRound(h * 0.035));
        m_painter.setFont(font);
        const QString title = page == 0 ? heading : heading + QStringLiteral(" — resumo");
        m_painter.drawText(QRectF(0, 0, w, h * 0.06), Qt::AlignLeft | Qt::AlignVCenter,
                           dashboard && !note.isEmpty() ? title + QStringLiteral(" — ") + note : title);
        if (!dashboard) {
            font.setBold(false);
            font.setPixelSize(qRound(h * 0.03));
            m_painter.setFont(font);
            m_painter.setPen(ToQColor(clPrintError));
            m_painter.drawText(body(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QStringLiteral("Sem dados: ") + note);
            m_painter.setPen(Qt::black);
        } else if (page == 0) {
            drawCockpit(dashboard, body());
        } else {
            drawTable(view.scorecard, body());
        }
    }
    return true;
}

bool BoardPack::trends()
{
    const QString title = m_latestMonth.isValid() ? QStringLiteral("Últimos 12 meses até ") + m_latestMonth.title()
                                                  : QStringLiteral("Últimos 12 meses");
    if (!newPage(QString()))
        return m_failed = true, false;
    const double w = m_writer->width(), h = m_writer->height();
    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(true);
    font.setPixelSize(qRound(h * 0.035));
    m_painter.setFont(font);
    m_painter.drawText(QRectF(0, 0, w, h * 0.06), Qt::AlignLeft | Qt::AlignVCenter, title);
    if (m_latestCard.scopes.isEmpty()) {
        font.setBold(false);
        font.setPixelSize(qRound(h * 0.03));
        m_painter.setFont(font);
        m_painter.drawText(body(), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Sem meses com números no período."));
        return true;
    }
    if (!m_options.light)
        m_painter.fillRect(body(), Qt::black);
    cockpit::DrawTrendCharts(m_painter, body(), cockpit::TrendChartsOf(m_latestCard), m_options.light);
    m_painter.setPen(Qt::black);
    return true;
}

bool BoardPack::finish()
{
    if (!m_writer)
        return true;
    if (!m_painter.end() || m_failed) {
        std::fprintf(stderr, "kpd-host: não foi possível compor %s\n", qPrintable(m_options.path));
        return false;
    }
    m_writer.reset();
    QString error;
    if (WriteOutputFile(m_options.path, m_buffer.data(), &error))
        return true;
    std::fprintf(stderr, "kpd-host: %s\n", qPrintable(error));
    return false;
}
