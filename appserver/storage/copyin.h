#pragma once

#include <QByteArray>
#include <QString>

namespace appserver {

class Database;

/// Rows written into a PostgreSQL table by COPY ... FROM STDIN on this thread's connection, inside the
/// transaction under way: the engine's own bulk path, without a statement per row. Rows are COPY's text
/// format (tab between columns, newline after each; the caller escapes what it writes). Nothing else may
/// run on the connection until finish(); a copy destroyed unfinished is cancelled, which leaves the
/// transaction failed for its rollback.
class CopyIn {
public:
    /// Starts sql (a COPY ... FROM STDIN). Throws DatabaseError.
    CopyIn(Database& db, const QString& sql);
    ~CopyIn();
    CopyIn(const CopyIn&) = delete;
    CopyIn& operator=(const CopyIn&) = delete;

    /// Rows, sent a batch at a time. Throws DatabaseError when the connection fails.
    void write(const QByteArray& rows);
    /// Sends what is left and ends the copy; throws DatabaseError with the engine's reason when a row was
    /// refused (a key, a reference, a value).
    void finish();

private:
    void send();
    [[noreturn]] void fail(const QString& reason);

    Database& m_db;
    void* m_conn = nullptr;   // the PGconn, kept out of the header
    QByteArray m_pending;
    bool m_open = false;
};

} // namespace appserver
