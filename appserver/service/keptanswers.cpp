#include "keptanswers.h"

#include <QSqlQuery>

#include <cstdio>

namespace appserver {

namespace {

// More waiting writes than this and the newest are dropped: a database that cannot keep up with the writes
// of answers has the answers recomputed, never a server that grows without bound.
constexpr size_t kMaxQueued = 256;

} // namespace

KeptAnswers::KeptAnswers(std::optional<DatabaseSettings> writer, size_t capacity)
    : m_capacity(capacity), m_writerSettings(std::move(writer))
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
    std::optional<QByteArray> bytes;
    db.forEachRow(QStringLiteral("SELECT resposta FROM resposta_guardada WHERE chave = ? AND origem = ? AND versao = ?"),
                  {key, version.origin, version.counter}, [&](const Database::Row& row) { bytes = row.bytes(0); });
    if (!bytes)
        return nullptr;
    std::shared_ptr<const void> value = decode(*bytes);
    if (!value)
        return nullptr;
    if (counted)
        ++m_fromTable;
    std::lock_guard lock(m_memoryMutex);
    m_memory[key] = Entry{version, value};
    return value;
}

void KeptAnswers::keep(const QString& key, const DataVersion::Value& version, std::shared_ptr<const void> value,
                       QByteArray bytes)
{
    {
        std::lock_guard lock(m_memoryMutex);
        if (m_memory.size() >= m_capacity && !m_memory.count(key)) {
            // Answers of an older version go first; they are no use to any call from now on.
            std::erase_if(m_memory, [&](const auto& e) { return !(e.second.version == version); });
            if (m_memory.size() >= m_capacity)
                m_memory.clear();
        }
        m_memory[key] = Entry{version, std::move(value)};
    }
    if (!m_writerSettings)
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
    QSqlQuery q = db.prepare(QStringLiteral(
        "INSERT INTO resposta_guardada (chave, origem, versao, resposta) VALUES (?, ?, ?, ?) "
        "ON CONFLICT (chave) DO UPDATE SET origem = excluded.origem, versao = excluded.versao, resposta = excluded.resposta"));
    q.addBindValue(key);
    q.addBindValue(version.origin);
    q.addBindValue(version.counter);
    q.addBindValue(bytes);
    Database::exec(q);
}

void KeptAnswers::flush()
{
    std::unique_lock lock(m_queueMutex);
    m_queueChanged.wait(lock, [this] { return (m_queue.empty() && !m_writing) || !m_thread.joinable(); });
}

KeptAnswers::Counts KeptAnswers::counts() const
{
    return Counts{m_fromMemory.load(), m_fromTable.load(), m_computed.load()};
}

// One thread, one connection that may write: the calls never wait for the table.
void KeptAnswers::writer()
{
    std::unique_ptr<Database> db;
    bool told = false;
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
