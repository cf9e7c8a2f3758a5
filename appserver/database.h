#pragma once

#include "databaseerror.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

namespace appserver {

/// Where the figures live. SQLite by default; the fields for a server database (host, port, user)
/// are there for the PostgreSQL driver.
struct DatabaseSettings {
    QString driver = QStringLiteral("QSQLITE");
    QString databaseName;   ///< SQLite: file path; PostgreSQL: database name
    QString hostName;
    int port = -1;
    QString userName;
    QString password;
    bool readOnly = false;  ///< SQLite: open the file read-only and never create it
};

/// The small database layer: one connection per thread (Qt connections must stay on the thread that
/// opened them, and gRPC runs handlers on several threads), prepared statements, and the few values
/// whose representation differs between drivers.
class Database {
public:
    explicit Database(DatabaseSettings settings);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const DatabaseSettings& settings() const { return m_settings; }
    bool isSqlite() const;

    /// This thread's connection, opened on first use. Throws DatabaseError when it cannot be opened.
    QSqlDatabase connection();

    /// A forward-only query prepared on this thread's connection. Throws DatabaseError.
    QSqlQuery prepare(const QString& sql);
    /// Runs a prepared query. Throws DatabaseError with the driver's text.
    static void exec(QSqlQuery& query);
    /// Runs one statement without parameters (DDL, pragmas). Throws DatabaseError.
    void execDirect(const QString& sql);

    void beginTransaction();
    void commit();
    void rollback() noexcept;

    /// A date as a parameter: ISO text on SQLite (how the dates are stored), a real date elsewhere.
    QVariant dateValue(const QDate& date) const;
    QVariant timestampValue(const QDateTime& dateTime) const;
    /// A DATE or TIMESTAMP column read back, whichever way the driver hands it over.
    static QDateTime toDateTime(const QVariant& value);

private:
    QString connectionName() const;

    DatabaseSettings m_settings;
    quint64 m_id;
};

} // namespace appserver
