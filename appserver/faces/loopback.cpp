#include "loopback.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace appserver {

bool isLoopback(const sockaddr* address)
{
    if (address->sa_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr) >> 24) == 127;
    if (address->sa_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&a))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127;
    }
    return false;
}

bool isLoopbackHost(const QString& host)
{
    QString h = host;
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    // Resolved as a bind resolves it: an empty host is every interface, not the loopback one.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray name = h.toUtf8();
    if (getaddrinfo(h.isEmpty() ? nullptr : name.constData(), "0", &hints, &found) != 0)
        return false;
    bool any = false;
    bool all = true;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6)
            continue;
        any = true;
        all = all && isLoopback(a->ai_addr);
    }
    freeaddrinfo(found);
    return any && all;
}

} // namespace appserver
