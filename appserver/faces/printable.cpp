#include "printable.h"

#include <QList>

#include <algorithm>

namespace appserver {

QString printable(const QString& text, qsizetype maxChars)
{
    QString out;
    out.reserve(std::min(text.size(), maxChars) + 8);
    // Enough UTF-16 units for maxChars characters and one more, to know there is more.
    const QList<uint> chars = text.left(2 * maxChars + 2).toUcs4();
    qsizetype count = 0;
    for (const uint u : chars) {
        const char32_t c = u;
        if (count == maxChars)
            return out + QStringLiteral("…");
        ++count;
        switch (c) {
        case U'\\': out += QStringLiteral("\\\\"); continue;
        case U'\n': out += QStringLiteral("\\n"); continue;
        case U'\r': out += QStringLiteral("\\r"); continue;
        case U'\t': out += QStringLiteral("\\t"); continue;
        default: break;
        }
        switch (QChar::category(c)) {
        case QChar::Other_Control:
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
            break;
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
        case QChar::Other_Surrogate:
            out += QStringLiteral("\\u{%1}").arg(uint(c), 4, 16, QLatin1Char('0'));
            break;
        default:
            out += QString::fromUcs4(&c, 1);
            break;
        }
    }
    return out;
}

} // namespace appserver
