#pragma once

#include "subscription.h"

#include <optional>

class HostCommandLine;
class ModuleLoader;

// --send-subscription: the subscription read and checked against the other options before anything
// connects (it may name the server), then the closed month's pack sent.
class SubscriptionStart {
public:
    // An exit status when the command line is refused; nothing to go on. Without --send-subscription
    // the subscription stays empty.
    std::optional<int> Load(const HostCommandLine& cmd);
    const Subscription& Get() const { return m_subscription; }
    // The exit status of the sending.
    int Send(ModuleLoader& module, const HostCommandLine& cmd) const;

private:
    Subscription m_subscription;
};
