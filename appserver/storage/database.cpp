#include "database.h"

#include "driverhandles.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QStringList>
#include <QThread>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <mutex>
#include <tuple>
#include <utility>

#include <sys/stat.h>

namespace appserver {

using namespace driver;

namespace {

std::atomic<quint64> g_nextId{1};

// Connections this thread opened, each with the generation it was opened in; removed when the
// thread ends, on the thread that owns them. t_connectionsGone is trivially destructible, so it can
// still be read after the thread's ThreadConnections is gone (a Database destroyed during static
// destruction, after the main thread's thread-locals).
thread_local bool t_connectionsGone = false;

// Statements prepared once on a connection and used again by every call of the thread; finalized before
// the connection closes (SQLite will not close a connection with statements open).
struct PreparedStatements {
    void* handle = nullptr;   // the engine's connection they belong to
    QHash<QByteArray, sqlite3_stmt*> sqlite;
    QHash<QByteArray, QByteArray> postgres;   // text → the statement's name on the server
};

struct ThreadConnections {
    // name → the generation and the file (device, inode; zeros when not watched) it was opened in
    QHash<QString, std::tuple<quint64, quint64, quint64>> generations;
    QHash<QString, PreparedStatements> prepared;   // by connection name

    void forget(const QString& name)
    {
        const auto it = prepared.find(name);
        if (it == prepared.end())
            return;
        for (sqlite3_stmt* statement : std::as_const(it->sqlite))
            sqlite3_finalize(statement);
        prepared.erase(it);
    }
    void close(const QString& name)
    {
        forget(name);
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    ~ThreadConnections()
    {
        t_connectionsGone = true;
        for (auto it = generations.cbegin(); it != generations.cend(); ++it) {
            close(it.key());
            QSqlDatabase::removeDatabase(it.key());
        }
    }
};

thread_local ThreadConnections t_connections;

// SQLite calls this every few thousand steps of a statement; non-zero ends the statement with
// SQLITE_INTERRUPT. It runs on the thread that runs the statement, so the thread's work is the one to ask.
int sqliteProgress(void*)
{
    const StatementInterrupt* interrupt = StatementInterrupt::current();
    return interrupt && interrupt->interrupted() ? 1 : 0;
}

constexpr int kProgressSteps = 4000;

} // namespace

namespace {

// What a connection of this process found damaged, per file path, with the file as it was then: health
// reports it until the path names another file or the file is written again.
struct Damage {
    QString reason;
    struct stat file {};
};
std::mutex g_damageMutex;
QHash<QString, Damage> g_damage;

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec
           && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

void recordDamage(const QString& name, const QString& reason)
{
    const QString path = QFileInfo(name).canonicalFilePath();
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return;
    std::lock_guard lock(g_damageMutex);
    g_damage.insert(path, Damage{reason, st});
}

} // namespace

QString Database::damageOf(const QString& name)
{
    const QString path = QFileInfo(name).canonicalFilePath();
    std::lock_guard lock(g_damageMutex);
    const auto it = g_damage.constFind(path);
    if (it == g_damage.cend())
        return {};
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && sameFile(st, it->file))
        return it->reason;
    g_damage.erase(it);
    return {};
}

namespace driver {

sqlite3_stmt* preparedSqlite(const QString& connection, sqlite3* handle, const QByteArray& sql, int* rc)
{
    PreparedStatements& mine = t_connections.prepared[connection];
    if (mine.handle != handle)
        mine = PreparedStatements{handle, {}, {}};
    sqlite3_stmt*& statement = mine.sqlite[sql];
    *rc = SQLITE_OK;
    if (!statement) {
        *rc = sqlite3_prepare_v3(handle, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (*rc != SQLITE_OK) {
            sqlite3_finalize(statement);
            mine.sqlite.remove(sql);
            return nullptr;
        }
    }
    return statement;
}

QByteArray preparedPostgres(const QString& connection, PGconn* conn, const QByteArray& sql, int params, QString* error)
{
    PreparedStatements& mine = t_connections.prepared[connection];
    if (mine.handle != conn)
        mine = PreparedStatements{conn, {}, {}};
    const auto known = mine.postgres.constFind(sql);
    if (known != mine.postgres.cend())
        return *known;
    const QByteArray name = "kpd_" + QByteArray::number(mine.postgres.size() + 1);
    const std::unique_ptr<PGresult, void (*)(PGresult*)> result(PQprepare(conn, name.constData(), sql.constData(), params, nullptr),
                                                                PQclear);
    if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
        *error = QString::fromUtf8(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(conn)).simplified();
        return {};
    }
    mine.postgres.insert(sql, name);
    return name;
}

void forgetPrepared(const QString& connection)
{
    t_connections.forget(connection);
}

QString recoverSqliteJournal(const QString& path)
{
    sqlite3* handle = nullptr;
    const QByteArray file = path.toUtf8();
    int rc = sqlite3_open_v2(file.constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    QString why;
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(handle, int(Database::kBusyWait.count()));
        // The first read with write access plays the journal back into the file.
        rc = sqlite3_exec(handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK)
        why = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
    sqlite3_close_v2(handle);
    return why;
}

DatabaseError sqliteError(const QString& what, sqlite3* handle, const QString& reason)
{
    const int code = sqlite3_extended_errcode(handle);
    const char* file = sqlite3_db_filename(handle, "main");
    const QString path = file ? QString::fromUtf8(file) : QString();
    switch (code & 0xff) {
    case SQLITE_FULL:
        return DatabaseError(QStringLiteral("%1: o disco do banco de dados \"%2\" está cheio.").arg(what, path), false, false,
                             DatabaseError::Kind::DiskFull);
    case SQLITE_BUSY:
        return DatabaseError(QStringLiteral("%1: %2").arg(what, reason), false, true);
    case SQLITE_READONLY:
        if (code == SQLITE_READONLY_ROLLBACK) {
            // A writer died inside a transaction (a load that filled the disk, a kill): until its journal is
            // rolled back no read-only connection can read the file, this one included.
            const QString why = recoverSqliteJournal(path);
            if (why.isEmpty())
                return DatabaseError(QStringLiteral("O banco de dados \"%1\" tinha uma gravação interrompida (um "
                                                    "diário \"-journal\" deixado por uma carga que falhou); ela foi "
                                                    "desfeita e a próxima chamada lerá o banco.")
                                         .arg(path),
                                     true);
            return DatabaseError(QStringLiteral("O banco de dados \"%1\" tem uma gravação interrompida (um diário "
                                                "\"-journal\" deixado por uma carga que falhou) que o servidor não "
                                                "pôde desfazer (%2); rode a carga de novo ou dê ao servidor "
                                                "permissão de escrita na pasta do banco.")
                                     .arg(path, why),
                                 true);
        }
        [[fallthrough]];
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB: {
        // Answers kept from before may still be served, and a fresh connection may find the pages it reads
        // intact: health must learn of the damage from whoever met it.
        const bool damaged = (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
        if (damaged)
            recordDamage(path, reason);
        const DatabaseError::Kind kind = damaged ? DatabaseError::Kind::Damaged : DatabaseError::Kind::Unavailable;
        // The file changed or went bad under a server's connection; a new one sees the file as it is now.
        if (sqlite3_db_readonly(handle, "main") == 1)
            return DatabaseError(
                QStringLiteral("%1: %2; a conexão será aberta de novo na próxima chamada.").arg(what, reason), true, false, kind);
        return DatabaseError(QStringLiteral("%1: %2").arg(what, reason), false, false, kind);
    }
    default:
        return DatabaseError(QStringLiteral("%1: %2").arg(what, reason), false, false, DatabaseError::Kind::Failed);
    }
}

} // namespace driver

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

DatabaseSettings DatabaseSettings::withNameSuffix(const QString& suffix) const
{
    DatabaseSettings named = *this;
    for (QString& option : named.connectOptions) {
        if (option.startsWith(QLatin1String("application_name=")))
            option.insert(option.endsWith(QLatin1Char('\'')) ? option.size() - 1 : option.size(), suffix);
    }
    return named;
}

Database::Database(DatabaseSettings settings) : m_settings(std::move(settings)), m_id(g_nextId++) {}

Database::~Database()
{
    // Other threads' connections go when their threads end; this thread's goes now.
    if (t_connectionsGone)
        return;
    const QString name = connectionName();
    if (t_connections.generations.remove(name)) {
        t_connections.close(name);
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

bool Database::watchesFile() const
{
    return isSqlite() && m_settings.readOnly;
}

Database::FileId Database::currentFile(bool fresh)
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_fileMutex);
    if (!fresh && m_fileSeen && now - m_fileChecked < kFileCheckInterval)
        return m_file;
    struct stat st {};
    m_file = ::stat(QFile::encodeName(m_settings.databaseName).constData(), &st) == 0
                 ? FileId{quint64(st.st_dev), quint64(st.st_ino), true}
                 : FileId{};
    m_fileChecked = now;
    if (!m_file.present && !m_fileSeen)
        throw DatabaseError(QStringLiteral("O banco de dados \"%1\" não existe.").arg(m_settings.databaseName));
    m_fileSeen = true;
    return m_file;
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
    // A connection keeps reading the file it opened, even once the path names another file or none:
    // a server must follow the path, as the ETL that swaps or removes the file expects.
    FileId file = watchesFile() ? currentFile() : FileId{};
    auto opened = std::make_tuple(generation, file.device, file.inode);
    const auto known = t_connections.generations.constFind(name);
    if (known != t_connections.generations.cend()) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen() && known.value() == opened && !connectionBroken(db.driver()))
            return db;
        t_connections.close(name);
    }
    // A connection opened now reads the file the path names now, which the last interval's look may not
    // have seen yet: it is named after a look of its own, and every other thread's next look is that one,
    // so no thread goes on answering from the file this one has left (new figures, then old ones again).
    if (watchesFile()) {
        file = currentFile(true);
        opened = std::make_tuple(generation, file.device, file.inode);
    }
    if (watchesFile() && !file.present)
        throw DatabaseError(QStringLiteral("O arquivo do banco de dados \"%1\" foi removido; as chamadas falham até que "
                                           "ele volte ao lugar.")
                                .arg(m_settings.databaseName));

    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(m_settings.driver, name);
    t_connections.generations.insert(name, opened);
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
        options << QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyWait.count());
        if (m_settings.readOnly)
            options << QStringLiteral("QSQLITE_OPEN_READONLY");
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open())
        throw DatabaseError(QStringLiteral("Não foi possível abrir o banco de dados \"%1\": %2")
                                .arg(m_settings.displayName(), driverText(db.lastError())),
                            false, false, DatabaseError::Kind::Unavailable);
    QSqlQuery session(db);
    if (isSqlite()) {
        if (sqlite3* handle = sqliteHandle(db.driver()))
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
    StatementInterrupt* interrupt = StatementInterrupt::current();
    if (!interrupt)
        return;
    // Watched first: an interrupt from now on sends the cancel request, one before it is seen below.
    if (isPostgres()) {
        if (PGconn* conn = postgresHandle(db.driver()))
            interrupt->watchPostgres(conn);
    }
    StatementInterrupt::throwIfInterrupted();
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
    StatementInterrupt::throwIfInterrupted();
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

void Database::beginTransaction()
{
    QSqlDatabase db = connection();
    if (!db.transaction())
        fail(QStringLiteral("Não foi possível iniciar a transação"), db, db.driver()->lastError());
}

void Database::beginWriting(std::chrono::milliseconds wait)
{
    if (!isSqlite()) {
        beginTransaction();
        return;
    }
    sqlite3* handle = sqliteHandle(connection().driver());
    if (handle)
        sqlite3_busy_timeout(handle, int(wait.count()));
    const auto restore = qScopeGuard([handle] {
        if (handle)
            sqlite3_busy_timeout(handle, int(kBusyWait.count()));
    });
    try {
        execDirect(QStringLiteral("BEGIN IMMEDIATE"));
    } catch (const DatabaseError& e) {
        if (!e.busy())
            throw;
        throw DatabaseError(QStringLiteral("Outro processo está gravando no banco de dados \"%1\" e não terminou em %2 s; "
                                           "tente de novo quando ele terminar.")
                                .arg(m_settings.displayName(),
                                     QLocale(QLocale::Portuguese, QLocale::Brazil).toString(double(wait.count()) / 1000.0)),
                            false, true);
    }
}

void Database::commit()
{
    QSqlDatabase db = connection();
    if (!db.commit())
        fail(QStringLiteral("Não foi possível gravar a transação"), db, db.driver()->lastError());
}

QString Database::rollback() noexcept
{
    try {
        QSqlDatabase db = connection();
        sqlite3* handle = isSqlite() ? sqliteHandle(db.driver()) : nullptr;
        // After a full disk or an I/O error SQLite may have ended the transaction itself; a ROLLBACK then
        // only fails for want of one.
        QString why;
        if (!(handle && sqlite3_get_autocommit(handle)) && !db.rollback())
            why = driverText(db.driver()->lastError());
        if (handle) {
            // A rollback that failed half-way leaves the journal hot: play it back now, on a new connection,
            // rather than leave it to whoever reads the file next.
            const QString journal = m_settings.databaseName + QStringLiteral("-journal");
            if (QFileInfo(journal).size() > 0) {
                t_connections.close(connectionName());
                markConnectionsStale();
                const QString recovered = recoverSqliteJournal(m_settings.databaseName);
                if (!recovered.isEmpty())
                    why = why.isEmpty() ? recovered : why + QStringLiteral("; ") + recovered;
                else
                    why.clear();
            }
        }
        return why;
    } catch (const DatabaseError& e) {
        return e.message();
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
