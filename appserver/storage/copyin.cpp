#include "copyin.h"

#include "database.h"
#include "driverhandles.h"

#include <memory>

namespace appserver {

using namespace driver;

namespace {

constexpr qsizetype kBatchBytes = 256 * 1024;

PGconn* handleOf(void* conn) { return static_cast<PGconn*>(conn); }

using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

} // namespace

CopyIn::CopyIn(Database& db, const QString& sql) : m_db(db)
{
    PGconn* conn = db.isPostgres() ? postgresHandle(db.connection().driver()) : nullptr;
    if (!conn)
        throw DatabaseError(QStringLiteral("Cópia em massa só existe no PostgreSQL."));
    m_conn = conn;
    const Result result(PQexec(conn, sql.toUtf8().constData()), PQclear);
    if (!result || PQresultStatus(result.get()) != PGRES_COPY_IN)
        fail(QString::fromUtf8(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(conn)));
    m_open = true;
    m_pending.reserve(kBatchBytes * 2);
}

CopyIn::~CopyIn()
{
    if (!m_open)
        return;
    PGconn* conn = handleOf(m_conn);
    PQputCopyEnd(conn, "carga cancelada");
    while (PGresult* r = PQgetResult(conn))
        PQclear(r);
}

void CopyIn::write(const QByteArray& rows)
{
    m_pending += rows;
    if (m_pending.size() >= kBatchBytes)
        send();
}

void CopyIn::send()
{
    if (m_pending.isEmpty())
        return;
    if (PQputCopyData(handleOf(m_conn), m_pending.constData(), int(m_pending.size())) != 1)
        fail(QString::fromUtf8(PQerrorMessage(handleOf(m_conn))));
    m_pending.clear();
}

void CopyIn::finish()
{
    send();
    PGconn* conn = handleOf(m_conn);
    m_open = false;
    if (PQputCopyEnd(conn, nullptr) != 1)
        fail(QString::fromUtf8(PQerrorMessage(conn)));
    QString failure;
    while (PGresult* r = PQgetResult(conn)) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK && failure.isEmpty())
            failure = QString::fromUtf8(PQresultErrorMessage(r));
        PQclear(r);
    }
    if (!failure.isEmpty())
        fail(failure);
}

void CopyIn::fail(const QString& reason)
{
    PGconn* conn = handleOf(m_conn);
    if (conn && PQstatus(conn) == CONNECTION_BAD) {
        m_db.markConnectionsStale();
        throw DatabaseError(QStringLiteral("A conexão com o banco de dados foi perdida (%1); uma nova conexão "
                                           "será aberta na próxima chamada.")
                                .arg(reason.simplified()),
                            true, false, DatabaseError::Kind::Unavailable);
    }
    const QString text = reason.simplified();
    throw DatabaseError(QStringLiteral("Erro ao gravar no banco de dados: %1")
                            .arg(text.isEmpty() ? QStringLiteral("erro desconhecido") : text),
                        false, false, DatabaseError::Kind::Failed);
}

} // namespace appserver
