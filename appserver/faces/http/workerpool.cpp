#include "workerpool.h"

namespace appserver {

WorkerPool::WorkerPool(int maxThreads, int maxQueued)
    : m_maxThreads(maxThreads < 1 ? 1 : maxThreads), m_maxQueued(maxQueued < 0 ? 0 : maxQueued)
{
}

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

bool WorkerPool::post(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return false;
        const int waiting = static_cast<int>(m_queue.size());
        if (waiting >= m_idle) {
            if (static_cast<int>(m_threads.size()) < m_maxThreads)
                m_threads.emplace_back([this] { loop(); });
            else if (waiting - m_idle >= m_maxQueued)
                return false;
        }
        m_queue.push_back(std::move(work));
    }
    m_wake.notify_one();
    return true;
}

void WorkerPool::loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        --m_idle;
        if (m_queue.empty())
            return;
        std::function<void()> work = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        work();
        lock.lock();
    }
}

} // namespace appserver
