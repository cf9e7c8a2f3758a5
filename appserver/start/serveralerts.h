#pragma once

#include "alertrules.h"

#include <memory>

namespace appserver {

class AlertWatch;
class CockpitDatabase;
class Metrics;
struct ServerOptions;

/// The alerts of --alert-rules: the rules read and checked before the database is touched, then the
/// watch that follows the figures on threads of its own, never on a call's.
class ServerAlerts {
public:
    explicit ServerAlerts(const ServerOptions& options);
    /// 0, or the exit status after a message.
    int load();
    /// The watch when there are rules, null otherwise; it must go before the database. Throws
    /// DatabaseError when the alerts' tables cannot be made.
    std::unique_ptr<AlertWatch> start(const CockpitDatabase& database, Metrics& metrics) const;

private:
    const ServerOptions& m_options;
    AlertRules m_rules;
};

} // namespace appserver
