#include "keptanswers.h"

#include <QCryptographicHash>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace appserver {

namespace {

// More waiting writes than this and the newest are dropped: a database that cannot keep up with the writes
// of answers has the answers recomputed, never a server that grows without bound.
constexpr size_t kMaxQueued = 256;

const QByteArray kSealMark = QByteArrayLiteral("KPD\x02");
constexpr qsizetype kDigestBytes = 32;

// The product and its version are in the digest: an instance of another version (a rolling upgrade) never
// hands out this one's answers, nor this one another's. BLAKE2b: a region's page of thousands of branches
// is megabytes, and SHA-256 spent a tenth of a load's time on them; a row sealed with another digest reads
// as none and is worked out again.
QByteArray digest(const QString& key, const DataVersion::Value& version, const QByteArray& bytes)
{
    QCryptographicHash h(QCryptographicHash::Blake2b_256);
    h.addData(QByteArrayLiteral("kpd-appserver " KPD_VERSION));
    h.addData(QByteArrayView("\0", 1));
    h.addData(key.toUtf8());
    h.addData(QByteArrayView("\0", 1));
    h.addData(QByteArray::number(version.origin) + ' ' + QByteArray::number(version.counter));
    h.addData(QByteArrayView("\0", 1));
    h.addData(bytes);
    return h.result();
}

} // namespace

QByteArray KeptAnswers::seal(const QString& key, const DataVersion::Value& version, const QByteArray& bytes)
{
    return kSealMark + digest(key, version, bytes) + bytes;
}

std::optional<QByteArray> KeptAnswers::unseal(const QString& key, const DataVersion::Value& version, const QByteArray& sealed)
{
    const qsizetype head = kSealMark.size() + kDigestBytes;
    if (sealed.size() < head || !sealed.startsWith(kSealMark))
        return std::nullopt;
    QByteArray bytes = sealed.mid(head);
    if (sealed.mid(kSealMark.size(), kDigestBytes) != digest(key, version, bytes))
        return std::nullopt;
    return bytes;
}

KeptAnswers::KeptAnswers(std::optional<DatabaseSettings> writer, size_t memoryBytes)
    : m_maxBytes(memoryBytes), m_writerSettings(std::move(writer))
{
    if (m_writerSettings)
        m_thread = std::thread([this] { this->writer(); });
}

KeptAnswers::~KeptAnswers()
{
    {
        std::lock_guard lock(m_queueMutex);
        m_stopping = true;
    }
    m_queueChanged.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::shared_ptr<const void> KeptAnswers::inMemory(const QString& key, const DataVersion::Value& version, bool counted)
{
    std::lock_guard lock(m_memoryMutex);
    const auto it = m_memory.find(key);
    if (it == m_memory.end() || !(it->second.version == version))
        return nullptr;
    if (counted)
        ++m_fromMemory;
    return it->second.value;
}

std::shared_ptr<const void> KeptAnswers::find(Database& db, const QString& key, const DataVersion::Value& version,
                                              const Decode& decode, bool counted)
{
    if (std::shared_ptr<const void> kept = inMemory(key, version, counted))
        return kept;
    // The row's size first: one too big to be an answer is never brought into memory.
    std::optional<QByteArray> sealed;
    bool found = false;
    db.forEachRow(QStringLiteral("SELECT CASE WHEN length(resposta) <= ? THEN resposta END FROM resposta_guardada "
                                 "WHERE chave = ? AND origem = ? AND versao = ?"),
                  {kMaxStoredBytes, key, version.origin, version.counter}, [&](const Database::Row& row) {
                      found = true;
                      if (!row.isNull(0))
                          sealed = row.bytes(0);
                  });
    if (!found)
        return nullptr;
    size_t footprint = 0;
    const std::optional<QByteArray> bytes = sealed ? unseal(key, version, *sealed) : std::nullopt;
    std::shared_ptr<const void> value = bytes ? decode(*bytes, footprint) : nullptr;
    if (!value) {
        ++m_refused;
        return nullptr;
    }
    if (counted)
        ++m_fromTable;
    std::lock_guard lock(m_memoryMutex);
    remember(key, version, value, footprint);
    return value;
}

void KeptAnswers::remember(const QString& key, const DataVersion::Value& version, std::shared_ptr<const void> value,
                           size_t bytes)
{
    bytes += size_t(key.size()) * 2 + 128;
    if (const auto it = m_memory.find(key); it != m_memory.end()) {
        m_memoryBytes -= it->second.bytes;
        m_memory.erase(it);
    }
    if (bytes > m_maxBytes)
        return;
    if (m_memoryBytes + bytes > m_maxBytes) {
        // Answers of an older version go first; they are no use to any call from now on.
        std::erase_if(m_memory, [&](const auto& e) {
            if (e.second.version == version)
                return false;
            m_memoryBytes -= e.second.bytes;
            return true;
        });
    }
    if (m_memoryBytes + bytes > m_maxBytes) {
        // Then the oldest kept, until the new one fits.
        std::vector<std::pair<quint64, QString>> byAge;
        byAge.reserve(m_memory.size());
        for (const auto& [k, e] : m_memory)
            byAge.emplace_back(e.stamp, k);
        std::sort(byAge.begin(), byAge.end());
        for (const auto& [stamp, k] : byAge) {
            if (m_memoryBytes + bytes <= m_maxBytes)
                break;
            const auto it = m_memory.find(k);
            m_memoryBytes -= it->second.bytes;
            m_memory.erase(it);
        }
    }
    m_memory[key] = Entry{version, std::move(value), bytes, ++m_stamp};
    m_memoryBytes += bytes;
}

void KeptAnswers::keep(const QString& key, const DataVersion::Value& version, std::shared_ptr<const void> value,
                       QByteArray bytes, size_t footprint)
{
    {
        std::lock_guard lock(m_memoryMutex);
        remember(key, version, std::move(value), footprint);
    }
    if (!m_writerSettings || bytes.size() > kMaxStoredBytes - 64)
        return;
    {
        std::lock_guard lock(m_queueMutex);
        if (m_queue.size() >= kMaxQueued)
            return;
        m_queue.push_back(Write{key, version, std::move(bytes)});
    }
    m_queueChanged.notify_all();
}

void KeptAnswers::store(Database& db, const QString& key, const DataVersion::Value& version, const QByteArray& bytes)
{
    db.write(QStringLiteral("INSERT INTO resposta_guardada (chave, origem, versao, resposta) VALUES (?, ?, ?, ?) "
                            "ON CONFLICT (chave) DO UPDATE SET origem = excluded.origem, versao = excluded.versao, "
                            "resposta = excluded.resposta"),
             {key, version.origin, version.counter, seal(key, version, bytes)});
}

void KeptAnswers::prune(Database& db, const DataVersion::Value& version)
{
    QSqlQuery q = db.prepare(QStringLiteral("DELETE FROM resposta_guardada WHERE origem <> ? OR versao <> ?"));
    q.addBindValue(version.origin);
    q.addBindValue(version.counter);
    Database::exec(q);
}

void KeptAnswers::flush()
{
    std::unique_lock lock(m_queueMutex);
    m_queueChanged.wait(lock, [this] { return (m_queue.empty() && !m_writing) || !m_thread.joinable(); });
}

KeptAnswers::Counts KeptAnswers::counts() const
{
    std::lock_guard lock(m_memoryMutex);
    return Counts{m_fromMemory.load(), m_fromTable.load(), m_computed.load(), m_refused.load(), m_memoryBytes};
}

// One thread, one connection that may write: the calls never wait for the table.
void KeptAnswers::writer()
{
    std::unique_ptr<Database> db;
    bool told = false;
    std::optional<DataVersion::Value> pruned;   // the version whose older answers were last taken out
    bool toldPrune = false;
    std::unique_lock lock(m_queueMutex);
    for (;;) {
        m_queueChanged.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty() && m_stopping)
            break;
        std::deque<Write> batch;
        batch.swap(m_queue);
        m_writing = true;
        lock.unlock();
        try {
            if (!db)
                db = std::make_unique<Database>(*m_writerSettings);
            db->beginTransaction();
            for (const Write& w : batch)
                store(*db, w.key, w.version, w.bytes);
            db->commit();
            // Once per version: the rows of the versions before it would only fill the table. Apart from
            // the answers' own transaction, so that a role given no right to delete still keeps them.
            const DataVersion::Value newest = batch.back().version;
            if (pruned != newest) {
                pruned = newest;
                try {
                    prune(*db, newest);
                } catch (const DatabaseError& e) {
                    if (e.connectionLost())
                        throw;
                    if (!toldPrune)
                        std::fprintf(stderr, "kpd-appserver: AVISO: as respostas de versões antigas ficam em "
                                             "resposta_guardada (não foi possível apagá-las: %s)\n",
                                     e.message().toUtf8().constData());
                    toldPrune = true;
                }
            }
        } catch (const DatabaseError& e) {
            if (db)
                db->rollback();
            if (e.connectionLost())
                db.reset();
            // Another writer holds the rows (a load): these answers are kept in memory and the table gets
            // them from a later call. Anything else is said once.
            if (!e.busy() && !told) {
                std::fprintf(stderr, "kpd-appserver: AVISO: as respostas calculadas ficam só na memória deste servidor "
                                     "(não foi possível gravá-las em resposta_guardada: %s)\n",
                             e.message().toUtf8().constData());
                told = true;
            }
        }
        lock.lock();
        m_writing = false;
        m_queueChanged.notify_all();
    }
}

} // namespace appserver
