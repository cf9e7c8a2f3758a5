#pragma once

#include <QString>

#include <stdexcept>

namespace appserver {

/// Refused input of a figures import: where (file, line, column) and why, in Portuguese.
class ImportError : public std::runtime_error {
public:
    ImportError(QString file, qint64 line, int column, QString columnName, QString reason)
        : std::runtime_error(reason.toStdString()), m_file(std::move(file)), m_line(line), m_column(column),
          m_columnName(std::move(columnName)), m_reason(std::move(reason)) {}

    const QString& file() const { return m_file; }
    qint64 line() const { return m_line; }               ///< 1 = the header; 0 = the file as a whole
    int column() const { return m_column; }              ///< 1-based; 0 = the line as a whole
    const QString& columnName() const { return m_columnName; }
    const QString& reason() const { return m_reason; }

    /// "movimento_diario.csv, linha 12, coluna 3 (vrfatliq): reason"
    QString message() const
    {
        QString where = m_file;
        if (m_line > 0)
            where += QStringLiteral(", linha %1").arg(m_line);
        if (m_column > 0) {
            where += QStringLiteral(", coluna %1").arg(m_column);
            if (!m_columnName.isEmpty())
                where += QStringLiteral(" (%1)").arg(m_columnName);
        } else if (!m_columnName.isEmpty()) {
            where += QStringLiteral(", coluna %1").arg(m_columnName);
        }
        return where + QStringLiteral(": ") + m_reason;
    }

private:
    QString m_file;
    qint64 m_line;
    int m_column;
    QString m_columnName;
    QString m_reason;
};

} // namespace appserver
