#pragma once

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

// A window's stored layout drawn at another size. Every component of the window (its named children,
// and their named children down the tree; a widget's unnamed inner parts are laid out by the widget)
// takes its stored geometry times one factor, and every font of theirs the stored size times the same
// factor; a component with a `Zoom` property (sizes of its own drawing that are neither, such as a
// grid's column widths) is given the factor there. Nothing moves relative to anything else, and text
// and drawing are made at the new size, not stretched.
class DesignScale
{
public:
    // Takes the layout `root` has now as the stored one.
    explicit DesignScale(QWidget* root);

    QSize StoredSize() const { return m_storedSize; }
    // The part of the stored layout that is fitted, in the root's stored coordinates: ContentBounds of the
    // root as stored. What lies outside it (the design's empty margin, a blank spacer) is not drawn, and a
    // component across the whole design is drawn across the content only.
    QRect Content() const { return m_content; }
    double Factor() const { return m_factor; }
    QPoint Origin() const { return m_origin; }

    // What a window's layout holds, without the design's empty ground: the bounds of every component that
    // shows something (not a panel without caption or components, such as a spacer), widened on the right
    // and at the bottom by the margins the design keeps on the left and at the top.
    static QRect ContentBounds(const QWidget* root);

    // The largest factor at which `stored` fits into `area` whole, keeping its aspect ratio.
    static double FitFactor(const QSize& stored, const QSize& area);

    // Scales the content (Content()) to the largest size that fits the root's current size and centres it there.
    // The band around it is the root's contents margins, so a panel aligned to the top keeps to the
    // content's top.
    void FitToRoot();
    // Draws the content at `factor`, its top left corner at `origin` of the root.
    void Apply(double factor, const QPoint& origin);

private:
    struct FontSetting {
        QByteArray property; // "font" for the widget's own
        qreal size = 0.0;    // pixels, or points where the stored font was given in points
        bool pixels = true;
    };
    struct Component {
        QPointer<QWidget> widget;
        QRect stored;    // in the root's coordinates
        int parent = -1; // index of the parent component; -1 for the root
        QList<FontSetting> fonts;
    };

    static QList<FontSetting> fontsOf(const QWidget* w);
    static void scaleFonts(QWidget* w, const QList<FontSetting>& fonts, double factor);
    void collect(QWidget* parent, int parentIndex);

    QPointer<QWidget> m_root;
    QSize m_storedSize;
    QRect m_content;
    QList<FontSetting> m_rootFonts;
    QList<Component> m_components; // parents before their children
    double m_factor = 1.0;
    QPoint m_origin;
};
