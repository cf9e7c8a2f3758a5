#include "databasepool.h"

namespace appserver {

DatabasePool::DatabasePool(Database& db, int size, int maxQueued, std::chrono::milliseconds waitLimit)
    : m_db(db), m_maxQueued(maxQueued < 0 ? 0 : maxQueued), m_waitLimit(waitLimit)
{
    const int n = size < 1 ? 1 : size;
    m_running.resize(static_cast<size_t>(n));
    m_threads.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        m_threads.emplace_back([this, i] { worker(static_cast<size_t>(i)); });
}

DatabasePool::~DatabasePool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
        for (const std::shared_ptr<Job>& job : m_running) {
            if (job)
                job->interrupt.interrupt();
        }
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void DatabasePool::submit(const std::shared_ptr<Job>& job)
{
    {
        std::lock_guard lock(m_mutex);
        const int inPool = static_cast<int>(m_queue.size()) + m_busy;
        if (m_stopping || inPool >= size() + m_maxQueued)
            throw CallEnded(CallEnd::Overloaded,
                            QStringLiteral("O servidor de aplicação está sobrecarregado (%1 chamadas aguardam o banco de "
                                           "dados); tente novamente em instantes.")
                                .arg(m_queue.size()));
        m_queue.push_back(job);
    }
    m_wake.notify_one();
}

void DatabasePool::worker(size_t index)
{
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
            m_running[index] = job;
            ++m_busy;
        }
        if (!job->interrupt.interrupted()) {
            Database::InterruptScope scope(job->interrupt);
            job->run();
        }
        std::lock_guard lock(m_mutex);
        m_running[index].reset();
        --m_busy;
        job->finished = true;
        m_finished.notify_all();
    }
    // The thread's connections close with its thread-local bookkeeping in the database layer.
}

void DatabasePool::drop(const std::shared_ptr<Job>& job)
{
    job->interrupt.interrupt();
    std::unique_lock lock(m_mutex);
    const auto it = std::find(m_queue.begin(), m_queue.end(), job);
    if (it != m_queue.end()) {
        m_queue.erase(it);   // never started: its place goes to a call that still waits
        return;
    }
    // Taken by a worker: interrupted, it ends at its next statement. Until then it may still write to what
    // its caller holds (the call's tag, its scope), so the caller does not leave before it.
    m_finished.wait(lock, [&] { return job->finished; });
}

void DatabasePool::abandon(const std::shared_ptr<Job>& job, CallEnd end)
{
    drop(job);
    throw CallEnded(end, end == CallEnd::Cancelled
                             ? QStringLiteral("A chamada foi cancelada pelo cliente.")
                             : QStringLiteral("O prazo da chamada terminou antes da resposta do banco de dados."));
}

void DatabasePool::abandonForTimeout(const std::shared_ptr<Job>& job)
{
    drop(job);
    throw DatabaseError(QStringLiteral("O banco de dados não respondeu em %1 segundos; tente novamente mais tarde.")
                            .arg(m_waitLimit.count() / 1000.0, 0, 'f', 0));
}

} // namespace appserver
