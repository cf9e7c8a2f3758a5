#include "database.h"

#include <QFileInfo>
#include <QSqlError>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <utility>

namespace appserver {

namespace {

std::atomic<quint64> g_nextId{1};

// Connections this thread opened; removed when the thread ends, on the thread that owns them.
// Trivially destructible, so it can still be read after the thread's ThreadConnections is gone (a
// Database destroyed during static destruction, after the main thread's thread-locals).
thread_local bool t_connectionsGone = false;

struct ThreadConnections {
    QStringList names;
    ~ThreadConnections()
    {
        t_connectionsGone = true;
        for (const QString& name : std::as_const(names)) {
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                db.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
    }
};

thread_local ThreadConnections t_connections;

QString driverText(const QSqlError& error)
{
    QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("erro desconhecido") : text;
}

} // namespace

Database::Database(DatabaseSettings settings) : m_settings(std::move(settings)), m_id(g_nextId++) {}

Database::~Database()
{
    // Other threads' connections go when their threads end; this thread's goes now.
    if (t_connectionsGone)
        return;
    const QString name = connectionName();
    if (t_connections.names.removeOne(name)) {
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

QString Database::connectionName() const
{
    return QStringLiteral("kpd-%1-%2")
        .arg(m_id)
        .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()));
}

QSqlDatabase Database::connection()
{
    const QString name = connectionName();
    if (t_connections.names.contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            return db;
    }
    if (isSqlite() && m_settings.readOnly && !QFileInfo::exists(m_settings.databaseName))
        throw DatabaseError(QStringLiteral("O banco de dados \"%1\" não existe.").arg(m_settings.databaseName));

    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(m_settings.driver, name);
    if (!t_connections.names.contains(name))
        t_connections.names.append(name);
    if (!db.isValid())
        throw DatabaseError(QStringLiteral("O driver de banco de dados \"%1\" não está disponível.").arg(m_settings.driver));
    db.setDatabaseName(m_settings.databaseName);
    if (!m_settings.hostName.isEmpty())
        db.setHostName(m_settings.hostName);
    if (m_settings.port > 0)
        db.setPort(m_settings.port);
    if (!m_settings.userName.isEmpty())
        db.setUserName(m_settings.userName);
    if (!m_settings.password.isEmpty())
        db.setPassword(m_settings.password);
    if (isSqlite()) {
        QStringList options{QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000")};
        if (m_settings.readOnly)
            options << QStringLiteral("QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options.join(QLatin1Char(';')));
    }
    if (!db.open())
        throw DatabaseError(QStringLiteral("Não foi possível abrir o banco de dados \"%1\": %2")
                                .arg(m_settings.databaseName, driverText(db.lastError())));
    if (isSqlite()) {
        // A month of a large company is a few megabytes of index; keep it in this connection's cache
        // (SQLite's default is 2 MB) so repeated calls do not read it again.
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA cache_size = -32768"));
    }
    return db;
}

QSqlQuery Database::prepare(const QString& sql)
{
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw DatabaseError(QStringLiteral("Erro ao preparar a consulta ao banco de dados: %1")
                                .arg(driverText(query.lastError())));
    return query;
}

void Database::exec(QSqlQuery& query)
{
    if (!query.exec())
        throw DatabaseError(QStringLiteral("Erro ao consultar o banco de dados: %1").arg(driverText(query.lastError())));
}

void Database::execDirect(const QString& sql)
{
    QSqlQuery query(connection());
    if (!query.exec(sql))
        throw DatabaseError(QStringLiteral("Erro ao executar o comando no banco de dados: %1")
                                .arg(driverText(query.lastError())));
}

void Database::beginTransaction()
{
    QSqlDatabase db = connection();
    if (!db.transaction())
        throw DatabaseError(QStringLiteral("Não foi possível iniciar a transação: %1").arg(driverText(db.lastError())));
}

void Database::commit()
{
    QSqlDatabase db = connection();
    if (!db.commit())
        throw DatabaseError(QStringLiteral("Não foi possível gravar a transação: %1").arg(driverText(db.lastError())));
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
