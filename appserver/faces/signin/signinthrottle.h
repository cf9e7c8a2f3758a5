#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <deque>
#include <mutex>
#include <optional>

namespace appserver {

/// How often a password may be tried. An address with an attempt in flight, or that must still wait
/// after wrong passwords (2^(n-1) seconds after n in a row, at most a minute), is refused before its
/// password is checked: a parallel burst from one address gets one check. Beyond kFailuresPerMinute
/// wrong passwords in the last minute from all addresses together (counting the attempts of such
/// addresses still being checked), addresses that have not signed in lately wait for the minute to make
/// room, so changing addresses, even all at once, does not guess faster. Sessions are
/// not touched by any of it. Thread-safe.
class SignInThrottle {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kFailuresPerMinute = 20;

    /// Empty when a password from address may be checked now (finish() must follow); otherwise the
    /// seconds to wait.
    std::optional<int> admit(const QString& address, Clock::time_point now = Clock::now());
    /// The attempt admitted for address ended: accepted, refused, or (neither) not checked after all.
    enum class Outcome { Accepted, Refused, NotChecked };
    void finish(const QString& address, Outcome outcome, Clock::time_point now = Clock::now());

private:
    struct Address {
        int failures = 0;
        Clock::time_point until;
        Clock::time_point signedIn;   // last success; time_point() when never
        bool inFlight = false;
        bool counted = false;         // in flight from an address not signed in lately
    };
    void forgetIdle(Clock::time_point now);

    std::mutex m_mutex;
    QHash<QString, Address> m_addresses;
    std::deque<Clock::time_point> m_failures;   // the last minute's, all addresses
    int m_unknownInFlight = 0;                  // attempts being checked that the cap counts
};

} // namespace appserver
