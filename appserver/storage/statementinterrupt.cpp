#include "statementinterrupt.h"

#include "database.h"

#include <libpq-fe.h>

namespace appserver {

namespace {

thread_local StatementInterrupt* t_interrupt = nullptr;

} // namespace

StatementInterrupt* StatementInterrupt::current()
{
    return t_interrupt;
}

const QString& StatementInterrupt::message()
{
    static const QString text = QStringLiteral("A consulta ao banco de dados foi interrompida: a chamada terminou.");
    return text;
}

void StatementInterrupt::throwIfInterrupted()
{
    if (t_interrupt && t_interrupt->interrupted())
        throw DatabaseError(message());
}

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

} // namespace appserver
