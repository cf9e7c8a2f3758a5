#include "serveralerts.h"

#include "alertwatch.h"
#include "cockpitdatabase.h"
#include "metrics.h"
#include "serverlog.h"
#include "serveroptions.h"

#include <cstdio>

namespace appserver {

ServerAlerts::ServerAlerts(const ServerOptions& options) : m_options(options) {}

int ServerAlerts::load()
{
    QString error;
    if (!m_options.alertRules.isEmpty() && !AlertRules::load(m_options.alertRules, &m_rules, &error)) {
        ServerLog::fail(error);
        return 2;
    }
    return 0;
}

std::unique_ptr<AlertWatch> ServerAlerts::start(const CockpitDatabase& database, Metrics& metrics) const
{
    if (m_options.alertRules.isEmpty())
        return nullptr;
    auto alerts = std::make_unique<AlertWatch>(m_rules, database.settings(), database.cockpit(), ServerLog::fail,
                                               [&metrics](const char* result) { metrics.recordMail(QLatin1String(result)); });
    alerts->prepare();
    alerts->start();
    std::fprintf(stderr, "kpd-appserver: %d regras de alerta de %s\n", int(m_rules.rules.size()),
                 m_options.alertRules.toUtf8().constData());
    return alerts;
}

} // namespace appserver
