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
///
/// An answer in the table is sealed: its bytes follow a digest of the product's version, its key, its
/// data version and the bytes themselves. One read back is handed out only when it is no bigger than
/// kMaxStoredBytes and its seal is this build's: a row written by another version of the server, damaged,
/// or written by hand is ignored (and counted), and the answer is computed.
class KeptAnswers {
public:
    static constexpr qint64 kMaxStoredBytes = 32 * 1024 * 1024;
    static constexpr size_t kDefaultMemoryBytes = size_t(128) * 1024 * 1024;

    /// writer: how to reach the database with the right to write the table; none keeps answers in memory
    /// only. memoryBytes: about how much memory the answers kept in it may take.
    explicit KeptAnswers(std::optional<DatabaseSettings> writer, size_t memoryBytes = kDefaultMemoryBytes);
    /// Writes what is still queued, then ends the writer's thread.
    ~KeptAnswers();
    KeptAnswers(const KeptAnswers&) = delete;
    KeptAnswers& operator=(const KeptAnswers&) = delete;

    /// The answer kept in memory for key at version; null when there is none. counted: whether it is the
    /// answer a call is handed (and counts in counts()), not a part another answer is made from.
    std::shared_ptr<const void> inMemory(const QString& key, const DataVersion::Value& version, bool counted = true);

    /// An answer from its bytes, and about how much memory it takes (footprint); null when they are not one.
    using Decode = std::function<std::shared_ptr<const void>(const QByteArray&, size_t& footprint)>;
    /// The answer kept for key at version: from memory, else from the table through db (decoded and then
    /// kept in memory); null when there is none. Throws DatabaseError.
    std::shared_ptr<const void> find(Database& db, const QString& key, const DataVersion::Value& version,
                                     const Decode& decode, bool counted = true);
    /// Keeps a computed answer in memory (footprint: about how much memory it takes), and its bytes in the
    /// table in the background.
    void keep(const QString& key, const DataVersion::Value& version, std::shared_ptr<const void> value, QByteArray bytes,
              size_t footprint);
    /// Writes an answer into the table through db now, sealed. Throws DatabaseError.
    static void store(Database& db, const QString& key, const DataVersion::Value& version, const QByteArray& bytes);
    /// Takes the answers of every other version out of the table: no call will read them again. Throws
    /// DatabaseError.
    static void prune(Database& db, const DataVersion::Value& version);
    /// The answer's bytes under its seal, and back (nothing when the seal is not this build's).
    static QByteArray seal(const QString& key, const DataVersion::Value& version, const QByteArray& bytes);
    static std::optional<QByteArray> unseal(const QString& key, const DataVersion::Value& version, const QByteArray& sealed);
    /// Blocks until the background writes queued so far are done (tests, benchmarks).
    void flush();

    struct Counts {
        quint64 fromMemory = 0;
        quint64 fromTable = 0;
        quint64 computed = 0;
        quint64 refused = 0;       ///< read back from the table and not handed out
        quint64 memoryBytes = 0;   ///< about what the answers in memory take
    };
    Counts counts() const;
    void countComputed() { ++m_computed; }

private:
    struct Entry {
        DataVersion::Value version;
        std::shared_ptr<const void> value;
        size_t bytes = 0;
        quint64 stamp = 0;   // when kept: the oldest go first
    };
    struct Write {
        QString key;
        DataVersion::Value version;
        QByteArray bytes;
    };
    void writer();
    // Keeps value in memory within the bound; the caller holds m_memoryMutex.
    void remember(const QString& key, const DataVersion::Value& version, std::shared_ptr<const void> value, size_t bytes);

    const size_t m_maxBytes;
    mutable std::mutex m_memoryMutex;
    std::map<QString, Entry> m_memory;
    size_t m_memoryBytes = 0;
    quint64 m_stamp = 0;

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
    std::atomic<quint64> m_refused{0};
};

} // namespace appserver
