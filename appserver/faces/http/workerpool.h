#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace appserver {

/// Threads for work that blocks (a password check, a call waiting on the database pool), so the HTTP
/// engine's own threads never do. Threads start as work needs them, up to maxThreads; at most
/// maxQueued pieces wait beyond those, and more are refused at once rather than answered too late.
class WorkerPool {
public:
    WorkerPool(int maxThreads, int maxQueued);
    /// Runs what is already queued, then joins the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// False when every thread is busy and the queue is full.
    bool post(std::function<void()> work);

private:
    void loop();

    const int m_maxThreads;
    const int m_maxQueued;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    std::vector<std::thread> m_threads;
    int m_idle = 0;
    bool m_stopping = false;
};

} // namespace appserver
