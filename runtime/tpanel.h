#pragma once

#include "tcolor.h"

#include <QWidget>

// A flat panel: background colour, an optional caption drawn with its alignment, no bevel. Child widgets
// sit on it. With Align alTop it keeps to the top edge of its parent's contents and spans their whole width.
class TPanel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int Color READ Color WRITE SetColor)
    Q_PROPERTY(int FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(Qt::Alignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(TAlign Align READ Align WRITE SetAlign)
public:
    enum TAlign { alNone, alTop };
    Q_ENUM(TAlign)

    explicit TPanel(QWidget* parent = nullptr);

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);

    TColor Color() const { return m_color; }
    void SetColor(TColor color);

    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor color);

    // Default: centred horizontally and vertically.
    Qt::Alignment Alignment() const { return m_alignment; }
    void SetAlignment(Qt::Alignment alignment);

    TAlign Align() const { return m_align; }
    void SetAlign(TAlign align);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void followParent();
    void keepToTop();

    QString m_caption;
    TColor m_color = clBlack;
    TColor m_fontColor = clWhite;
    Qt::Alignment m_alignment = Qt::AlignCenter;
    TAlign m_align = alNone;
    QWidget* m_watchedParent = nullptr;
};
