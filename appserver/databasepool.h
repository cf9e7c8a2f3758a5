#pragma once

#include "database.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace appserver {

/// A fixed set of threads, each with its own connection to one database: at most size() statements
/// run on the database at a time, whatever the number of calls the server is handling. Qt wants a
/// connection used only by the thread that opened it, so the work goes to the connection's thread
/// rather than the connection to the caller's.
///
/// A call that meets a broken connection fails with that error; the pool then has every thread open
/// a new connection before its next work, so after a database restart only the calls in flight fail.
class DatabasePool {
public:
    /// waitLimit bounds how long run() waits for a free connection plus the work itself.
    DatabasePool(Database& db, int size, std::chrono::milliseconds waitLimit = std::chrono::seconds(60));
    ~DatabasePool();
    DatabasePool(const DatabasePool&) = delete;
    DatabasePool& operator=(const DatabasePool&) = delete;

    int size() const { return static_cast<int>(m_threads.size()); }
    Database& database() { return m_db; }

    /// Runs work(database) on a pool thread and returns its result. Rethrows what work throws; throws
    /// DatabaseError when the wait limit passes first (the work is then dropped if it has not started).
    template <typename F>
    auto run(F&& work) -> decltype(work(std::declval<Database&>()))
    {
        using R = decltype(work(std::declval<Database&>()));
        auto task = std::make_shared<std::packaged_task<R()>>(
            [this, w = std::forward<F>(work)]() mutable -> R {
                try {
                    return w(m_db);
                } catch (const DatabaseError& e) {
                    if (e.connectionLost())
                        m_db.markConnectionsStale();
                    throw;
                }
            });
        std::future<R> result = task->get_future();
        auto job = std::make_shared<Job>();
        job->run = [task] { (*task)(); };
        submit(job);
        if (result.wait_for(m_waitLimit) != std::future_status::ready) {
            job->cancelled = true;
            throwTimeout();
        }
        return result.get();
    }

private:
    struct Job {
        std::function<void()> run;
        std::atomic<bool> cancelled{false};
    };

    void submit(const std::shared_ptr<Job>& job);
    void worker();
    [[noreturn]] void throwTimeout() const;

    Database& m_db;
    std::chrono::milliseconds m_waitLimit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<Job>> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace appserver
