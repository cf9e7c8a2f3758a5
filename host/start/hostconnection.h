#pragma once

#include <optional>

class HostCommandLine;
struct Subscription;

// Where and how the module reaches the app server: the address (--server, else the subscription's, else
// the settings'), each call's deadline and TLS, asked for again at every connect.
class HostConnection {
public:
    // An exit status when an option is refused; nothing to go on.
    static std::optional<int> Apply(const HostCommandLine& cmd, const Subscription& subscription);
};
