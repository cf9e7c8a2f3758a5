#include "tlabel.h"

#include <QFontMetrics>
#include <QRegularExpression>

TLabel::TLabel(QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFocusPolicy(Qt::NoFocus);
    setTextFormat(Qt::PlainText);
    // A label never has a background of its own: it shows through to its panel or window.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    SetFontColor(m_fontColor);
}

void TLabel::SetCaption(const QString& caption)
{
    if (caption == text())
        return;
    setText(caption);
    // The window definition gives each label its size after its caption; only later captions resize it.
    fitToText();
}

void TLabel::SetFontColor(TColor color)
{
    m_fontColor = color;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, ToQColor(color));
    pal.setColor(QPalette::Text, ToQColor(color));
    setPalette(pal);
}

void TLabel::SetWordWrap(bool on)
{
    setWordWrap(on);
    if (!text().isEmpty())
        fitToText();
}

void TLabel::fitToText()
{
    if (text().isEmpty() || !m_autoSize)
        return;
    const QFontMetrics fm(font());
    if (!wordWrap()) {
        resize(fm.horizontalAdvance(text()), qMax(height(), fm.height()));
        return;
    }
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = text().split(blanks, Qt::SkipEmptyParts);
    int width = 0;
    for (const QString& w : words)
        width = qMax(width, fm.horizontalAdvance(w));
    width = qMax(width, 1);
    resize(width, qMax(height(), heightForWidth(width)));
}
