#pragma once

#include "tcolor.h"

#include <QLabel>

// One line of text on its parent's background. When the caption changes the label takes the width of its
// text, so a region code never clips; with WordWrap the text breaks at blanks onto further lines instead,
// the label taking the width of its longest word and the height of its lines. Without AutoSize the label keeps
// the size its definition gives and the text breaks (with WordWrap) or clips within it.
class TLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
public:
    explicit TLabel(QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);

    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor color);

    bool WordWrap() const { return wordWrap(); }
    void SetWordWrap(bool on);

    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool on) { m_autoSize = on; }

private:
    void fitToText();

    TColor m_fontColor = clWindowText;
    bool m_autoSize = true;
};

// A label of the window's own state, such as the time of its last refresh, rather than of the figures it
// shows: a window's definition and its exports of the month leave it out.
class TStatusLabel : public TLabel
{
    Q_OBJECT
public:
    using TLabel::TLabel;
};
