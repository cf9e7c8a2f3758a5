#include "healthmonitor.h"

#include "schema.h"

#include <grpcpp/ext/proto_server_reflection_plugin.h>
#include <grpcpp/health_check_service_interface.h>
#include <grpcpp/server.h>

#include <cstdio>

namespace appserver {

void HealthMonitor::EnableStandardServices()
{
    grpc::EnableDefaultHealthCheckService(true);
    grpc::reflection::InitProtoReflectionServerBuilderPlugin();
}

HealthMonitor::HealthMonitor(grpc::Server& server, DatabaseSettings settings, int intervalMs)
    : m_server(server), m_settings(std::move(settings)), m_intervalMs(intervalMs)
{
    m_settings.readOnly = true;
    m_thread = std::thread([this] { run(); });
}

HealthMonitor::~HealthMonitor()
{
    stop();
    m_thread.join();
}

void HealthMonitor::stop()
{
    {
        // Taken while a check writes to the health service: after this, none does.
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
}

bool HealthMonitor::databaseAnswers() const
{
    try {
        Database probe(m_settings);
        Schema::verify(probe, Schema::Use::Read);
        return true;
    } catch (const DatabaseError&) {
        return false;
    }
}

void HealthMonitor::run()
{
    grpc::HealthCheckServiceInterface* health = m_server.GetHealthCheckService();
    int last = -1;
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        lock.unlock();
        // The probe may wait for a database that does not answer; a stop does not wait for it.
        const bool serving = databaseAnswers();
        lock.lock();
        if (m_stop)
            break;
        if (health) {
            health->SetServingStatus(serving);
            health->SetServingStatus(kServiceName, serving);
        }
        lock.unlock();
        if (int(serving) != last) {
            std::fprintf(stderr, "kpd-appserver: saúde: %s\n",
                         serving ? "SERVING (o banco responde)" : "NOT_SERVING (o banco não responde)");
            last = int(serving);
        }
        lock.lock();
        m_wake.wait_for(lock, std::chrono::milliseconds(m_intervalMs), [this] { return m_stop; });
    }
}

} // namespace appserver
