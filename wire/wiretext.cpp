#include "wiretext.h"

#include <algorithm>

namespace WireText {

namespace {

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029; }

// The character at i and how many UTF-16 units it takes; a lone surrogate counts as one character.
char32_t at(const QString& text, qsizetype i, qsizetype* units)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    }
    *units = 1;
    return c.unicode();
}

// What Printable escapes: besides the controls, what would hide or reorder the text around it.
bool needsEscape(char32_t c)
{
    if (isControl(c) || QChar::isSurrogate(c))
        return true;
    return QChar::category(c) == QChar::Other_Format;
}

QString escaped(char32_t c, Escapes escapes)
{
    switch (c) {
    case '\n': return QStringLiteral("\\n");
    case '\r': return QStringLiteral("\\r");
    case '\t': return QStringLiteral("\\t");
    default: break;
    }
    if (escapes == Escapes::Log) {
        const QString hex = QString::number(uint(c), 16);
        return c <= 0xFF ? QStringLiteral("\\x") + hex.rightJustified(2, QLatin1Char('0'))
                         : QStringLiteral("\\u{") + hex.rightJustified(4, QLatin1Char('0')) + QLatin1Char('}');
    }
    const QString hex = QString::number(uint(c), 16).toUpper();
    return c <= 0xFF ? QStringLiteral("\\x") + hex.rightJustified(2, QLatin1Char('0'))
                     : QStringLiteral("\\u") + hex.rightJustified(4, QLatin1Char('0'));
}

} // namespace

qsizetype CharacterCount(const QString& text)
{
    qsizetype n = 0;
    qsizetype units = 0;
    for (qsizetype i = 0; i < text.size(); i += units, ++n)
        at(text, i, &units);
    return n;
}

QString LeftCharacters(const QString& text, qsizetype count)
{
    qsizetype i = 0;
    qsizetype units = 0;
    for (qsizetype n = 0; n < count && i < text.size(); ++n, i += units)
        at(text, i, &units);
    return text.left(i);
}

bool HasControlCharacter(const QString& text)
{
    for (const QChar c : text)
        if (isControl(c.unicode()))
            return true;
    return false;
}

QString Printable(const QString& text, qsizetype maxCharacters, bool keepNewlines, Escapes escapes)
{
    QString out;
    // A name of megabytes is cut long before its end.
    out.reserve(maxCharacters < 0 ? text.size() : std::min(text.size(), 2 * maxCharacters + 8));
    qsizetype n = 0;
    qsizetype units = 0;
    for (qsizetype i = 0; i < text.size(); i += units, ++n) {
        if (maxCharacters >= 0 && n == maxCharacters) {
            out += QChar(0x2026);
            break;
        }
        const char32_t c = at(text, i, &units);
        if (needsEscape(c) && !(keepNewlines && c == '\n'))
            out += escaped(c, escapes);
        else if (c == '\\' && escapes == Escapes::Log)
            out += QStringLiteral("\\\\");
        else
            out += QStringView(text).mid(i, units);
    }
    return out;
}

} // namespace WireText
