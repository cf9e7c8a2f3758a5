#pragma once

#include <QString>

namespace appserver {

/// How much of a name taken from a call the log and the status texts repeat.
constexpr qsizetype kEchoedNameChars = 100;

/// text fit to be written into one log line or a status text: control, format and line-separator
/// characters escaped (\n, \r, \t, \xHH, \u{HHHH}; a backslash doubled), so no client can start a line of
/// its own or hide text; cut after maxChars characters, marked with "…".
QString printable(const QString& text, qsizetype maxChars);

} // namespace appserver
