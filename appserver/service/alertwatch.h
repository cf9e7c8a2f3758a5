#pragma once

#include "alertrules.h"
#include "database.h"

#include <QDate>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace appserver {

class RdmIndicResult;

/// Watches the figures for the alert rules and sends their messages, apart from the calls.
///
/// One thread looks at the data version (one row) every interval; when it has changed, it reads the
/// scorecard of the latest month with figures and of the months the last load worked out, and for every
/// watched figure that entered its rule's zone writes one message into the outbox (alerta_saida), in the
/// same transaction that moves the figure's state (alerta_estado) into the zone: an instance that finds
/// the state moved already sends nothing, so servers sharing a database send one message between them,
/// and a restart none. The first look at a rule only records where the figures stand.
///
/// Another thread sends the outbox: a message is reserved for the time its attempts may take, tried
/// again with back-off while the relay is away, and marked sent or, after the relay's retry time, failed
/// (logged and counted, never dropped in silence). One left pending by a stop is sent at the next start.
class AlertWatch {
public:
    using Log = std::function<void(const QString&)>;
    /// "enviada", "nova_tentativa" or "nao_enviada", once per message or attempt.
    using Count = std::function<void(const char*)>;

    AlertWatch(AlertRules rules, const DatabaseSettings& writer, const RdmIndicResult& cockpit, Log log, Count count,
               std::chrono::milliseconds interval = std::chrono::seconds(1));
    /// Ends both threads; a message being tried stays pending for the next start.
    ~AlertWatch();
    AlertWatch(const AlertWatch&) = delete;
    AlertWatch& operator=(const AlertWatch&) = delete;

    /// Makes the tables where they are missing (Schema::ensureAlerts). Throws DatabaseError.
    void prepare();
    void start();

private:
    void watch();
    void send();
    // Judges the months once; returns how many messages it queued. Throws DatabaseError.
    int check();
    QString signature();
    void sendPending();
    bool wait(std::chrono::milliseconds time);

    const AlertRules m_rules;
    Database m_db;
    const RdmIndicResult& m_cockpit;
    const Log m_log;
    const Count m_count;
    const std::chrono::milliseconds m_interval;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    bool m_queued = false;
    std::thread m_watcher;
    std::thread m_sender;
};

} // namespace appserver
