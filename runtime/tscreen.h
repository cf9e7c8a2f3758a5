#pragma once

// Cursor numbers as the host names them.
enum TCursor : int { crDefault = 0, crHourGlass = -11 };

// The screen-wide cursor of the host application, kept as Qt's override cursor.
class TScreen {
public:
    static int Cursor();
    static void SetCursor(int cursor);
};
