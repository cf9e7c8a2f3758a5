#include "serversignals.h"

#include <csignal>
#include <pthread.h>

namespace appserver {

namespace {

sigset_t serverSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

extern "C" void onServerSignal(int) {}

} // namespace

void ServerSignals::block()
{
    // The stop signals are taken by one waiting thread, so they must be blocked before any thread
    // starts: gRPC starts its own as soon as it is first used, and they inherit this mask.
    // A shell that starts the server in the background leaves SIGINT ignored, and an ignored signal
    // never reaches sigwait: give both a handler (it never runs while they are blocked). Blocked first:
    // a stop signal that comes in between stays pending for sigwait instead of running the empty
    // handler and being lost.
    const sigset_t set = serverSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGINT, onServerSignal);
    std::signal(SIGTERM, onServerSignal);
    std::signal(SIGHUP, onServerSignal);
}

void ServerSignals::unblock()
{
    const sigset_t set = serverSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int ServerSignals::waitForStop(const std::function<void()>& onReload)
{
    const sigset_t set = serverSignals();
    int signal = 0;
    while (sigwait(&set, &signal) == 0 && signal == SIGHUP)
        onReload();
    return signal;
}

} // namespace appserver
