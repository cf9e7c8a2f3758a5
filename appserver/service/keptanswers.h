#pragma once

#include "database.h"
#include "dataversion.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace appserver {

/// Finished answers kept with the data version they were computed at: in this server's memory, and in the
/// database's resposta_guardada table, where every server over the same database (and the import that
/// computed the months it loaded) finds them. An answer is handed out only to a call that read the same
/// version, so a write committed before a call started is always in its answer.
class KeptAnswers {
public:
    /// writer: how to reach the database with the right to write the table; none keeps answers in memory
    /// only. capacity: answers in memory.
    explicit KeptAnswers(std::optional<DatabaseSettings> writer, size_t capacity = 512);
    /// Writes what is still queued, then ends the writer's thread.
    ~KeptAnswers();
    KeptAnswers(const KeptAnswers&) = delete;
    KeptAnswers& operator=(const KeptAnswers&) = delete;

    /// The answer kept in memory for key at version; null when there is none. counted: whether it is the
    /// answer a call is handed (and counts in counts()), not a part another answer is made from.
    std::shared_ptr<const void> inMemory(const QString& key, const DataVersion::Value& version, bool counted = true);

    using Decode = std::function<std::shared_ptr<const void>(const QByteArray&)>;
    /// The answer kept for key at version: from memory, else from the table through db (decoded and then
    /// kept in memory); null when there is none. Throws DatabaseError.
    std::shared_ptr<const void> find(Database& db, const QString& key, const DataVersion::Value& version,
                                     const Decode& decode, bool counted = true);
    /// Keeps a computed answer in memory, and its bytes in the table in the background.
    void keep(const QString& key, const DataVersion::Value& version, std::shared_ptr<const void> value, QByteArray bytes);
    /// Writes an answer into the table through db now. Throws DatabaseError.
    static void store(Database& db, const QString& key, const DataVersion::Value& version, const QByteArray& bytes);
    /// Blocks until the background writes queued so far are done (tests, benchmarks).
    void flush();

    struct Counts {
        quint64 fromMemory = 0;
        quint64 fromTable = 0;
        quint64 computed = 0;
    };
    Counts counts() const;
    void countComputed() { ++m_computed; }

private:
    struct Entry {
        DataVersion::Value version;
        std::shared_ptr<const void> value;
    };
    struct Write {
        QString key;
        DataVersion::Value version;
        QByteArray bytes;
    };
    void writer();

    const size_t m_capacity;
    mutable std::mutex m_memoryMutex;
    std::map<QString, Entry> m_memory;

    std::optional<DatabaseSettings> m_writerSettings;
    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<Write> m_queue;
    bool m_writing = false;
    bool m_stopping = false;
    std::thread m_thread;

    std::atomic<quint64> m_fromMemory{0};
    std::atomic<quint64> m_fromTable{0};
    std::atomic<quint64> m_computed{0};
};

} // namespace appserver
