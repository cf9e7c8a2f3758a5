#include "listener.h"

#include "loopback.h"

#include <grpcpp/server_builder.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>
#include <string>
#include <unordered_map>

namespace appserver {

namespace {

using Clock = std::chrono::steady_clock;

// Accepting stops this long when the system refuses even the spare descriptor's worth of room.
constexpr std::chrono::milliseconds kPause{100};
// At most this many connections per readiness of a listening socket, so silent ones keep being served.
constexpr int kAcceptBatch = 256;

QString bindFailure(int error)
{
    switch (error) {
    case EADDRINUSE: return QStringLiteral("a porta já está em uso");
    case EACCES: return QStringLiteral("sem permissão para essa porta");
    case EADDRNOTAVAIL: return QStringLiteral("o endereço não pertence a esta máquina");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

void setPort(sockaddr* address, int port)
{
    if (address->sa_family == AF_INET)
        reinterpret_cast<sockaddr_in*>(address)->sin_port = htons(static_cast<uint16_t>(port));
    else if (address->sa_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(address)->sin6_port = htons(static_cast<uint16_t>(port));
}

int boundPort(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
}

} // namespace


int Listener::raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        // An unlimited hard limit is still capped by the kernel (fs.nr_open, 1048576 by default).
        if (raised.rlim_max == RLIM_INFINITY)
            raised.rlim_cur = 1048576;
        else
            raised.rlim_cur = raised.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur > 1048576 ? 1048576 : static_cast<int>(limit.rlim_cur);
}

int Listener::descriptorBudget(int limit, int poolSize)
{
    const int reserve = 64 + 8 * poolSize;
    return limit > 2 * reserve ? limit - reserve : limit / 2;
}

Listener::~Listener()
{
    stop();
}

bool Listener::open(const QString& hostPort, QString& error)
{
    const qsizetype colon = hostPort.lastIndexOf(QLatin1Char(':'));
    QString host = hostPort.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const QByteArray service = hostPort.mid(colon + 1).toLatin1();
    const auto failure = [&](const QString& why) {
        error = QStringLiteral("Não foi possível escutar em %1: %2.").arg(hostPort, why);
        for (int fd : m_sockets)
            ::close(fd);
        m_sockets.clear();
        return false;
    };

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &found);
    if (resolved != 0)
        return failure(QStringLiteral("endereço desconhecido (%1)").arg(QString::fromLocal8Bit(gai_strerror(resolved))));

    bool anyV4 = false;
    for (const addrinfo* a = found; a; a = a->ai_next)
        anyV4 = anyV4 || a->ai_family == AF_INET;
    std::vector<QByteArray> seen;
    int lastError = 0;
    m_port = 0;
    m_loopbackOnly = true;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6)
            continue;
        QByteArray address(reinterpret_cast<const char*>(a->ai_addr), static_cast<qsizetype>(a->ai_addrlen));
        if (std::find(seen.begin(), seen.end(), address) != seen.end())
            continue;
        seen.push_back(address);
        auto* sa = reinterpret_cast<sockaddr*>(address.data());
        // Port 0 picks one port for the first address; the others take the same.
        if (m_port != 0)
            setPort(sa, m_port);
        const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (a->ai_family == AF_INET6) {
            // "::" alone serves IPv4 too; next to an IPv4 address of its own it must not take its port.
            const int v6only = anyV4 ? 1 : 0;
            setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
        }
        if (::bind(fd, sa, static_cast<socklen_t>(address.size())) != 0 || ::listen(fd, SOMAXCONN) != 0) {
            lastError = errno;
            ::close(fd);
            // A machine without IPv6 still serves "localhost" over IPv4.
            if (lastError == EAFNOSUPPORT || (lastError == EADDRNOTAVAIL && a->ai_family == AF_INET6))
                continue;
            freeaddrinfo(found);
            return failure(bindFailure(lastError));
        }
        if (m_port == 0)
            m_port = boundPort(fd);
        m_loopbackOnly = m_loopbackOnly && isLoopback(sa);
        m_sockets.push_back(fd);
    }
    freeaddrinfo(found);
    if (m_sockets.empty())
        return failure(lastError ? bindFailure(lastError) : QStringLiteral("nenhum endereço IP encontrado"));
    return true;
}

void Listener::start(grpc::experimental::ExternalConnectionAcceptor* acceptor, int descriptorBudget,
                     std::chrono::milliseconds silentLimit, bool tls)
{
    m_tls = tls;
    m_acceptor = acceptor;
    m_budget = descriptorBudget;
    m_silentLimit = silentLimit;
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    m_thread = std::thread([this] { loop(); });
}

void Listener::stop()
{
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        if (::write(m_wake, &one, sizeof one) < 0)
            std::perror("kpd-appserver: eventfd");
        m_thread.join();
    }
    for (int fd : m_sockets)
        ::close(fd);
    m_sockets.clear();
    for (int* fd : {&m_wake, &m_spare}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

// The accept loop's state and its steps: connections come in, wait silent until their client speaks
// (then gRPC takes them) or their time is up, and give way to new ones when descriptors run short.
class Listener::Loop {
public:
    explicit Loop(Listener& listener) : m_l(listener), m_epoll(epoll_create1(EPOLL_CLOEXEC)) {}
    ~Loop()
    {
        for (int fd : m_order)
            ::close(fd);
        ::close(m_epoll);
    }

    void run()
    {
        watch(EPOLL_CTL_ADD, m_l.m_wake, EPOLLIN);
        for (int fd : m_l.m_sockets)
            watch(EPOLL_CTL_ADD, fd, EPOLLIN);
        std::vector<epoll_event> events(256);
        for (;;) {
            const int n = epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), timeoutMs());
            const Clock::time_point now = Clock::now();
            // Connections first: accepting may close silent ones and reuse their numbers, which would
            // mislead an event of this same round still to be read.
            if (handOver(events, n))
                return;
            for (int i = 0; i < n; ++i) {
                const int fd = events[i].data.fd;
                if (!m_paused && (events[i].events & EPOLLIN)
                    && std::find(m_l.m_sockets.begin(), m_l.m_sockets.end(), fd) != m_l.m_sockets.end())
                    acceptAll(fd, now);
            }
            while (!m_order.empty() && m_byFd[m_order.front()].second + m_l.m_silentLimit <= now)
                closeSilent(m_order.front());
            if (m_paused && now >= m_pausedUntil)
                setListening(true);
            report(now);
        }
    }

private:
    // Until the oldest silent connection's time is up or the pause ends; -1 when neither waits.
    int timeoutMs()
    {
        int timeout = -1;
        const auto soonest = [&](Clock::time_point at) {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(at - Clock::now()).count();
            const int t = ms < 0 ? 0 : static_cast<int>(std::min<long long>(ms, 60000));
            timeout = timeout < 0 ? t : std::min(timeout, t);
        };
        if (!m_order.empty())
            soonest(m_byFd[m_order.front()].second + m_l.m_silentLimit);
        if (m_paused)
            soonest(m_pausedUntil);
        for (const auto& [address, from] : m_notTls) {
            if (from.count > 0)
                soonest(from.saidAt + kRefusalPeriod);
        }
        return timeout;
    }

    // Gives gRPC the connections whose clients spoke, closes those gone without a word; true on the
    // stop signal.
    bool handOver(const std::vector<epoll_event>& events, int n)
    {
        bool stopping = false;
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_l.m_wake) {
                stopping = true;
            } else if (m_byFd.count(fd)) {
                const Opening opening = (events[i].events & EPOLLIN) ? openingOf(fd) : Opening::Gone;
                if (opening == Opening::NotTls) {
                    refuseNotTls(fd, Clock::now());
                } else if (opening == Opening::Complete) {
                    // From here on gRPC owns the connection and its handshake limit.
                    forget(fd);
                    grpc::experimental::ExternalConnectionAcceptor::NewConnectionParameters p;
                    p.listener_fd = m_l.m_sockets.front();
                    p.fd = fd;
                    m_l.m_acceptor->HandleNewConnection(&p);
                } else if (opening == Opening::Gone || (events[i].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR))) {
                    closeSilent(fd);
                }
            }
        }
        return stopping;
    }

    enum class Opening { Partial, Complete, NotTls, Gone };

    // Whether the client has sent its opening in full, read without taking it from the socket: the
    // HTTP/2 preface in plain text, the first TLS record (the ClientHello) otherwise. A client that
    // sends a byte and stalls would otherwise hold a connection gRPC keeps for its whole handshake
    // limit, out of reach of the silent connections' rules; here it stays silent until it has said it
    // all. Anything else is gRPC's to refuse.
    Opening openingOf(int fd)
    {
        static constexpr char kPreface[] = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";
        constexpr ssize_t kPrefaceSize = sizeof kPreface - 1;
        constexpr ssize_t kTlsHeader = 5;
        const ssize_t n = ::recv(fd, m_peek.data(), m_peek.size(), MSG_PEEK | MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return Opening::Gone;
        if (n < 1)
            return Opening::Partial;
        const auto* bytes = reinterpret_cast<const unsigned char*>(m_peek.data());
        if (m_l.m_tls && bytes[0] != 0x16)
            return Opening::NotTls;
        if (bytes[0] == 0x16) {   // a TLS handshake record: 5 bytes of header, then its length
            if (n < kTlsHeader)
                return Opening::Partial;
            const ssize_t record = kTlsHeader + ((ssize_t(bytes[3]) << 8) | bytes[4]);
            return n >= std::min<ssize_t>(record, ssize_t(m_peek.size())) ? Opening::Complete : Opening::Partial;
        }
        const ssize_t same = std::min(n, kPrefaceSize);
        if (std::memcmp(m_peek.data(), kPreface, size_t(same)) != 0)
            return Opening::Complete;
        return same == kPrefaceSize ? Opening::Complete : Opening::Partial;
    }

    void watch(int op, int fd, uint32_t events)
    {
        epoll_event e{};
        e.events = events;
        e.data.fd = fd;
        epoll_ctl(m_epoll, op, fd, &e);
    }

    void forget(int fd)
    {
        const auto it = m_byFd.find(fd);
        m_order.erase(it->second.first);
        m_byFd.erase(it);
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    }

    void closeSilent(int fd)
    {
        forget(fd);
        ::close(fd);
    }

    bool closeOldest()
    {
        if (m_order.empty())
            return false;
        closeSilent(m_order.front());
        ++m_closedSilent;
        return true;
    }

    // No descriptor left even to say no: give the spare back for a moment, take the caller and close.
    bool refuseOne(int listenerFd)
    {
        if (m_l.m_spare >= 0)
            ::close(m_l.m_spare);
        const int fd = accept4(listenerFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        m_l.m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ++m_refused;
        return fd >= 0;
    }

    void setListening(bool on)
    {
        for (int fd : m_l.m_sockets)
            watch(EPOLL_CTL_MOD, fd, on ? uint32_t(EPOLLIN) : 0u);
        m_paused = !on;
    }

    void acceptAll(int listenerFd, Clock::time_point now)
    {
        for (int n = 0; n < kAcceptBatch; ++n) {
            int fd = accept4(listenerFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                switch (errno) {
                case EINTR:
                case ECONNABORTED:
                case EPROTO:
                case EPERM:
                    continue;
                case EAGAIN:
                    return;
                case EMFILE:
                case ENFILE:
                    if (closeOldest() || refuseOne(listenerFd))
                        continue;
                    [[fallthrough]];
                default:
                    m_pausedUntil = now + kPause;
                    setListening(false);
                    return;
                }
            }
            if (fd >= m_l.m_budget && (fd = intoReserveGap(fd)) < 0)
                continue;
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            m_order.push_back(fd);
            m_byFd[fd] = {std::prev(m_order.end()), now};
            // Edge-triggered: a partial opening stays unread in the socket, and only more of it is news.
            watch(EPOLL_CTL_ADD, fd, EPOLLIN | EPOLLRDHUP | EPOLLET);
        }
    }

    // A connection that got a descriptor of the reserve: a silent connection gives way and it moves into
    // the place freed, so the reserve stays free; refused (-1) when none can give way.
    int intoReserveGap(int fd)
    {
        if (!closeOldest()) {
            ::close(fd);
            ++m_refused;
            return -1;
        }
        const int lower = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (lower >= 0 && lower < fd) {
            ::close(fd);
            return lower;
        }
        if (lower >= 0)
            ::close(lower);
        return fd;
    }

    // gRPC would fail its handshake with a line each: a port scan or a misconfigured client would flood
    // the log. The first from an address is said at once, the rest as a count once a minute.
    void refuseNotTls(int fd, Clock::time_point now)
    {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        char text[INET6_ADDRSTRLEN] = "?";
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0) {
            const void* ip = peer.ss_family == AF_INET6
                                 ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_addr)
                                 : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&peer)->sin_addr);
            inet_ntop(peer.ss_family, ip, text, sizeof text);
        }
        closeSilent(fd);
        // Rotating addresses share one count beyond this many, so the table cannot grow without end.
        constexpr size_t kAddresses = 4096;
        std::string address = text;
        if (!m_notTls.count(address) && m_notTls.size() >= kAddresses)
            address = "(vários endereços)";
        NotTls& from = m_notTls[address];
        if (from.saidAt == Clock::time_point{} || now - from.saidAt >= kRefusalPeriod) {
            std::fprintf(stderr, "kpd-appserver: conexão sem TLS de %s recusada (a porta exige TLS); outras do mesmo "
                                 "endereço são contadas por minuto\n",
                         address.c_str());
            from.saidAt = now;
            from.count = 0;
        } else {
            ++from.count;
        }
    }

    void reportNotTls(Clock::time_point now)
    {
        for (auto it = m_notTls.begin(); it != m_notTls.end();) {
            if (now - it->second.saidAt < kRefusalPeriod) {
                ++it;
            } else if (it->second.count > 0) {
                std::fprintf(stderr, "kpd-appserver: %ld conexões sem TLS de %s recusadas no último minuto\n",
                             it->second.count, it->first.c_str());
                it->second = {now, 0};
                ++it;
            } else {
                it = m_notTls.erase(it);
            }
        }
    }

    void report(Clock::time_point now)
    {
        reportNotTls(now);
        if ((m_closedSilent || m_refused) && now - m_lastReport >= std::chrono::seconds(10)) {
            std::fprintf(stderr,
                         "kpd-appserver: descritores no limite (%d): %ld conexões caladas fechadas e %ld recusadas\n",
                         m_l.m_budget, m_closedSilent, m_refused);
            m_closedSilent = m_refused = 0;
            m_lastReport = now;
        }
    }

    Listener& m_l;
    int m_epoll;
    std::array<char, 5 + 16384 + 256> m_peek{};   // the largest TLS record a ClientHello comes in
    // The silent connections, oldest first, and where each one is in that order.
    std::list<int> m_order;
    std::unordered_map<int, std::pair<std::list<int>::iterator, Clock::time_point>> m_byFd;
    long m_closedSilent = 0;
    long m_refused = 0;
    Clock::time_point m_lastReport;
    struct NotTls {
        Clock::time_point saidAt;
        long count = 0;   // since saidAt
    };
    static constexpr std::chrono::minutes kRefusalPeriod{1};
    std::unordered_map<std::string, NotTls> m_notTls;
    bool m_paused = false;
    Clock::time_point m_pausedUntil;
};

void Listener::loop()
{
    Loop(*this).run();
}

} // namespace appserver
