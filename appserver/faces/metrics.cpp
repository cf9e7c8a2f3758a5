#include "metrics.h"

namespace appserver {

namespace {

// A label value as the exposition format quotes it.
QByteArray label(const QString& value)
{
    QByteArray out;
    for (const char c : value.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

QByteArray number(double v) { return QByteArray::number(v, 'g', 17); }

} // namespace

void Metrics::recordCall(const QString& method, const QString& outcome, double seconds)
{
    std::lock_guard lock(m_mutex);
    ++m_calls[{method, outcome}];
    Histogram& h = m_latency[method];
    for (size_t i = 0; i < kBuckets.size(); ++i)
        if (seconds <= kBuckets[i])
            ++h.buckets[i];
    ++h.count;
    h.sum += seconds;
}

void Metrics::recordDatabaseError()
{
    std::lock_guard lock(m_mutex);
    ++m_databaseErrors;
}

void Metrics::recordHttp(const QString& route, int status)
{
    std::lock_guard lock(m_mutex);
    ++m_http[{route, status}];
}

void Metrics::recordMail(const QString& result)
{
    std::lock_guard lock(m_mutex);
    ++m_mail[result];
}

void Metrics::recordSignIn(const QString& method, const QString& result)
{
    std::lock_guard lock(m_mutex);
    ++m_signIns[{method, result}];
}

void Metrics::setPoolProbe(std::function<std::pair<int, int>()> queuedAndBusy)
{
    std::lock_guard lock(m_mutex);
    m_pool = std::move(queuedAndBusy);
}

void Metrics::setKeptProbe(std::function<Kept()> counts)
{
    std::lock_guard lock(m_mutex);
    m_kept = std::move(counts);
}

QByteArray Metrics::render() const
{
    std::function<std::pair<int, int>()> pool;
    std::function<Kept()> kept;
    QByteArray out;
    {
        std::lock_guard lock(m_mutex);
        pool = m_pool;
        kept = m_kept;
        out += "# HELP kpd_calls_total Calls of remote data module methods, by method and outcome.\n"
               "# TYPE kpd_calls_total counter\n";
        for (const auto& [key, n] : m_calls)
            out += "kpd_calls_total{method=\"" + label(key.first) + "\",outcome=\"" + label(key.second) + "\"} "
                   + QByteArray::number(n) + '\n';
        out += "# HELP kpd_call_duration_seconds Time from a call's arrival to its answer.\n"
               "# TYPE kpd_call_duration_seconds histogram\n";
        for (const auto& [method, h] : m_latency) {
            const QByteArray m = label(method);
            for (size_t i = 0; i < kBuckets.size(); ++i)
                out += "kpd_call_duration_seconds_bucket{method=\"" + m + "\",le=\"" + QByteArray::number(kBuckets[i], 'g', 6) + "\"} "
                       + QByteArray::number(h.buckets[i]) + '\n';
            out += "kpd_call_duration_seconds_bucket{method=\"" + m + "\",le=\"+Inf\"} " + QByteArray::number(h.count) + '\n';
            out += "kpd_call_duration_seconds_sum{method=\"" + m + "\"} " + number(h.sum) + '\n';
            out += "kpd_call_duration_seconds_count{method=\"" + m + "\"} " + QByteArray::number(h.count) + '\n';
        }
        out += "# HELP kpd_database_errors_total Calls the database failed.\n"
               "# TYPE kpd_database_errors_total counter\n"
               "kpd_database_errors_total " + QByteArray::number(m_databaseErrors) + '\n';
        out += "# HELP kpd_http_requests_total Requests answered by the HTTP face, by route and status.\n"
               "# TYPE kpd_http_requests_total counter\n";
        for (const auto& [key, n] : m_http)
            out += "kpd_http_requests_total{route=\"" + label(key.first) + "\",code=\"" + QByteArray::number(key.second)
                   + "\"} " + QByteArray::number(n) + '\n';
        out += "# HELP kpd_alert_mail_total Alert messages sent (enviada), attempts to be made again (nova_tentativa) and "
               "messages given up (nao_enviada: still in alerta_saida, and in the log).\n"
               "# TYPE kpd_alert_mail_total counter\n";
        for (const char* result : {"enviada", "nova_tentativa", "nao_enviada"}) {
            const auto it = m_mail.find(QLatin1String(result));
            out += "kpd_alert_mail_total{result=\"" + QByteArray(result) + "\"} "
                   + QByteArray::number(it == m_mail.end() ? 0 : it->second) + '\n';
        }
        out += "# HELP kpd_signins_total Sign-in attempts, by how the password was checked and what came of it.\n"
               "# TYPE kpd_signins_total counter\n";
        for (const auto& [key, n] : m_signIns)
            out += "kpd_signins_total{method=\"" + label(key.first) + "\",result=\"" + label(key.second) + "\"} "
                   + QByteArray::number(n) + '\n';
    }
    // Read outside the lock: the pool takes its own.
    const auto [queued, busy] = pool ? pool() : std::pair<int, int>{0, 0};
    out += "# HELP kpd_work_queue_depth Database work waiting for a free connection.\n"
           "# TYPE kpd_work_queue_depth gauge\n"
           "kpd_work_queue_depth " + QByteArray::number(queued) + '\n';
    out += "# HELP kpd_database_connections_busy Pool connections running a statement now.\n"
           "# TYPE kpd_database_connections_busy gauge\n"
           "kpd_database_connections_busy " + QByteArray::number(busy) + '\n';
    if (kept) {
        const Kept n = kept();
        out += "# HELP kpd_answers_total Answers handed out, by where they came from: kept in memory, kept in the "
               "database, computed.\n"
               "# TYPE kpd_answers_total counter\n"
               "kpd_answers_total{source=\"memory\"} " + QByteArray::number(n.fromMemory) + "\n"
               "kpd_answers_total{source=\"table\"} " + QByteArray::number(n.fromTable) + "\n"
               "kpd_answers_total{source=\"computed\"} " + QByteArray::number(n.computed) + "\n"
               "# HELP kpd_answers_refused_total Kept answers read back from the database and not handed out: too "
               "big, damaged, written by another version or by hand.\n"
               "# TYPE kpd_answers_refused_total counter\n"
               "kpd_answers_refused_total " + QByteArray::number(n.refused) + "\n"
               "# HELP kpd_answers_memory_bytes About the memory the answers kept in this server take.\n"
               "# TYPE kpd_answers_memory_bytes gauge\n"
               "kpd_answers_memory_bytes " + QByteArray::number(n.memoryBytes) + "\n"
               "# HELP kpd_data_version_sound 1 while every table of the figures has its data version's triggers; "
               "0: nothing is kept, every call computes its answer.\n"
               "# TYPE kpd_data_version_sound gauge\n"
               "kpd_data_version_sound " + QByteArray(n.versionSound ? "1" : "0") + '\n';
    }
    return out;
}

} // namespace appserver
