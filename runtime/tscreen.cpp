#include "tscreen.h"

#include <QCursor>
#include <QGuiApplication>

namespace {
int g_cursor = crDefault;

Qt::CursorShape shapeOf(int cursor) { return cursor == crHourGlass ? Qt::WaitCursor : Qt::ArrowCursor; }
} // namespace

int TScreen::Cursor() { return g_cursor; }

void TScreen::SetCursor(int cursor)
{
    if (cursor == g_cursor)
        return;
    // Exactly one override of ours is on Qt's stack while the cursor is not the default.
    if (g_cursor == crDefault)
        QGuiApplication::setOverrideCursor(shapeOf(cursor));
    else if (cursor == crDefault)
        QGuiApplication::restoreOverrideCursor();
    else
        QGuiApplication::changeOverrideCursor(shapeOf(cursor));
    g_cursor = cursor;
}
