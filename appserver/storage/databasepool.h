#pragma once

#include "callscope.h"
#include "database.h"

#include <algorithm>
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
/// At most maxQueued pieces of work wait for a free connection; beyond that a call is refused at once
/// (CallEnded, Overloaded) instead of joining a queue it would never leave in time. Work follows its
/// call: when the call ends (cancelled, deadline passed) work still waiting is dropped and a running
/// statement is interrupted, so the connection goes to a caller who still waits.
///
/// A call that meets a broken connection fails with that error; the pool then has every thread open
/// a new connection before its next work, so after a database restart only the calls in flight fail.
class DatabasePool {
public:
    static constexpr int kDefaultMaxQueued = 64;

    /// waitLimit bounds how long run() waits for a free connection plus the work itself.
    DatabasePool(Database& db, int size, int maxQueued = kDefaultMaxQueued,
                 std::chrono::milliseconds waitLimit = std::chrono::seconds(60));
    /// Drops the waiting work and interrupts the running work before the threads end.
    ~DatabasePool();
    DatabasePool(const DatabasePool&) = delete;
    DatabasePool& operator=(const DatabasePool&) = delete;

    int size() const { return static_cast<int>(m_threads.size()); }
    int maxQueued() const { return m_maxQueued; }
    /// Work waiting for a connection now, and connections running work now.
    std::pair<int, int> load() const
    {
        std::lock_guard lock(m_mutex);
        return {static_cast<int>(m_queue.size()), m_busy};
    }
    Database& database() { return m_db; }

    /// Runs work(database) on a pool thread for the call and returns its result. Rethrows what work
    /// throws; throws CallEnded when the queue is full or the call ends first, DatabaseError when the
    /// wait limit passes first. Work that has started is interrupted and waited for before run() throws, so
    /// work may refer to what the caller holds.
    template <typename F>
    auto run(F&& work, const CallScope& call = {}) -> decltype(work(std::declval<Database&>()))
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
        const auto limit = std::chrono::steady_clock::now() + m_waitLimit;
        for (;;) {
            auto until = std::min(limit, call.deadline);
            if (call.ended)
                until = std::min(until, std::chrono::steady_clock::now() + kCallPoll);
            if (result.wait_until(until) == std::future_status::ready)
                return result.get();
            if (call.ended) {
                if (const std::optional<CallEnd> end = call.ended())
                    abandon(job, *end);
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= call.deadline)
                abandon(job, CallEnd::DeadlineExceeded);
            if (now >= limit)
                abandonForTimeout(job);
        }
    }

private:
    // How often a waiting call asks whether its client is still there.
    static constexpr std::chrono::milliseconds kCallPoll{20};

    struct Job {
        std::function<void()> run;
        StatementInterrupt interrupt;
        bool finished = false;   // by the worker that took it, under m_mutex
    };

    void submit(const std::shared_ptr<Job>& job);
    void worker(size_t index);
    // Drops the job if it still waits; if it runs, interrupts it and waits for it to stop: the work refers to
    // its caller's call, which must not be gone while the work still runs.
    void drop(const std::shared_ptr<Job>& job);
    [[noreturn]] void abandon(const std::shared_ptr<Job>& job, CallEnd end);
    [[noreturn]] void abandonForTimeout(const std::shared_ptr<Job>& job);

    Database& m_db;
    int m_maxQueued;
    std::chrono::milliseconds m_waitLimit;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;   // a job taken by a worker has ended
    std::deque<std::shared_ptr<Job>> m_queue;
    std::vector<std::shared_ptr<Job>> m_running;   // by worker
    int m_busy = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace appserver
