#include "tpanel.h"

#include <QEvent>
#include <QPainter>

TPanel::TPanel(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPanel::SetCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void TPanel::SetColor(TColor color)
{
    m_color = color;
    update();
}

void TPanel::SetFontColor(TColor color)
{
    m_fontColor = color;
    update();
}

void TPanel::SetAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void TPanel::SetAlign(TAlign align)
{
    m_align = align;
    followParent();
}

void TPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ToQColor(m_color));
    if (m_caption.isEmpty())
        return;
    p.setFont(font());
    p.setPen(ToQColor(m_fontColor));
    // A small inner margin keeps right- or left-aligned figures off the panel's edge.
    p.drawText(rect().adjusted(2, 0, -2, 0), static_cast<int>(m_alignment) | Qt::TextSingleLine, m_caption);
}

void TPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ParentChange)
        followParent();
}

bool TPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedParent && m_align == alTop &&
        (event->type() == QEvent::Resize || event->type() == QEvent::ContentsRectChange))
        keepToTop();
    return QWidget::eventFilter(watched, event);
}

void TPanel::followParent()
{
    QWidget* parent = parentWidget();
    if (m_watchedParent && m_watchedParent != parent)
        m_watchedParent->removeEventFilter(this);
    m_watchedParent = nullptr;
    if (m_align != alTop || !parent)
        return;
    m_watchedParent = parent;
    parent->installEventFilter(this);
    keepToTop();
}

void TPanel::keepToTop()
{
    // The parent's contents rectangle: a window drawn scaled and centred keeps its band in the margins.
    const QRect area = m_watchedParent->contentsRect();
    setGeometry(area.left(), area.top(), area.width(), height());
}
