#pragma once

#include <QBuffer>
#include <QDate>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

#include "scorecard.h"

#include <memory>

class QWidget;

// The board pack: a cover, then for every month the cockpit drawn with the window's own painting code (vector
// graphics and real text, cropped to what the cockpit holds) and a table of the company's and the regions'
// five indicators (figure, target, changes, the zone's colour, the projection and the year so far); after the
// months a page of the last twelve months' lines; "página N de M" and the month's last load at the foot of
// every page. Made in memory and written whole by finish(), so it is never left half written.
class BoardPack {
public:
    struct Options {
        QString path;
        QString company;        // on the cover; empty leaves it out
        bool light = false;     // dark text on white, for a printer; zones and needles keep their colours
        int months = 0;         // to number the pages from the start
    };
    explicit BoardPack(Options options);
    ~BoardPack();

    bool cover(const cockpit::RefMonth& first, const cockpit::RefMonth& last);
    // The month's two pages. `dashboard` shows the month (its window carries the view it shows); null for a
    // month whose figures could not be fetched, which `note` then explains.
    bool month(const cockpit::RefMonth& month, QWidget* dashboard, const QString& note);
    // The last twelve months of every indicator up to the latest month shown, on a page of their own.
    bool trends();
    // Writes the file; false with a message on standard error.
    bool finish();

private:
    bool newPage(const QString& footer);
    void drawCockpit(QWidget* dashboard, const QRectF& area);
    void drawTable(const cockpit::Scorecard& card, const QRectF& area);
    QRectF body() const;

    Options m_options;
    QBuffer m_buffer;
    std::unique_ptr<QPdfWriter> m_writer;
    QPainter m_painter;
    int m_page = 0;
    bool m_failed = false;
    cockpit::Scorecard m_latestCard;   // the latest month with figures, for the trends' page
    cockpit::RefMonth m_latestMonth;
};
