#pragma once

// Inside the storage room only: the engines' own handles under Qt's drivers, and how their failures read.
#include "databaseerror.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace appserver::driver {

template <typename T>
T* driverHandle(const QSqlDriver* driver, const char* typeName, const char* altTypeName)
{
    if (!driver)
        return nullptr;
    const QVariant handle = driver->handle();
    if (!handle.isValid() || (qstrcmp(handle.typeName(), typeName) != 0 && qstrcmp(handle.typeName(), altTypeName) != 0))
        return nullptr;
    return *static_cast<T* const*>(handle.constData());
}

// The driver declares the handle as PGconn*, which Qt names after the struct behind the typedef.
inline PGconn* postgresHandle(const QSqlDriver* driver)
{
    return driverHandle<PGconn>(driver, "pg_conn*", "PGconn*");
}

inline QString driverText(const QSqlError& error)
{
    // libpq's messages run over several lines; the client shows one.
    QString text = error.text().simplified();
    return text.isEmpty() ? QStringLiteral("erro desconhecido") : text;
}

// libpq knows when the server went away (it read the end of the stream or a fatal message); the
// driver only reports the failed statement.
inline bool connectionBroken(const QSqlDriver* driver)
{
    PGconn* conn = postgresHandle(driver);
    return conn && PQstatus(conn) == CONNECTION_BAD;
}

inline sqlite3* sqliteHandle(const QSqlDriver* driver)
{
    return driverHandle<sqlite3>(driver, "sqlite3*", "sqlite3*");
}

// SQLite's failure on handle as the user reads it: a full disk or a file that went bad in Portuguese,
// reason (the driver's text) otherwise. A failure that leaves the connection unfit (the file changed
// under it, a journal it cannot roll back) says the connection is lost, so the pool opens a new one;
// a journal left hot by a writer that died is rolled back first when the file can be written.
DatabaseError sqliteError(const QString& what, sqlite3* handle, const QString& reason);
/// Rolls back a journal left hot in the SQLite file at path by a writer that failed, by reading the file
/// once with write access. Empty when done (or there was none to roll back), else why not.
QString recoverSqliteJournal(const QString& path);

// This thread's statement for sql on the named connection, prepared on its first use and kept until the
// connection closes. SQLite: null with *rc set when it cannot be prepared; reset it after use.
sqlite3_stmt* preparedSqlite(const QString& connection, sqlite3* handle, const QByteArray& sql, int* rc);
// PostgreSQL: the server-side name of the prepared statement, empty with *error when it cannot be prepared.
QByteArray preparedPostgres(const QString& connection, PGconn* conn, const QByteArray& sql, int params, QString* error);
// Drops what this thread prepared on the connection (a server that no longer knows its statements).
void forgetPrepared(const QString& connection);

inline DatabaseError statementError(const QString& what, const QSqlDriver* driver, const QSqlError& error)
{
    if (sqlite3* handle = sqliteHandle(driver))
        return sqliteError(what, handle, driverText(error));
    if (connectionBroken(driver))
        return DatabaseError(QStringLiteral("A conexão com o banco de dados foi perdida (%1); uma nova conexão "
                                            "será aberta na próxima chamada.")
                                 .arg(driverText(error)),
                             true, false, DatabaseError::Kind::Unavailable);
    return DatabaseError(QStringLiteral("%1: %2").arg(what, driverText(error)), false, false, DatabaseError::Kind::Failed);
}

} // namespace appserver::driver
