#pragma once

#include "callscope.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct MHD_Daemon;
struct MHD_Connection;

namespace appserver {

/// One HTTP request as the face sees it: copied out of the engine once its headers (and a body, where
/// the route takes one) have arrived, so work on another thread never reads the engine's buffers.
struct HttpRequest {
    std::string method;                          ///< HEAD is answered as GET without the body
    std::string path;
    std::map<std::string, std::string> headers;  ///< names in lower case
    std::map<std::string, std::string> query;    ///< decoded; the first of a repeated name
    std::string body;
    QString peer;                                ///< the client's address, numeric
    bool tls = false;

    std::string header(const std::string& lowerName) const;
    std::string param(const std::string& name) const;
};

struct HttpResponse {
    int status = 200;
    std::string body;
    std::string type = "application/json; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;
};

/// A request on its way to an answer. The face answers at once from the engine's thread, or hands the
/// exchange to a worker and answers from there; meanwhile the connection is suspended and holds no
/// thread. scope() ends when the client goes away (its side of the connection closes) or the server
/// stops, so the work for a client that left is dropped.
class HttpExchange {
public:
    const HttpRequest& request() const { return m_request; }
    const CallScope& scope() const { return m_scope; }
    /// Once, from any thread; later answers are ignored.
    void answer(HttpResponse response);

private:
    friend class HttpEngine;
    enum class State { Handling, Suspended, Answered, Closed };
    HttpExchange() = default;

    HttpRequest m_request;
    CallScope m_scope;
    std::atomic<bool> m_gone{false};
    std::atomic<bool> m_dispatched{false};
    std::mutex m_mutex;
    State m_state = State::Handling;
    std::atomic<bool> m_hasAnswer{false};
    HttpResponse m_response;
    MHD_Connection* m_connection = nullptr;
    class HttpEngine* m_engine = nullptr;
    int m_fd = -1;
    quint64 m_id = 0;
};

/// The HTTP/1.1 server under the browser face: libmicrohttpd, event-driven (epoll, a few threads), so a
/// slow or idle client costs a descriptor and a little memory, never a thread. Its limits:
/// connections in all and per client address, memory per connection (which bounds the request line and
/// headers: 431 or 414 beyond), an idle timeout, and bodies only on routes that take one, refused 413 by
/// their declared length before a byte of them is read. Requests pipelined on one connection are
/// answered in order.
///
/// Beside those, two guards against clients that trickle a request in a byte at a time (which the idle
/// timeout never closes): a request's line and headers must all be in within headerSeconds of the
/// connection's start, or of the previous answer, or the connection is closed; and when the connections
/// come near their limit, the one that has waited longest for its headers is closed to make room, so a
/// crowd of such clients over many addresses cannot keep a real request out.
class HttpEngine {
public:
    struct Limits {
        unsigned connections = 1024;          ///< at once, all addresses together
        unsigned connectionsPerAddress = 64;
        size_t memoryPerConnection = 32 * 1024;   ///< request line, headers and the answer's headers
        unsigned idleSeconds = 10;            ///< a connection that sends and reads nothing is closed
        unsigned headerSeconds = 10;          ///< a request's line and headers all in within this
        size_t maxBody = 64 * 1024;
    };
    using Handler = std::function<void(const std::shared_ptr<HttpExchange>&)>;
    /// Whether a route (method and path) takes a body.
    using TakesBody = std::function<bool(const std::string& method, const std::string& path)>;

    HttpEngine(Handler handler, TakesBody takesBody);
    ~HttpEngine();
    HttpEngine(const HttpEngine&) = delete;
    HttpEngine& operator=(const HttpEngine&) = delete;

    /// Binds HOST:PORT (port 0: a free one), tells bound the port, and starts; false with a Portuguese
    /// reason in error.
    bool start(const QString& host, int port, const Limits& limits, const QByteArray& certPem,
               const QByteArray& keyPem, const std::function<void(int port)>& bound, QString& error);
    int port() const { return m_port; }
    /// No new connections; exchanges still without an answer get until graceUntil, then their scope
    /// ends and whatever has not answered by a moment later gets 503; then every connection closes.
    void stop(std::chrono::steady_clock::time_point graceUntil);

private:
    friend class HttpExchange;
    struct Callbacks;

    std::shared_ptr<HttpExchange> open(MHD_Connection* connection, const char* url, const char* method);
    int dispatch(const std::shared_ptr<HttpExchange>& ex);
    void close(HttpExchange& ex);
    void watch(HttpExchange& ex);
    void unwatch(HttpExchange& ex);
    void resume(HttpExchange& ex);
    void watchLoop();
    // Connections waiting for a request's headers: the header deadline and the room kept for new ones.
    void connectionStarted(MHD_Connection* connection, void** context);
    void connectionClosed(void** context);
    void waitingForHeaders(MHD_Connection* connection, bool waiting);
    void closeLate();

    Handler m_handler;
    TakesBody m_takesBody;
    MHD_Daemon* m_daemon = nullptr;
    int m_listenFd = -1;
    int m_port = 0;
    bool m_tls = false;
    size_t m_maxBody = 0;
    std::atomic<bool> m_stopping{false};
    bool m_closing = false;   // under m_mutex: no connection may be suspended any more

    // Suspended exchanges, by id: the watcher tells them when their client closes the connection.
    std::mutex m_mutex;
    std::map<quint64, std::weak_ptr<HttpExchange>> m_open;
    quint64 m_nextId = 0;
    int m_epoll = -1;
    int m_wakeFd = -1;
    std::thread m_watcher;

    struct Connection {
        int fd = -1;
        bool waiting = true;   // for a request's headers, since `since`
        bool closing = false;  // shut down by a guard; gone at its close notification
        std::chrono::steady_clock::time_point since;
    };
    std::mutex m_connectionsMutex;
    std::map<quint64, Connection> m_connections;
    quint64 m_nextConnection = 0;
    size_t m_live = 0;     // connections not yet shut down by a guard
    unsigned m_room = 0;   // connections beyond which the longest waiting for headers is closed
    std::chrono::seconds m_headerLimit{10};
};

} // namespace appserver
