#pragma once

#include <QString>

#include <array>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace appserver {

/// What an operator's Prometheus scrapes: calls by method and outcome, their latency, the database
/// failures, the work waiting for a database connection, and the HTTP face's requests. Thread-safe;
/// recording is a few additions under one mutex.
class Metrics {
public:
    /// Upper bounds of the latency histogram, in seconds.
    static constexpr std::array<double, 12> kBuckets{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5};

    /// One finished call: method ("getCkpData"), outcome (OK, FALHA, RESOURCE_EXHAUSTED, ...), seconds.
    void recordCall(const QString& method, const QString& outcome, double seconds);
    /// A call the database failed (also counted under its outcome).
    void recordDatabaseError();
    /// One HTTP request answered: route ("/api/cockpit") and status code.
    void recordHttp(const QString& route, int status);
    /// One sign-in attempt: how the password was checked ("arquivo", "ldap") and what came of it
    /// ("aceita", "recusada", "limitada", "indisponivel").
    void recordSignIn(const QString& method, const QString& result);
    /// One alert message sent ("enviada"), an attempt to be made again ("nova_tentativa") or one given up
    /// ("nao_enviada").
    void recordMail(const QString& result);
    /// Where the queue depth and the busy connections are read at scrape time.
    void setPoolProbe(std::function<std::pair<int, int>()> queuedAndBusy);

    /// What kept answers do, read at scrape time.
    struct Kept {
        quint64 fromMemory = 0;
        quint64 fromTable = 0;
        quint64 computed = 0;
        quint64 refused = 0;       ///< read back from the table and not handed out (too big, seal not this build's)
        quint64 memoryBytes = 0;
        bool versionSound = true;  ///< every table has its data version's triggers
    };
    void setKeptProbe(std::function<Kept()> counts);

    /// The text exposition format, version 0.0.4.
    QByteArray render() const;

private:
    struct Histogram {
        std::array<quint64, kBuckets.size()> buckets{};
        quint64 count = 0;
        double sum = 0;
    };
    mutable std::mutex m_mutex;
    std::map<std::pair<QString, QString>, quint64> m_calls;
    std::map<QString, Histogram> m_latency;
    std::map<std::pair<QString, int>, quint64> m_http;
    std::map<std::pair<QString, QString>, quint64> m_signIns;
    std::map<QString, quint64> m_mail;
    quint64 m_databaseErrors = 0;
    std::function<std::pair<int, int>()> m_pool;
    std::function<Kept()> m_kept;
};

} // namespace appserver
