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

inline DatabaseError statementError(const QString& what, const QSqlDriver* driver, const QSqlError& error)
{
    if (connectionBroken(driver))
        return DatabaseError(QStringLiteral("A conexão com o banco de dados foi perdida (%1); uma nova conexão "
                                            "será aberta na próxima chamada.")
                                 .arg(driverText(error)),
                             true);
    return DatabaseError(QStringLiteral("%1: %2").arg(what, driverText(error)));
}

inline sqlite3* sqliteHandle(const QSqlDriver* driver)
{
    return driverHandle<sqlite3>(driver, "sqlite3*", "sqlite3*");
}

} // namespace appserver::driver
