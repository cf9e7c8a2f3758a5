#include "signinthrottle.h"

#include <algorithm>

namespace appserver {

namespace {

constexpr auto kWindow = std::chrono::minutes(1);
// An address that signed in this recently is still taken for a known one when the global cap applies.
constexpr auto kKnownFor = std::chrono::hours(12);
constexpr int kMaxWaitSeconds = 60;

int secondsUntil(SignInThrottle::Clock::time_point t, SignInThrottle::Clock::time_point now)
{
    return std::max(1, int(std::chrono::ceil<std::chrono::seconds>(t - now).count()));
}

} // namespace

std::optional<int> SignInThrottle::admit(const QString& address, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    while (!m_failures.empty() && m_failures.front() + kWindow <= now)
        m_failures.pop_front();
    Address& a = m_addresses[address];
    if (a.inFlight)
        return 1;
    if (a.failures > 0 && now < a.until)
        return secondsUntil(a.until, now);
    const bool known = a.signedIn != Clock::time_point() && now - a.signedIn < kKnownFor;
    // Attempts being checked count as failures until they end: a burst from many addresses at once would
    // otherwise all be let in before the first of them was found wrong.
    if (!known && int(m_failures.size()) + m_unknownInFlight >= kFailuresPerMinute)
        return int(m_failures.size()) >= kFailuresPerMinute ? secondsUntil(m_failures.front() + kWindow, now) : 1;
    a.inFlight = true;
    a.counted = !known;
    m_unknownInFlight += a.counted ? 1 : 0;
    return std::nullopt;
}

void SignInThrottle::finish(const QString& address, Outcome outcome, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    Address& a = m_addresses[address];
    a.inFlight = false;
    if (a.counted) {
        a.counted = false;
        --m_unknownInFlight;
    }
    switch (outcome) {
    case Outcome::NotChecked: break;
    case Outcome::Accepted:
        a.failures = 0;
        a.signedIn = now;
        break;
    case Outcome::Refused:
        a.failures = std::min(a.failures + 1, 7);
        a.until = now + std::chrono::seconds(std::min(kMaxWaitSeconds, 1 << (a.failures - 1)));
        m_failures.push_back(now);
        break;
    }
    forgetIdle(now);
}

// Addresses with nothing to remember are forgotten, so the table cannot grow without end.
void SignInThrottle::forgetIdle(Clock::time_point now)
{
    if (m_addresses.size() <= 10000)
        return;
    for (auto it = m_addresses.begin(); it != m_addresses.end();) {
        const Address& a = it.value();
        const bool remembered = a.inFlight || (a.failures > 0 && a.until > now)
                                || (a.signedIn != Clock::time_point() && now - a.signedIn < kKnownFor);
        it = remembered ? std::next(it) : m_addresses.erase(it);
    }
}

} // namespace appserver
