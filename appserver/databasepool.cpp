#include "databasepool.h"

namespace appserver {

DatabasePool::DatabasePool(Database& db, int size, std::chrono::milliseconds waitLimit)
    : m_db(db), m_waitLimit(waitLimit)
{
    const int n = size < 1 ? 1 : size;
    m_threads.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        m_threads.emplace_back([this] { worker(); });
}

DatabasePool::~DatabasePool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void DatabasePool::submit(const std::shared_ptr<Job>& job)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(job);
    }
    m_wake.notify_one();
}

void DatabasePool::worker()
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
        }
        if (!job->cancelled)
            job->run();
    }
    // The thread's connections close with its thread-local bookkeeping in the database layer.
}

void DatabasePool::throwTimeout() const
{
    throw DatabaseError(QStringLiteral("O banco de dados não respondeu em %1 segundos; tente novamente mais tarde.")
                            .arg(m_waitLimit.count() / 1000.0, 0, 'f', 0));
}

} // namespace appserver
