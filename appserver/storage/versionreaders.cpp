#include "versionreaders.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cstdio>
#include <cstdlib>

namespace appserver {

namespace {

// However long the call may wait, the version is read through the pool after this: that wait has the
// call's cancellation and says what went wrong.
constexpr std::chrono::milliseconds kReadLimit{1000};
constexpr std::chrono::milliseconds kRetryAfter{1000};
constexpr const char* kStatement = "kpd_versao";

QString conninfoValue(QString s)
{
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    s.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

// Waits for conn's socket until until; false when the time is up or the wait failed.
bool waitFor(PGconn* conn, short events, std::chrono::steady_clock::time_point until)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return false;
    pollfd p{PQsocket(conn), events, 0};
    return poll(&p, 1, int(left.count())) > 0;
}

// The last result of what was sent on conn, once it is all in; null when until passed or the connection
// failed first (the statement may still be running then, and the connection must go).
PGresult* resultOf(PGconn* conn, std::chrono::steady_clock::time_point until)
{
    while (PQisBusy(conn)) {
        if (!waitFor(conn, POLLIN, until) || !PQconsumeInput(conn))
            return nullptr;
    }
    PGresult* last = nullptr;
    while (PGresult* result = PQgetResult(conn)) {
        PQclear(last);
        last = result;
    }
    return last;
}

// Whether the database answered that it has no version to read this way (no table, no right to read
// it, not one row), rather than failing for a while (a restart, a statement cut short).
bool noVersionHere(const PGresult* result)
{
    if (PQresultStatus(result) == PGRES_TUPLES_OK)
        return PQntuples(result) != 1 || PQnfields(result) != 4;
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    return state && (qstrcmp(state, "42P01") == 0 || qstrcmp(state, "42501") == 0 || qstrcmp(state, "42703") == 0);
}

} // namespace

QByteArray VersionReaders::connectionString(const DatabaseSettings& settings)
{
    QStringList parts;
    if (!settings.hostName.isEmpty())
        parts << QStringLiteral("host=") + conninfoValue(settings.hostName);
    if (!settings.databaseName.isEmpty())
        parts << QStringLiteral("dbname=") + conninfoValue(settings.databaseName);
    if (!settings.userName.isEmpty())
        parts << QStringLiteral("user=") + conninfoValue(settings.userName);
    if (!settings.password.isEmpty())
        parts << QStringLiteral("password=") + conninfoValue(settings.password);
    if (settings.port != -1)
        parts << QStringLiteral("port=") + conninfoValue(QString::number(settings.port));
    for (const QString& option : settings.connectOptions)
        parts << QString(option).replace(QLatin1Char(';'), QLatin1Char(' '));
    return parts.join(QLatin1Char(' ')).toUtf8();
}

VersionReaders::VersionReaders(DatabaseSettings settings, int connections)
    : m_conninfo(connectionString(settings.withNameSuffix(QStringLiteral("-versao")))), m_max(connections)
{
}

VersionReaders::~VersionReaders()
{
    for (PGconn* conn : m_free)
        PQfinish(conn);
}

void VersionReaders::sayOnce(PGconn* conn)
{
    if (m_said.exchange(true))
        return;
    // Calls still work, each with two more thread switches: worth a line for whoever sizes the server.
    std::fprintf(stderr,
                 "kpd-appserver: AVISO: a versão dos dados não pôde ser lida por uma conexão própria (%s); ela é "
                 "lida pelo pool de conexões\n",
                 QString::fromUtf8(PQerrorMessage(conn)).simplified().toLocal8Bit().constData());
}

PGconn* VersionReaders::open()
{
    const auto until = std::chrono::steady_clock::now() + kReadLimit;
    PGconn* conn = PQconnectStart(m_conninfo.constData());
    if (!conn)
        return nullptr;
    // Connected without blocking, so that a database that does not answer holds this call a second at most.
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK) {
        if (state == PGRES_POLLING_FAILED || PQstatus(conn) == CONNECTION_BAD
            || !waitFor(conn, state == PGRES_POLLING_READING ? POLLIN : POLLOUT, until)) {
            sayOnce(conn);
            PQfinish(conn);
            return nullptr;
        }
        state = PQconnectPoll(conn);
    }
    static const QByteArray statement = DataVersion::readStatement(true).toUtf8();
    PGresult* prepared = PQsendPrepare(conn, kStatement, statement.constData(), 0, nullptr)
                             ? resultOf(conn, until)
                             : nullptr;
    if (PQresultStatus(prepared) == PGRES_COMMAND_OK) {
        PQclear(prepared);
        return conn;
    }
    sayOnce(conn);
    if (prepared && noVersionHere(prepared)) {
        std::lock_guard lock(m_mutex);
        m_off = true;
    }
    PQclear(prepared);
    PQfinish(conn);
    return nullptr;
}

PGconn* VersionReaders::take()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_off)
            return nullptr;
        if (!m_free.empty()) {
            PGconn* conn = m_free.back();
            m_free.pop_back();
            return conn;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_open >= m_max || now < m_retryAt)
            return nullptr;
        ++m_open;
        m_retryAt = now + kRetryAfter;
    }
    PGconn* conn = open();
    if (!conn) {
        std::lock_guard lock(m_mutex);
        --m_open;
    }
    return conn;
}

void VersionReaders::give(PGconn* conn, bool sound)
{
    if (sound) {
        std::lock_guard lock(m_mutex);
        m_free.push_back(conn);
        return;
    }
    PQfinish(conn);
    std::lock_guard lock(m_mutex);
    --m_open;
}

std::optional<DataVersion::Value> VersionReaders::read(std::chrono::steady_clock::time_point deadline)
{
    PGconn* conn = take();
    if (!conn)
        return std::nullopt;
    const auto until = std::min(deadline, std::chrono::steady_clock::now() + kReadLimit);
    PGresult* result = PQsendQueryPrepared(conn, kStatement, 0, nullptr, nullptr, nullptr, 0) ? resultOf(conn, until)
                                                                                              : nullptr;
    std::optional<DataVersion::Value> value;
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1 && PQnfields(result) == 4) {
        const auto column = [&](int c) { return std::strtoll(PQgetvalue(result, 0, c), nullptr, 10); };
        value = DataVersion::fromRow(column(0), column(1), column(2), column(3));
    }
    else if (result && noVersionHere(result)) {
        // The pool's read says what there is.
        sayOnce(conn);
        std::lock_guard lock(m_mutex);
        m_off = true;
    }
    PQclear(result);
    give(conn, value && PQstatus(conn) == CONNECTION_OK);
    return value;
}

} // namespace appserver
