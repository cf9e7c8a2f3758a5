#include "designscale.h"

#include "tlabel.h"
#include "tpanel.h"

#include <QFont>
#include <QFontMetrics>
#include <QMetaProperty>
#include <QVariant>
#include <QWidget>

#include <algorithm>

// The fonts a widget holds: its own only where it set one (an inherited font follows its parent's), and
// every other font setting it has (a grid's title font, a chart's legend font).
QList<DesignScale::FontSetting> DesignScale::fontsOf(const QWidget* w)
{
    QList<FontSetting> fonts;
    const QMetaObject* mo = w->metaObject();
    for (int i = 0; i < mo->propertyCount(); ++i) {
        const QMetaProperty prop = mo->property(i);
        if (prop.metaType().id() != QMetaType::QFont || !prop.isWritable())
            continue;
        const QByteArray name(prop.name());
        if (name == "font" && !w->testAttribute(Qt::WA_SetFont))
            continue;
        const QFont f = prop.read(w).value<QFont>();
        if (f.pixelSize() > 0)
            fonts.append({name, qreal(f.pixelSize()), true});
        else if (f.pointSizeF() > 0)
            fonts.append({name, f.pointSizeF(), false});
    }
    return fonts;
}

void DesignScale::scaleFonts(QWidget* w, const QList<FontSetting>& fonts, double factor)
{
    for (const FontSetting& s : fonts) {
        QFont f = w->property(s.property.constData()).value<QFont>();
        if (s.pixels)
            f.setPixelSize(std::max(1, qRound(s.size * factor)));
        else
            f.setPointSizeF(std::max(1.0, s.size * factor));
        w->setProperty(s.property.constData(), QVariant::fromValue(f));
    }
}

namespace
{

// A whole font size is rarely the exact scaled one: a label that takes the width of its text keeps all
// of it rather than lose its last letter to the rounding.
void keepTextWhole(QWidget* w)
{
    auto* label = qobject_cast<TLabel*>(w);
    if (!label || !label->AutoSize() || label->wordWrap() || label->text().isEmpty())
        return;
    const QFontMetrics fm(label->font());
    const int width = fm.horizontalAdvance(label->text());
    if (width > label->width() || fm.height() > label->height())
        label->resize(std::max(width, label->width()), std::max(fm.height(), label->height()));
}

} // namespace

DesignScale::DesignScale(QWidget* root) : m_root(root), m_storedSize(root->size()), m_content(ContentBounds(root))
{
    m_rootFonts = fontsOf(root);
    collect(root, -1);
}

namespace
{

bool isComponent(const QWidget* w)
{
    return !w->isWindow() && !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"));
}

// Unites the root-relative bounds of what `parent`'s components show.
void uniteShown(const QWidget* root, const QWidget* parent, QRect& bounds)
{
    for (const QObject* child : parent->children()) {
        const auto* w = qobject_cast<const QWidget*>(child);
        if (!w || !isComponent(w) || w->isHidden())
            continue;
        bool holdsComponents = false;
        for (const QObject* grandChild : w->children())
            if (const auto* g = qobject_cast<const QWidget*>(grandChild); g && isComponent(g))
                holdsComponents = true;
        if (holdsComponents) {
            uniteShown(root, w, bounds);
            continue;
        }
        const auto* panel = qobject_cast<const TPanel*>(w);
        if (panel && panel->Caption().isEmpty())
            continue;
        bounds |= QRect(w->mapTo(root, QPoint(0, 0)), w->size());
    }
}

} // namespace

QRect DesignScale::ContentBounds(const QWidget* root)
{
    QRect shown;
    uniteShown(root, root, shown);
    const QRect whole = root->rect();
    if (shown.isEmpty())
        return whole;
    return shown.adjusted(-shown.left(), -shown.top(), shown.left(), shown.top()).intersected(whole);
}

void DesignScale::collect(QWidget* parent, int parentIndex)
{
    for (QObject* child : parent->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        // Unnamed widgets are a component's own parts (a grid's header and scroll bars), which it lays out.
        if (!w || !isComponent(w))
            continue;
        m_components.append({w, QRect(w->mapTo(m_root, QPoint(0, 0)), w->size()), parentIndex, fontsOf(w)});
        collect(w, static_cast<int>(m_components.size()) - 1);
    }
}

double DesignScale::FitFactor(const QSize& stored, const QSize& area)
{
    if (stored.isEmpty() || area.isEmpty())
        return 1.0;
    return std::min(double(area.width()) / stored.width(), double(area.height()) / stored.height());
}

void DesignScale::FitToRoot()
{
    if (!m_root)
        return;
    const QSize area = m_root->size();
    const double factor = FitFactor(m_content.size(), area);
    const QSize content(qRound(m_content.width() * factor), qRound(m_content.height() * factor));
    const QPoint band((area.width() - content.width()) / 2, (area.height() - content.height()) / 2);
    const QPoint origin = band - QPoint(qRound(m_content.left() * factor), qRound(m_content.top() * factor));
    if (factor == m_factor && origin == m_origin)
        return;
    m_root->setContentsMargins(band.x(), band.y(), std::max(0, area.width() - content.width() - band.x()),
                               std::max(0, area.height() - content.height() - band.y()));
    Apply(factor, origin);
}

void DesignScale::Apply(double factor, const QPoint& origin)
{
    if (!m_root)
        return;
    m_factor = factor;
    m_origin = origin;
    // Edges rather than sizes are scaled, so components that touched still touch.
    const auto edge = [factor](int v) { return qRound(v * factor); };
    scaleFonts(m_root.data(), m_rootFonts, factor);
    QList<QRect> placed(m_components.size());
    for (int i = 0; i < m_components.size(); ++i) {
        const Component& c = m_components[i];
        // A window's own components keep to the content: a band across the design spans the content only,
        // and what lies wholly outside it (a spacer in the empty margin) takes no room.
        QRect r = c.parent < 0 ? c.stored.intersected(m_content) : c.stored;
        if (r.isEmpty())
            r = QRect(c.stored.topLeft(), QSize(0, 0));
        placed[i] = QRect(QPoint(edge(r.left()), edge(r.top())),
                          QPoint(edge(r.left() + r.width()) - 1, edge(r.top() + r.height()) - 1))
                        .translated(origin);
        if (!c.widget)
            continue;
        const QPoint parentCorner = c.parent < 0 ? QPoint(0, 0) : placed[c.parent].topLeft();
        c.widget->setGeometry(placed[i].translated(-parentCorner));
        scaleFonts(c.widget.data(), c.fonts, factor);
        if (c.widget->metaObject()->indexOfProperty("Zoom") >= 0)
            c.widget->setProperty("Zoom", factor);
    }
    for (const Component& c : m_components)
        if (c.widget)
            keepTextWhole(c.widget);
}
