#include "httpengine.h"

#include <microhttpd.h>

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace appserver {

namespace {

constexpr std::chrono::milliseconds kAfterCancel{500};

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    std::string name = key ? key : "";
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    static_cast<std::map<std::string, std::string>*>(cls)->emplace(std::move(name), value ? value : "");
    return MHD_YES;
}

MHD_Result collectArgument(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    static_cast<std::map<std::string, std::string>*>(cls)->emplace(key ? key : "", value ? value : "");
    return MHD_YES;
}

QString numericAddress(const sockaddr* address)
{
    if (!address)
        return {};
    char host[NI_MAXHOST] = {};
    const socklen_t length = address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0)
        return {};
    return QString::fromLatin1(host);
}

MHD_Result queue(MHD_Connection* connection, const HttpResponse& answer, bool close)
{
    MHD_Response* r = MHD_create_response_from_buffer(answer.body.size(), const_cast<char*>(answer.body.data()),
                                                      MHD_RESPMEM_MUST_COPY);
    if (!r)
        return MHD_NO;
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, answer.type.c_str());
    for (const auto& [name, value] : answer.headers)
        MHD_add_response_header(r, name.c_str(), value.c_str());
    if (close)
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(answer.status), r);
    MHD_destroy_response(r);
    return queued;
}

HttpResponse refusal(int status, const char* json)
{
    HttpResponse r;
    r.status = status;
    r.body = json;
    r.headers = {{"Cache-Control", "no-store"}};
    return r;
}

// Why a socket could not listen, as the operator reads it.
QString bindReason(int error, int port)
{
    switch (error) {
    case EADDRINUSE: return QStringLiteral("a porta %1 já está em uso por outro programa").arg(port);
    case EACCES: return QStringLiteral("sem permissão para a porta %1 (portas abaixo de 1024 exigem privilégio)").arg(port);
    case EADDRNOTAVAIL: return QStringLiteral("o endereço não pertence a esta máquina");
    case EAFNOSUPPORT: return QStringLiteral("esta máquina não tem esse tipo de endereço (IPv6 desligado?)");
    default: return QStringLiteral("erro %1 do sistema: %2").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

} // namespace

std::string HttpRequest::header(const std::string& lowerName) const
{
    const auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

std::string HttpRequest::param(const std::string& name) const
{
    const auto it = query.find(name);
    return it == query.end() ? std::string() : it->second;
}

void HttpExchange::answer(HttpResponse response)
{
    std::lock_guard lock(m_mutex);
    if (m_hasAnswer || m_state == State::Closed)
        return;
    m_response = std::move(response);
    m_hasAnswer = true;
    if (m_state == State::Suspended) {
        m_state = State::Answered;
        m_engine->unwatch(*this);
        MHD_resume_connection(m_connection);
    }
}

// libmicrohttpd's callbacks, with the engine as their closure.
struct HttpEngine::Callbacks {
    static MHD_Result request(void* cls, MHD_Connection* connection, const char* url, const char* method,
                              const char*, const char* upload, size_t* uploadSize, void** context)
    {
        auto* engine = static_cast<HttpEngine*>(cls);
        auto* held = static_cast<std::shared_ptr<HttpExchange>*>(*context);
        if (!held) {
            engine->waitingForHeaders(connection, false);
            std::shared_ptr<HttpExchange> ex = engine->open(connection, url, method);
            *context = new std::shared_ptr<HttpExchange>(ex);
            if (engine->m_stopping)
                return queue(connection, refusal(503, R"({"erro":"O servidor de aplicação está sendo encerrado."})"), true);
            const HttpRequest& req = ex->m_request;
            const std::string length = req.header("content-length");
            const bool chunked = !req.header("transfer-encoding").empty();
            const unsigned long long declared = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
            // Answered on the next call, once the engine has the whole request: an answer queued now
            // would be taken for one that skips the body, and the connection closed after it.
            if (!chunked && declared == 0)
                return MHD_YES;
            // A body is refused before any of it is read: by its route, its form or its declared size.
            if (!engine->m_takesBody(req.method == "HEAD" ? "GET" : req.method, req.path) || declared > engine->m_maxBody)
                return queue(connection,
                             refusal(413, R"({"erro":"O pedido tem um corpo que este endereço não aceita ou grande demais (máximo 64 KiB)."})"),
                             true);
            if (chunked)
                return queue(connection, refusal(411, R"({"erro":"Envie o corpo com Content-Length."})"), true);
            ex->m_request.body.reserve(size_t(declared));
            return MHD_YES;
        }
        const std::shared_ptr<HttpExchange>& ex = *held;
        if (*uploadSize) {
            // The declared length bounds what arrives; anything beyond it is the next request's.
            const size_t room = engine->m_maxBody - std::min(engine->m_maxBody, ex->m_request.body.size());
            ex->m_request.body.append(upload, std::min(room, *uploadSize));
            *uploadSize = 0;
            return MHD_YES;
        }
        {
            std::lock_guard lock(ex->m_mutex);
            if (ex->m_state != HttpExchange::State::Handling || ex->m_dispatched) {
                // Resumed with its answer.
                if (!ex->m_hasAnswer)
                    return MHD_NO;
                return queue(connection, ex->m_response, engine->m_stopping);
            }
        }
        return MHD_Result(engine->dispatch(ex));
    }

    static void completed(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode)
    {
        auto* engine = static_cast<HttpEngine*>(cls);
        // A kept-alive connection now waits for the next request's headers.
        engine->waitingForHeaders(connection, true);
        auto* held = static_cast<std::shared_ptr<HttpExchange>*>(*context);
        if (!held)
            return;
        engine->close(**held);
        delete held;
        *context = nullptr;
    }

    static void connection(void* cls, MHD_Connection* connection, void** socketContext,
                           MHD_ConnectionNotificationCode code)
    {
        auto* engine = static_cast<HttpEngine*>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED)
            engine->connectionStarted(connection, socketContext);
        else
            engine->connectionClosed(socketContext);
    }
};

HttpEngine::HttpEngine(Handler handler, TakesBody takesBody)
    : m_handler(std::move(handler)), m_takesBody(std::move(takesBody))
{
}

HttpEngine::~HttpEngine() { stop(std::chrono::steady_clock::now()); }

std::shared_ptr<HttpExchange> HttpEngine::open(MHD_Connection* connection, const char* url, const char* method)
{
    std::shared_ptr<HttpExchange> ex(new HttpExchange);
    HttpRequest& req = ex->m_request;
    req.method = method ? method : "";
    req.path = url ? url : "";
    req.tls = m_tls;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, collectHeader, &req.headers);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, collectArgument, &req.query);
    if (const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
        req.peer = numericAddress(info->client_addr);
    if (const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
        ex->m_fd = info->connect_fd;
    ex->m_connection = connection;
    ex->m_engine = this;
    HttpExchange* raw = ex.get();
    ex->m_scope.ended = [raw]() -> std::optional<CallEnd> {
        return raw->m_gone.load() ? std::optional<CallEnd>(CallEnd::Cancelled) : std::nullopt;
    };
    std::lock_guard lock(m_mutex);
    ex->m_id = ++m_nextId;
    m_open.emplace(ex->m_id, ex);
    return ex;
}

int HttpEngine::dispatch(const std::shared_ptr<HttpExchange>& ex)
{
    ex->m_dispatched = true;
    m_handler(ex);
    std::lock_guard engineLock(m_mutex);
    std::lock_guard lock(ex->m_mutex);
    if (!ex->m_hasAnswer && m_closing) {
        // Too late to wait for the work: the server is closing its connections.
        ex->m_gone = true;
        ex->m_response = refusal(503, R"({"erro":"O servidor de aplicação está sendo encerrado."})");
        ex->m_hasAnswer = true;
    }
    if (ex->m_hasAnswer) {
        ex->m_state = HttpExchange::State::Answered;
        return queue(ex->m_connection, ex->m_response, m_stopping);
    }
    MHD_suspend_connection(ex->m_connection);
    ex->m_state = HttpExchange::State::Suspended;
    watch(*ex);
    return MHD_YES;
}

void HttpEngine::close(HttpExchange& ex)
{
    {
        std::lock_guard lock(ex.m_mutex);
        if (ex.m_state == HttpExchange::State::Suspended)
            unwatch(ex);
        ex.m_state = HttpExchange::State::Closed;
        ex.m_gone = true;
    }
    std::lock_guard lock(m_mutex);
    m_open.erase(ex.m_id);
}

void HttpEngine::watch(HttpExchange& ex)
{
    if (m_epoll < 0 || ex.m_fd < 0)
        return;
    epoll_event event{};
    event.events = EPOLLRDHUP | EPOLLONESHOT;
    event.data.u64 = ex.m_id;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, ex.m_fd, &event);
}

void HttpEngine::unwatch(HttpExchange& ex)
{
    if (m_epoll >= 0 && ex.m_fd >= 0)
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, ex.m_fd, nullptr);
}

void HttpEngine::connectionStarted(MHD_Connection* connection, void** context)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    std::lock_guard lock(m_connectionsMutex);
    const quint64 id = ++m_nextConnection;
    m_connections[id] = Connection{info ? info->connect_fd : -1, true, false, std::chrono::steady_clock::now()};
    *context = reinterpret_cast<void*>(uintptr_t(id));
    ++m_live;
    // Room for the next client: the connections that have waited longest for their headers go first.
    // One that has sent its request (waiting for its answer, or reading it) is never chosen.
    while (m_live > m_room) {
        Connection* oldest = nullptr;
        for (auto& [other, c] : m_connections) {
            if (other != id && c.waiting && !c.closing && c.fd >= 0 && (!oldest || c.since < oldest->since))
                oldest = &c;
        }
        if (!oldest)
            break;
        // The engine sees the end of the stream and closes the connection itself; the descriptor stays
        // its own until the close notification, which waits for this lock.
        ::shutdown(oldest->fd, SHUT_RDWR);
        oldest->closing = true;
        --m_live;
    }
}

void HttpEngine::connectionClosed(void** context)
{
    std::lock_guard lock(m_connectionsMutex);
    const auto it = m_connections.find(quint64(reinterpret_cast<uintptr_t>(*context)));
    if (it == m_connections.end())
        return;
    if (!it->second.closing)
        --m_live;
    m_connections.erase(it);
}

void HttpEngine::waitingForHeaders(MHD_Connection* connection, bool waiting)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    if (!info)
        return;
    std::lock_guard lock(m_connectionsMutex);
    const auto it = m_connections.find(quint64(reinterpret_cast<uintptr_t>(info->socket_context)));
    if (it == m_connections.end())
        return;
    it->second.waiting = waiting;
    it->second.since = std::chrono::steady_clock::now();
}

// The idle timeout restarts with every byte; this deadline does not.
void HttpEngine::closeLate()
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_connectionsMutex);
    for (auto& [id, c] : m_connections) {
        if (c.waiting && !c.closing && c.fd >= 0 && now - c.since > m_headerLimit) {
            ::shutdown(c.fd, SHUT_RDWR);
            c.closing = true;
            --m_live;
        }
    }
}

// A suspended connection is not read by the engine, so the client's leaving would go unnoticed until
// its work ended; the peer's closing (EPOLLRDHUP) ends the work's scope instead, as nginx does. Once a
// second the connections late with their headers are closed.
void HttpEngine::watchLoop()
{
    epoll_event events[64];
    auto nextCheck = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (;;) {
        const int n = epoll_wait(m_epoll, events, 64, 1000);
        if (n < 0 && errno != EINTR)
            return;
        if (std::chrono::steady_clock::now() >= nextCheck) {
            closeLate();
            nextCheck = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        }
        for (int i = 0; i < n; ++i) {
            const quint64 id = events[i].data.u64;
            if (id == 0)
                return;
            std::shared_ptr<HttpExchange> ex;
            {
                std::lock_guard lock(m_mutex);
                const auto it = m_open.find(id);
                if (it != m_open.end())
                    ex = it->second.lock();
            }
            if (ex)
                ex->m_gone = true;
        }
    }
}

bool HttpEngine::start(const QString& hostText, int port, const Limits& limits, const QByteArray& certPem,
                       const QByteArray& keyPem, const std::function<void(int port)>& bound, QString& error)
{
    QString host = hostText;
    if (host.startsWith(QLatin1Char('[')))
        host = host.mid(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (getaddrinfo(host.isEmpty() ? nullptr : host.toUtf8().constData(), service.constData(), &hints, &found) != 0
        || !found) {
        error = QStringLiteral("o nome \"%1\" não foi encontrado").arg(hostText);
        return false;
    }
    int lastError = 0;
    for (addrinfo* a = found; a && m_listenFd < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (a->ai_family == AF_INET6)
            setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 511) != 0) {
            lastError = errno;
            ::close(fd);
            continue;
        }
        m_listenFd = fd;
    }
    freeaddrinfo(found);
    if (m_listenFd < 0) {
        error = bindReason(lastError, port);
        return false;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    bound(m_port);

    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.u64 = 0;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakeFd, &wake);
    m_watcher = std::thread([this] { watchLoop(); });

    m_tls = !certPem.isEmpty();
    m_maxBody = limits.maxBody;
    m_headerLimit = std::chrono::seconds(limits.headerSeconds);
    m_room = limits.connections - std::min(limits.connections / 2, std::max(4u, limits.connections / 8));
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
    std::vector<MHD_OptionItem> options{
        {MHD_OPTION_LISTEN_SOCKET, m_listenFd, nullptr},
        {MHD_OPTION_THREAD_POOL_SIZE, threads, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, limits.connections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.connectionsPerAddress, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(limits.memoryPerConnection), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, limits.idleSeconds, nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Callbacks::completed), this},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Callbacks::connection), this},
    };
    const QByteArray cert = certPem + '\0', key = keyPem + '\0';
    if (m_tls) {
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(cert.constData())});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(key.constData())});
        options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>("NORMAL:-VERS-TLS1.0:-VERS-TLS1.1")});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    const unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | (m_tls ? unsigned(MHD_USE_TLS) : 0u);
    m_daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Callbacks::request, this, MHD_OPTION_ARRAY,
                                options.data(), MHD_OPTION_END);
    if (!m_daemon) {
        error = m_tls ? QStringLiteral("o certificado e a chave não servem para HTTPS (não combinam, ou não são PEM)")
                      : QStringLiteral("o servidor HTTP não iniciou");
        ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    return true;
}

void HttpEngine::stop(std::chrono::steady_clock::time_point graceUntil)
{
    if (m_stopping.exchange(true))
        return;
    if (m_daemon) {
        const int listening = MHD_quiesce_daemon(m_daemon);
        auto waiting = [this] {
            std::vector<std::shared_ptr<HttpExchange>> out;
            std::lock_guard lock(m_mutex);
            for (const auto& [id, weak] : m_open) {
                if (std::shared_ptr<HttpExchange> ex = weak.lock(); ex && ex->m_dispatched && !ex->m_hasAnswer)
                    out.push_back(std::move(ex));
            }
            return out;
        };
        const auto until = [&](std::chrono::steady_clock::time_point limit) {
            while (std::chrono::steady_clock::now() < limit && !waiting().empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        };
        until(graceUntil);
        for (const auto& ex : waiting())
            ex->m_gone = true;
        until(std::chrono::steady_clock::now() + kAfterCancel);
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        for (const auto& ex : waiting())
            ex->answer(refusal(503, R"({"erro":"O servidor de aplicação está sendo encerrado."})"));
        MHD_stop_daemon(m_daemon);
        m_daemon = nullptr;
        if (listening >= 0)
            ::close(listening);
        m_listenFd = -1;
    }
    if (m_watcher.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        m_watcher.join();
    }
    for (int* fd : {&m_epoll, &m_wakeFd, &m_listenFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

} // namespace appserver
