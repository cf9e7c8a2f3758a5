#include "csvreader.h"

#include "importerror.h"

#include <QStringDecoder>

#include <algorithm>

namespace appserver {

CsvReader::CsvReader(QIODevice& device, QString name) : m_device(device), m_name(std::move(name)) {}

namespace {

// Where the first byte that is no UTF-8 lies, in characters of the decoded line; -1 when there is none. The
// decoder marks such bytes with U+FFFD, which a file may also hold as itself.
qsizetype firstInvalid(const QByteArray& bytes, const QString& decoded)
{
    qsizetype offset = 0;
    qsizetype from = 0;
    for (qsizetype i = decoded.indexOf(QChar::ReplacementCharacter); i >= 0;
         i = decoded.indexOf(QChar::ReplacementCharacter, i + 1)) {
        offset += QStringView(decoded).mid(from, i - from).toUtf8().size();
        if (bytes.mid(offset, 3) != "\xEF\xBF\xBD")
            return i;
        offset += 3;
        from = i + 1;
    }
    return -1;
}

} // namespace

bool CsvReader::readLine(QString& out)
{
    // Not QIODevice::readLine: it knows LF alone, so a file whose lines end with CR (as some spreadsheets save
    // it) came in as one line, held in memory whole however long it grew.
    QByteArray bytes;
    bool any = false;
    m_tooLong = false;
    for (;;) {
        if (m_pos == m_buffer.size()) {
            m_buffer = m_device.read(kMaxRecordBytes);
            m_pos = 0;
            if (m_buffer.isEmpty())
                break;
        }
        if (m_afterCr) {
            m_afterCr = false;
            if (m_buffer.at(m_pos) == '\n') {
                ++m_pos;
                continue;
            }
        }
        any = true;
        const char* data = m_buffer.constData();
        qsizetype end = m_pos;
        while (end < m_buffer.size() && data[end] != '\n' && data[end] != '\r')
            ++end;
        const qsizetype room = std::max<qsizetype>(0, kMaxRecordBytes - m_recordBytes - bytes.size());
        if (end - m_pos > room) {
            bytes.append(data + m_pos, room);
            m_pos += room;
            m_tooLong = true;
            break;
        }
        bytes.append(data + m_pos, end - m_pos);
        m_pos = end;
        if (end < m_buffer.size()) {
            m_afterCr = data[end] == '\r';
            ++m_pos;
            break;
        }
    }
    if (!any)
        return false;
    ++m_line;
    m_recordBytes += bytes.size() + 1;
    if (m_line == 1 && bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    // Stateless: a sequence cut short at the end of the line is an error, not left pending.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    out = decoder(bytes);
    m_invalidAt = -1;
    if (decoder.hasError() && !m_tooLong) {
        // The record is read up to the bad byte, so that the error names the column it falls in.
        m_invalidAt = firstInvalid(bytes, out);
        if (m_invalidAt < 0)
            m_invalidAt = out.size();
        out.truncate(m_invalidAt);
    }
    return true;
}

bool CsvReader::next(QStringList& fields)
{
    QString text;
    do {
        m_recordBytes = 0;
        if (!readLine(text))
            return false;
    } while (m_invalidAt < 0 && !m_tooLong && text.trimmed().isEmpty());
    m_recordLine = m_line;
    if (m_separator.isNull())
        m_separator = text.count(QLatin1Char(';')) > text.count(QLatin1Char(',')) ? QLatin1Char(';') : QLatin1Char(',');

    fields.clear();
    // Most records quote nothing: cut at the separators without building each field a character at a time.
    if (!m_tooLong && m_invalidAt < 0 && !text.contains(QLatin1Char('"'))) {
        const QStringView line(text);
        qsizetype from = 0;
        for (qsizetype at = line.indexOf(m_separator); at >= 0; at = line.indexOf(m_separator, from)) {
            fields << line.mid(from, at - from).trimmed().toString();
            from = at + 1;
        }
        fields << line.mid(from).trimmed().toString();
        return true;
    }
    QString field;
    bool quoted = false;      // inside a quoted part
    bool wasQuoted = false;   // the field had a quoted part: keep its blanks
    qsizetype i = 0;
    for (;;) {
        if (i >= text.size()) {
            if (m_tooLong && quoted)
                throw ImportError(m_name, m_recordLine, int(fields.size()) + 1, {},
                                  QStringLiteral("valor entre aspas com mais de %1 KiB; confira se as aspas "
                                                 "foram fechadas.")
                                      .arg(kMaxRecordBytes / 1024));
            if (m_tooLong)
                throw ImportError(m_name, m_line, int(fields.size()) + 1, {},
                                  QStringLiteral("linha com mais de %1 KiB; as linhas de um arquivo de carga são "
                                                 "curtas: confira se é o arquivo certo e se suas linhas terminam.")
                                      .arg(kMaxRecordBytes / 1024));
            if (m_invalidAt >= 0)
                throw ImportError(m_name, m_line, int(fields.size()) + 1, {},
                                  QStringLiteral("o texto não está em UTF-8 (byte inválido depois de %1 caracteres "
                                                 "da linha); grave o arquivo em UTF-8.")
                                      .arg(m_invalidAt));
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
