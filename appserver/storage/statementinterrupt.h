#pragma once

#include <QString>

#include <atomic>
#include <mutex>

namespace appserver {

/// Lets another thread stop the statements of one piece of work while they run. The pool's worker
/// installs it for the work's duration (Database::InterruptScope); the thread that waits for the work
/// calls interrupt() when the caller has given up. SQLite checks it as its statements run; PostgreSQL
/// is sent a cancel request for the statement in progress.
class StatementInterrupt {
public:
    StatementInterrupt() = default;
    ~StatementInterrupt();
    StatementInterrupt(const StatementInterrupt&) = delete;
    StatementInterrupt& operator=(const StatementInterrupt&) = delete;

    /// Any thread. The statement running now fails, and so does every later one of the same work.
    void interrupt();
    bool interrupted() const { return m_interrupted.load(std::memory_order_acquire); }

    /// The interrupt of the work this thread runs for a call; null outside such work (imports, start-up).
    static StatementInterrupt* current();
    /// Throws the interruption's DatabaseError when this thread's work was interrupted.
    static void throwIfInterrupted();
    static const QString& message();

private:
    friend class Database;
    void watchPostgres(void* conn);   // PGconn* the work's statements run on
    void release();

    std::atomic<bool> m_interrupted{false};
    std::mutex m_mutex;
    void* m_pgCancel = nullptr;   // PGcancel*, valid while the work runs
};

} // namespace appserver
