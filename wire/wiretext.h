#pragma once

#include <QString>

// Text that crosses the wire, counted and shown the same way on both sides.
namespace WireText {

// Characters (Unicode code points), not UTF-16 units: a field of size 30 holds 30 characters whatever
// plane they come from.
qsizetype CharacterCount(const QString& text);
// The first `count` characters; never splits a surrogate pair.
QString LeftCharacters(const QString& text, qsizetype count);

// True when the text holds a control character (C0, DEL or C1) or a line or paragraph separator.
bool HasControlCharacter(const QString& text);

// How escapes are written. On screen they only need to be seen; in a log they must also read back
// without doubt, so a backslash of the text is doubled there and the code points are delimited.
enum class Escapes {
    Display,   // \n, \t, \x1B, \u202E
    Log,       // \n, \t, \x1b, \u{202e}, and \\ for a backslash
};

// Text from the other side made safe for a terminal, a log line or a message box: every control
// character, line or paragraph separator, format character (a right-to-left override, a zero-width
// space: text that hides or reorders other text) and lone surrogate becomes a visible escape, and a text
// longer than maxCharacters is cut there with "…" (a negative maxCharacters keeps it whole). With
// keepNewlines, '\n' stays as it is: for messages of our own that are laid out on several lines.
QString Printable(const QString& text, qsizetype maxCharacters = 200, bool keepNewlines = false,
                  Escapes escapes = Escapes::Display);

} // namespace WireText
