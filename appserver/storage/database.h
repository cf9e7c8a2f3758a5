#pragma once

#include "refmonth.h"
#include "databaseerror.h"
#include "statementinterrupt.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

struct pg_conn;
struct pg_result;

namespace appserver {

/// Where the figures live. SQLite by default; the fields for a server database (host, port, user)
/// are there for the PostgreSQL driver ("QPSQL"). A PostgreSQL password is never set here: libpq
/// reads it from PGPASSWORD or ~/.pgpass.
struct DatabaseSettings {
    QString driver = QStringLiteral("QSQLITE");
    QString databaseName;   ///< SQLite: file path; PostgreSQL: database name
    QString hostName;
    int port = -1;
    QString userName;
    QString password;
    bool readOnly = false;  ///< SQLite: open the file read-only and never create it; PostgreSQL:
                            ///< read-only transactions
    QStringList connectOptions;   ///< driver options, "key=value" (libpq keywords for PostgreSQL)
    int statementTimeoutMs = 0;   ///< PostgreSQL: a statement running longer is cancelled; 0 = never

    static DatabaseSettings sqliteFile(const QString& path, bool readOnly)
    {
        DatabaseSettings s;
        s.databaseName = path;
        s.readOnly = readOnly;
        return s;
    }

    /// How messages name the database: the file, or user@host:port/name (never a password).
    QString displayName() const;
    /// The same settings with suffix after the application name, so that the database's list of
    /// sessions tells these connections from the pool's.
    DatabaseSettings withNameSuffix(const QString& suffix) const;
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
    bool isPostgres() const;

    /// This thread's connection, opened on first use, and opened again when the last one broke or
    /// was marked stale. Throws DatabaseError when it cannot be opened.
    QSqlDatabase connection();
    /// After one thread met a broken connection the others' are most likely broken too (the server
    /// restarted): each thread opens a new one before its next statement instead of failing first.
    void markConnectionsStale();

    /// Makes interrupt the statement interrupt of this thread's work until the scope ends.
    class InterruptScope {
    public:
        explicit InterruptScope(StatementInterrupt& interrupt);
        ~InterruptScope();
        InterruptScope(const InterruptScope&) = delete;
        InterruptScope& operator=(const InterruptScope&) = delete;
    };

    /// A forward-only query prepared on this thread's connection. Throws DatabaseError.
    QSqlQuery prepare(const QString& sql);
    /// Runs a prepared query. Throws DatabaseError with the driver's text (connectionLost() set when
    /// the connection broke).
    static void exec(QSqlQuery& query);
    /// Runs one statement without parameters (DDL, pragmas). Throws DatabaseError.
    void execDirect(const QString& sql);

    /// Runs a statement that writes, with positional parameters as forEachRow takes them; bytes (QByteArray)
    /// reach PostgreSQL as they are rather than escaped into text. Throws DatabaseError as exec() does.
    void write(const QString& sql, const QVariantList& params);

    /// One row of forEachRow, read in place: valid only during the call that receives it.
    class Row {
    public:
        virtual bool isNull(int column) const = 0;
        virtual qint64 integer(int column) const = 0;
        virtual double real(int column) const = 0;   ///< as toDouble() of the driver's value
        virtual QByteArray text(int column) const = 0;   ///< UTF-8
        virtual QByteArray bytes(int column) const = 0;  ///< a BLOB or BYTEA as its bytes
        /// A DATE column (ISO text on SQLite, the driver's text elsewhere); invalid when NULL.
        QDate date(int column) const { return QDate::fromString(QString::fromLatin1(text(column).left(10)), Qt::ISODate); }
        cockpit::RefMonth month(int column) const { return cockpit::RefMonth(date(column)); }
    protected:
        ~Row() = default;
    };
    /// Runs a query with positional parameters (text, dates as dateValue() gives them, integers) and
    /// hands over each row straight from the engine's library, without a QVariant per value: for the
    /// statements that read a row per branch. Throws DatabaseError as exec() does.
    void forEachRow(const QString& sql, const QVariantList& params, const std::function<void(const Row&)>& row);

    void beginTransaction();
    /// Why the SQLite file at path was found damaged ("file is not a database", "database disk image is
    /// malformed") by a connection of this process, while the path names that file unchanged; else empty.
    static QString damageOf(const QString& path);

    /// How long an SQLite statement waits for a lock another connection holds.
    static constexpr std::chrono::milliseconds kBusyWait{5000};
    /// A transaction that writes: on SQLite it takes the write lock at once (BEGIN IMMEDIATE), waiting
    /// up to `wait` for another writer to finish, so two processes that read, then write, wait for each
    /// other instead of failing at their first write. A writer that does not finish in time is a
    /// DatabaseError that says so.
    void beginWriting(std::chrono::milliseconds wait = kBusyWait);
    void commit();
    /// Empty when the transaction was undone (or SQLite had undone it itself), else why it could not
    /// be: the file may then hold a journal that the next writer rolls back.
    QString rollback() noexcept;

    /// A date as a parameter: ISO text on SQLite (how the dates are stored), a real date elsewhere.
    QVariant dateValue(const QDate& date) const;
    /// A month as a parameter: its first day, as the tables key their months.
    QVariant dateValue(const cockpit::RefMonth& month) const { return dateValue(month.firstDay()); }
    QVariant timestampValue(const QDateTime& dateTime) const;
    /// A DATE or TIMESTAMP column read back, whichever way the driver hands it over.
    static QDateTime toDateTime(const QVariant& value);

    /// An SQLite file read by a server is watched: how often at most the layer looks at what its path
    /// names now (an ETL may swap in a new file by rename, or remove it).
    static constexpr std::chrono::milliseconds kFileCheckInterval{200};

private:
    /// Which file a path names: device and inode, or none.
    struct FileId {
        quint64 device = 0;
        quint64 inode = 0;
        bool present = false;
        bool operator==(const FileId&) const = default;
    };
    bool watchesFile() const;
    // fresh: stat the path now (and for every thread's next look), not the look of the last interval.
    FileId currentFile(bool fresh = false);

    QString connectionName() const;
    std::unique_ptr<pg_result, void (*)(pg_result*)> runPostgres(pg_conn* conn, const QString& sql, const QVariantList& params,
                                                                 const QString& what);
    void checkInterrupt(const QSqlDatabase& db) const;
    [[noreturn]] void fail(const QString& what, const QSqlDatabase& db, const QSqlError& error);

    DatabaseSettings m_settings;
    quint64 m_id;
    std::atomic<quint64> m_generation{0};
    std::mutex m_fileMutex;
    FileId m_file;
    bool m_fileSeen = false;
    std::chrono::steady_clock::time_point m_fileChecked;
};

} // namespace appserver
