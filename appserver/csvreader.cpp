#include "csvreader.h"

#include "importerror.h"

#include <QStringDecoder>

namespace appserver {

CsvReader::CsvReader(QIODevice& device, QString name) : m_device(device), m_name(std::move(name)) {}

bool CsvReader::readLine(QString& out)
{
    if (m_device.atEnd())
        return false;
    QByteArray bytes = m_device.readLine();
    ++m_line;
    if (m_line == 1 && bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    QStringDecoder decoder(QStringDecoder::Utf8);
    out = decoder(bytes);
    if (decoder.hasError())
        throw ImportError(m_name, m_line, 0, {}, QStringLiteral("o texto não está em UTF-8."));
    return true;
}

bool CsvReader::next(QStringList& fields)
{
    QString text;
    do {
        if (!readLine(text))
            return false;
    } while (text.trimmed().isEmpty());
    m_recordLine = m_line;
    if (m_separator.isNull())
        m_separator = text.count(QLatin1Char(';')) > text.count(QLatin1Char(',')) ? QLatin1Char(';') : QLatin1Char(',');

    fields.clear();
    QString field;
    bool quoted = false;      // inside a quoted part
    bool wasQuoted = false;   // the field had a quoted part: keep its blanks
    qsizetype i = 0;
    for (;;) {
        if (i >= text.size()) {
            if (!quoted)
                break;
            // A line break inside quotes belongs to the field.
            QString more;
            if (!readLine(more))
                throw ImportError(m_name, m_recordLine, fields.size() + 1, {},
                                  QStringLiteral("aspas abertas e não fechadas até o fim do arquivo."));
            field += QLatin1Char('\n');
            text = more;
            i = 0;
            continue;
        }
        const QChar c = text.at(i++);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i < text.size() && text.at(i) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            wasQuoted = true;
        } else if (c == m_separator) {
            fields << (wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else {
            field += c;
        }
    }
    fields << (wasQuoted ? field : field.trimmed());
    return true;
}

} // namespace appserver
