#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

namespace appserver {

/// Reads a CSV file one record at a time, so memory does not grow with the file. Fields are
/// separated by ',' or, when the first line has more of them, ';' (spreadsheets set to Portuguese
/// write that). A field may be quoted with '"' (a doubled quote inside stands for one) and then hold
/// separators and line breaks. UTF-8, with or without a byte order mark; CRLF, LF or CR line ends. A record
/// is at most kMaxRecordBytes: a longer one is refused before more of it is read.
class CsvReader {
public:
    static constexpr qsizetype kMaxRecordBytes = 64 * 1024;

    /// name is how errors name the file.
    CsvReader(QIODevice& device, QString name);

    /// The next record in fields; false at the end of the file. Blank lines are skipped. Throws
    /// ImportError on a quote left open, a record too long or text that is not UTF-8 (naming the line and
    /// the column of the first bad byte).
    bool next(QStringList& fields);
    /// The line where the last record read started (1-based).
    qint64 line() const { return m_recordLine; }
    QChar separator() const { return m_separator; }

private:
    bool readLine(QString& out);

    QIODevice& m_device;
    QByteArray m_buffer;         // read ahead of the line being taken
    qsizetype m_pos = 0;         // in m_buffer: the first byte not taken
    bool m_afterCr = false;      // the last line ended with CR: a LF right after it belongs to that end
    qsizetype m_recordBytes = 0; // of the record being read, line ends included
    bool m_tooLong = false;      // the line last read was cut at the record's limit
    QString m_name;
    QChar m_separator;
    qint64 m_line = 0;        // lines read so far
    qint64 m_recordLine = 0;
    qsizetype m_invalidAt = -1;  // in the line last read: where a byte that is no UTF-8 was; -1 for none
};

} // namespace appserver
