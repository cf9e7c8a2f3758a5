#include "database.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QStringList>
#include <QThread>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <utility>

namespace appserver {

namespace {

std::atomic<quint64> g_nextId{1};

// Connections this thread opened, each with the generation it was opened in; removed when the
// thread ends, on the thread that owns them. t_connectionsGone is trivially destructible, so it can
// still be read after the thread's ThreadConnections is gone (a Database destroyed during static
// destruction, after the main thread's thread-locals).
thread_local bool t_connectionsGone = false;

struct ThreadConnections {
    QHash<QString, quint64> generations;
    ~ThreadConnections()
    {
        t_connectionsGone = true;
        for (auto it = generations.cbegin(); it != generations.cend(); ++it) {
            {
                QSqlDatabase db = QSqlDatabase::database(it.key(), false);
                db.close();
            }
            QSqlDatabase::removeDatabase(it.key());
        }
    }
};

thread_local ThreadConnections t_connections;

// The interrupt of the work this thread runs for a call; null outside such work (imports, start-up).
thread_local StatementInterrupt* t_interrupt = nullptr;

const QString kInterrupted = QStringLiteral("A consulta ao banco de dados foi interrompida: a chamada terminou.");

// SQLite calls this every few thousand steps of a statement; non-zero ends the statement with
// SQLITE_INTERRUPT. It runs on the thread that runs the statement, so the thread's work is the one to ask.
int sqliteProgress(void*)
{
    return t_interrupt && t_interrupt->interrupted() ? 1 : 0;
}

constexpr int kProgressSteps = 4000;

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
PGconn* postgresHandle(const QSqlDriver* driver)
{
    return driverHandle<PGconn>(driver, "pg_conn*", "PGconn*");
}

QString driverText(const QSqlError& error)
{
    // libpq's messages run over several lines; the client shows one.
    QString text = error.text().simplified();
    return text.isEmpty() ? QStringLiteral("erro desconhecido") : text;
}

// libpq knows when the server went away (it read the end of the stream or a fatal message); the
// driver only reports the failed statement.
bool connectionBroken(const QSqlDriver* driver)
{
    PGconn* conn = postgresHandle(driver);
    return conn && PQstatus(conn) == CONNECTION_BAD;
}

DatabaseError statementError(const QString& what, const QSqlDriver* driver, const QSqlError& error)
{
    if (connectionBroken(driver))
        return DatabaseError(QStringLiteral("A conexão com o banco de dados foi perdida (%1); uma nova conexão "
                                            "será aberta na próxima chamada.")
                                 .arg(driverText(error)),
                             true);
    return DatabaseError(QStringLiteral("%1: %2").arg(what, driverText(error)));
}

} // namespace

StatementInterrupt::~StatementInterrupt()
{
    release();
}

void StatementInterrupt::interrupt()
{
    m_interrupted.store(true, std::memory_order_release);
    // Under the lock, so the worker cannot free the cancel object (and move on to other work on the
    // same connection) while the request is on its way.
    std::lock_guard lock(m_mutex);
    if (m_pgCancel) {
        char error[256];
        PQcancel(static_cast<PGcancel*>(m_pgCancel), error, sizeof error);
    }
}

void StatementInterrupt::watchPostgres(void* conn)
{
    std::lock_guard lock(m_mutex);
    if (!m_pgCancel)
        m_pgCancel = PQgetCancel(static_cast<PGconn*>(conn));
}

void StatementInterrupt::release()
{
    std::lock_guard lock(m_mutex);
    if (m_pgCancel)
        PQfreeCancel(static_cast<PGcancel*>(m_pgCancel));
    m_pgCancel = nullptr;
}

Database::InterruptScope::InterruptScope(StatementInterrupt& interrupt)
{
    t_interrupt = &interrupt;
}

Database::InterruptScope::~InterruptScope()
{
    if (t_interrupt)
        t_interrupt->release();
    t_interrupt = nullptr;
}

QString DatabaseSettings::displayName() const
{
    if (driver == QLatin1String("QSQLITE"))
        return databaseName;
    QString text = QStringLiteral("postgresql://");
    if (!userName.isEmpty())
        text += userName + QLatin1Char('@');
    text += hostName;
    if (port > 0)
        text += QLatin1Char(':') + QString::number(port);
    return text + QLatin1Char('/') + databaseName;
}

Database::Database(DatabaseSettings settings) : m_settings(std::move(settings)), m_id(g_nextId++) {}

Database::~Database()
{
    // Other threads' connections go when their threads end; this thread's goes now.
    if (t_connectionsGone)
        return;
    const QString name = connectionName();
    if (t_connections.generations.remove(name)) {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
}

bool Database::isSqlite() const
{
    return m_settings.driver == QLatin1String("QSQLITE");
}

bool Database::isPostgres() const
{
    return m_settings.driver == QLatin1String("QPSQL");
}

QString Database::connectionName() const
{
    return QStringLiteral("kpd-%1-%2")
        .arg(m_id)
        .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()));
}

void Database::markConnectionsStale()
{
    ++m_generation;
}

void Database::fail(const QString& what, const QSqlDatabase& db, const QSqlError& error)
{
    const DatabaseError e = statementError(what, db.driver(), error);
    if (e.connectionLost())
        markConnectionsStale();
    throw e;
}

QSqlDatabase Database::connection()
{
    const QString name = connectionName();
    const quint64 generation = m_generation.load();
    const auto known = t_connections.generations.constFind(name);
    if (known != t_connections.generations.cend()) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen() && known.value() == generation && !connectionBroken(db.driver()))
            return db;
        db.close();
    }
    if (isSqlite() && m_settings.readOnly && !QFileInfo::exists(m_settings.databaseName))
        throw DatabaseError(QStringLiteral("O banco de dados \"%1\" não existe.").arg(m_settings.databaseName));

    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(m_settings.driver, name);
    t_connections.generations.insert(name, generation);
    if (!db.isValid())
        throw DatabaseError(QStringLiteral("O driver de banco de dados \"%1\" não está disponível%2.")
                                .arg(m_settings.driver,
                                     isPostgres() ? QStringLiteral(" (instale o pacote libqt6sql6-psql)") : QString()));
    db.setDatabaseName(m_settings.databaseName);
    if (!m_settings.hostName.isEmpty())
        db.setHostName(m_settings.hostName);
    if (m_settings.port > 0)
        db.setPort(m_settings.port);
    if (!m_settings.userName.isEmpty())
        db.setUserName(m_settings.userName);
    if (!m_settings.password.isEmpty())
        db.setPassword(m_settings.password);
    QStringList options = m_settings.connectOptions;
    if (isSqlite()) {
        options << QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
        if (m_settings.readOnly)
            options << QStringLiteral("QSQLITE_OPEN_READONLY");
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open())
        throw DatabaseError(QStringLiteral("Não foi possível abrir o banco de dados \"%1\": %2")
                                .arg(m_settings.displayName(), driverText(db.lastError())));
    QSqlQuery session(db);
    if (isSqlite()) {
        if (sqlite3* handle = driverHandle<sqlite3>(db.driver(), "sqlite3*", "sqlite3*"))
            sqlite3_progress_handler(handle, kProgressSteps, sqliteProgress, nullptr);
        // A month of a large company is a few megabytes of index; keep it in this connection's cache
        // (SQLite's default is 2 MB) so repeated calls do not read it again.
        session.exec(QStringLiteral("PRAGMA cache_size = -32768"));
    } else if (isPostgres()) {
        // The server's notices would go to standard error through libpq, between the call log lines.
        QStringList settings{QStringLiteral("SET client_min_messages = warning")};
        if (m_settings.readOnly)
            settings << QStringLiteral("SET default_transaction_read_only = on");
        if (m_settings.statementTimeoutMs > 0)
            settings << QStringLiteral("SET statement_timeout = %1").arg(m_settings.statementTimeoutMs);
        for (const QString& sql : std::as_const(settings)) {
            if (!session.exec(sql)) {
                const QSqlError error = session.lastError();
                db.close();
                throw DatabaseError(QStringLiteral("Não foi possível configurar a conexão com o banco de dados \"%1\": %2")
                                        .arg(m_settings.displayName(), driverText(error)));
            }
        }
    }
    return db;
}

void Database::checkInterrupt(const QSqlDatabase& db) const
{
    if (!t_interrupt)
        return;
    // Watched first: an interrupt from now on sends the cancel request, one before it is seen below.
    if (isPostgres()) {
        if (PGconn* conn = postgresHandle(db.driver()))
            t_interrupt->watchPostgres(conn);
    }
    if (t_interrupt->interrupted())
        throw DatabaseError(kInterrupted);
}

QSqlQuery Database::prepare(const QString& sql)
{
    const QSqlDatabase db = connection();
    checkInterrupt(db);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        fail(QStringLiteral("Erro ao preparar a consulta ao banco de dados"), db, query.lastError());
    return query;
}

void Database::exec(QSqlQuery& query)
{
    if (t_interrupt && t_interrupt->interrupted())
        throw DatabaseError(kInterrupted);
    if (!query.exec())
        throw statementError(QStringLiteral("Erro ao consultar o banco de dados"), query.driver(), query.lastError());
}

void Database::execDirect(const QString& sql)
{
    const QSqlDatabase db = connection();
    checkInterrupt(db);
    QSqlQuery query(db);
    if (!query.exec(sql))
        fail(QStringLiteral("Erro ao executar o comando no banco de dados"), db, query.lastError());
}

namespace {

class SqliteRow final : public Database::Row {
public:
    explicit SqliteRow(sqlite3_stmt* statement) : m_statement(statement) {}
    bool isNull(int c) const override { return sqlite3_column_type(m_statement, c) == SQLITE_NULL; }
    qint64 integer(int c) const override { return sqlite3_column_int64(m_statement, c); }
    double real(int c) const override { return sqlite3_column_double(m_statement, c); }
    QByteArray text(int c) const override
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, c));
        return QByteArray(data, sqlite3_column_bytes(m_statement, c));
    }

private:
    sqlite3_stmt* m_statement;
};

class PostgresRow final : public Database::Row {
public:
    PostgresRow(const PGresult* result, int row) : m_result(result), m_row(row) {}
    bool isNull(int c) const override { return PQgetisnull(m_result, m_row, c) != 0; }
    qint64 integer(int c) const override { return std::strtoll(PQgetvalue(m_result, m_row, c), nullptr, 10); }
    // strtod rounds the decimal text correctly, as QString::toDouble() does: the same double.
    double real(int c) const override { return std::strtod(PQgetvalue(m_result, m_row, c), nullptr); }
    QByteArray text(int c) const override
    {
        return QByteArray(PQgetvalue(m_result, m_row, c), PQgetlength(m_result, m_row, c));
    }

private:
    const PGresult* m_result;
    int m_row;
};

QByteArray parameterText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().toString(Qt::ISODate).toUtf8();
    return value.toString().toUtf8();
}

} // namespace

void Database::forEachRow(const QString& sql, const QVariantList& params, const std::function<void(const Row&)>& row)
{
    const QSqlDatabase db = connection();
    checkInterrupt(db);
    const QString what = QStringLiteral("Erro ao consultar o banco de dados");
    QList<QByteArray> texts;
    for (const QVariant& p : params)
        texts << parameterText(p);

    if (sqlite3* handle = isSqlite() ? driverHandle<sqlite3>(db.driver(), "sqlite3*", "sqlite3*") : nullptr) {
        const auto failed = [&](int code) -> DatabaseError {
            if (code == SQLITE_INTERRUPT && t_interrupt && t_interrupt->interrupted())
                return DatabaseError(kInterrupted);
            return DatabaseError(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(handle))));
        };
        sqlite3_stmt* statement = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        int rc = sqlite3_prepare_v2(handle, utf8.constData(), int(utf8.size()), &statement, nullptr);
        if (rc != SQLITE_OK)
            throw failed(rc);
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(statement, sqlite3_finalize);
        for (int i = 0; i < texts.size(); ++i) {
            if (params[i].typeId() == QMetaType::LongLong || params[i].typeId() == QMetaType::Int)
                sqlite3_bind_int64(statement, i + 1, params[i].toLongLong());
            else
                sqlite3_bind_text(statement, i + 1, texts[i].constData(), int(texts[i].size()), SQLITE_TRANSIENT);
        }
        const SqliteRow current(statement);
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
            row(current);
        if (rc != SQLITE_DONE)
            throw failed(rc);
        return;
    }

    if (PGconn* conn = isPostgres() ? postgresHandle(db.driver()) : nullptr) {
        // libpq numbers its parameters.
        QByteArray utf8;
        int n = 0;
        for (const QChar c : sql) {
            if (c == QLatin1Char('?'))
                utf8 += '$' + QByteArray::number(++n);
            else
                utf8 += QString(c).toUtf8();
        }
        std::vector<const char*> values;
        for (const QByteArray& t : texts)
            values.push_back(t.constData());
        const std::unique_ptr<PGresult, void (*)(PGresult*)> result(
            PQexecParams(conn, utf8.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0), PQclear);
        if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
            if (t_interrupt && t_interrupt->interrupted())
                throw DatabaseError(kInterrupted);
            const QString message = QString::fromUtf8(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(conn)).simplified();
            if (PQstatus(conn) == CONNECTION_BAD) {
                markConnectionsStale();
                throw DatabaseError(QStringLiteral("A conexão com o banco de dados foi perdida (%1); uma nova conexão "
                                                   "será aberta na próxima chamada.")
                                        .arg(message),
                                    true);
            }
            throw DatabaseError(QStringLiteral("%1: %2").arg(what, message.isEmpty() ? QStringLiteral("erro desconhecido") : message));
        }
        const int rows = PQntuples(result.get());
        for (int r = 0; r < rows; ++r)
            row(PostgresRow(result.get(), r));
        return;
    }

    // Another driver: the same rows through Qt.
    QSqlQuery query = prepare(sql);
    for (const QVariant& p : params)
        query.addBindValue(p);
    exec(query);
    class VariantRow final : public Row {
    public:
        explicit VariantRow(const QSqlQuery& q) : m_q(q) {}
        bool isNull(int c) const override { return m_q.isNull(c); }
        qint64 integer(int c) const override { return m_q.value(c).toLongLong(); }
        double real(int c) const override { return m_q.value(c).toDouble(); }
        QByteArray text(int c) const override { return m_q.value(c).toString().toUtf8(); }

    private:
        const QSqlQuery& m_q;
    };
    while (query.next())
        row(VariantRow(query));
}

void Database::beginTransaction()
{
    QSqlDatabase db = connection();
    if (!db.transaction())
        fail(QStringLiteral("Não foi possível iniciar a transação"), db, db.driver()->lastError());
}

void Database::commit()
{
    QSqlDatabase db = connection();
    if (!db.commit())
        fail(QStringLiteral("Não foi possível gravar a transação"), db, db.driver()->lastError());
}

void Database::rollback() noexcept
{
    try {
        connection().rollback();
    } catch (const DatabaseError&) {
    }
}

QVariant Database::dateValue(const QDate& date) const
{
    if (isSqlite())
        return date.toString(Qt::ISODate);
    return date;
}

QVariant Database::timestampValue(const QDateTime& dateTime) const
{
    if (isSqlite())
        return dateTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return dateTime;
}

QDateTime Database::toDateTime(const QVariant& value)
{
    if (value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::QDateTime:
        return value.toDateTime();
    case QMetaType::QDate:
        return value.toDate().startOfDay();
    default:
        break;
    }
    const QString text = value.toString().trimmed();
    QDateTime dt = QDateTime::fromString(text.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid())
        dt = QDateTime::fromString(text.left(19), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(text.left(10), Qt::ISODate);
        if (d.isValid())
            dt = d.startOfDay();
    }
    return dt;
}

} // namespace appserver
