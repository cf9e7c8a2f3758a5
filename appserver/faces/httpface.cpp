#include "httpface.h"

#include "calllog.h"
#include "ckppackets.h"
#include "cockpitview.h"
#include "databaseerror.h"
#include "loopback.h"
#include "metrics.h"
#include "packetcodec.h"
#include "rdmindicresult.h"
#include "useraccounts.h"
#include "wireerror.h"

#include <httplib.h>
#include <sodium.h>

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <mutex>

static void initWebResource() { Q_INIT_RESOURCE(web); }

namespace appserver {

namespace {

constexpr const char* kCookie = "kpd_sessao";
constexpr auto kSessionLife = std::chrono::hours(12);

std::string json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(); }

void answerError(httplib::Response& res, int status, const QString& message)
{
    res.status = status;
    res.set_content(json(QJsonObject{{QStringLiteral("erro"), message}}), "application/json; charset=utf-8");
}

QByteArray resource(const QString& name)
{
    QFile f(QStringLiteral(":/kpd/web/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The route a request is counted under: the known ones by name, everything else together.
QString routeOf(const std::string& path)
{
    static const QStringList known{"/", "/cockpit.js", "/cockpit.css", "/api/cockpit", "/api/entrar", "/api/sair", "/metrics"};
    const QString p = QString::fromStdString(path);
    return known.contains(p) ? p : QStringLiteral("outra");
}

} // namespace

struct HttpFace::Routes {
    UserAccounts* users = nullptr;
    bool secure = false;
    std::mutex mutex;
    struct Session {
        QString user;
        std::chrono::steady_clock::time_point expires;
    };
    QHash<QByteArray, Session> sessions;

    QByteArray sessionOf(const httplib::Request& req) const
    {
        const QByteArray cookies = QByteArray::fromStdString(req.get_header_value("Cookie"));
        for (const QByteArray& part : cookies.split(';')) {
            const QByteArray c = part.trimmed();
            if (c.startsWith(QByteArray(kCookie) + '='))
                return c.mid(qsizetype(strlen(kCookie)) + 1);
        }
        return {};
    }

    QString newSession(const QString& user)
    {
        unsigned char bytes[32];
        randombytes_buf(bytes, sizeof bytes);
        const QByteArray token = QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toHex();
        std::lock_guard lock(mutex);
        const auto now = std::chrono::steady_clock::now();
        for (auto it = sessions.begin(); it != sessions.end();)
            it = it.value().expires < now ? sessions.erase(it) : std::next(it);
        sessions.insert(token, {user, now + kSessionLife});
        return QString::fromLatin1(token);
    }

    std::string cookie(const QString& token, bool expire) const
    {
        // Secure wherever there is TLS. Plain HTTP is only allowed on loopback, where some browsers would
        // drop a Secure cookie and the page could never sign in.
        QString c = QStringLiteral("%1=%2; Path=/; HttpOnly; SameSite=Strict").arg(QLatin1String(kCookie), token);
        if (secure)
            c += QStringLiteral("; Secure");
        c += expire ? QStringLiteral("; Max-Age=0")
                    : QStringLiteral("; Max-Age=%1").arg(std::chrono::duration_cast<std::chrono::seconds>(kSessionLife).count());
        return c.toStdString();
    }

    // Whether the request may see figures; otherwise the response says why.
    bool signedIn(const httplib::Request& req, httplib::Response& res)
    {
        if (!users)
            return true;
        const QByteArray token = sessionOf(req);
        if (!token.isEmpty()) {
            std::lock_guard lock(mutex);
            auto it = sessions.find(token);
            if (it != sessions.end() && it.value().expires > std::chrono::steady_clock::now())
                return true;
        }
        const QByteArray auth = QByteArray::fromStdString(req.get_header_value("Authorization"));
        if (auth.startsWith("Basic ")) {
            const QByteArray pair = QByteArray::fromBase64(auth.mid(6).trimmed());
            const qsizetype colon = pair.indexOf(':');
            if (colon > 0 && verify(req, res, QString::fromUtf8(pair.left(colon)), pair.mid(colon + 1)))
                return true;
            if (res.status == 429)
                return false;
        }
        // The page signs in with its own form; a script gets the challenge for Basic.
        if (req.get_header_value("X-Kpd-Pagina").empty())
            res.set_header("WWW-Authenticate", "Basic realm=\"kpd\", charset=\"UTF-8\"");
        answerError(res, 401, QStringLiteral("Entre com seu usuário e senha para ver os números."));
        return false;
    }

    bool verify(const httplib::Request& req, httplib::Response& res, const QString& name, const QByteArray& password)
    {
        int retry = 0;
        switch (users->check(QString::fromStdString(req.remote_addr), name, password, &retry)) {
        case UserAccounts::Check::Accepted: return true;
        case UserAccounts::Check::Throttled:
            res.set_header("Retry-After", std::to_string(retry));
            answerError(res, 429, QStringLiteral("Muitas tentativas erradas deste endereço; tente de novo em %1 s.").arg(retry));
            return false;
        case UserAccounts::Check::Refused: break;
        }
        answerError(res, 401, QStringLiteral("Usuário ou senha incorretos."));
        return false;
    }
};

HttpFace::HttpFace(const RdmIndicResult& cockpit, CallLog& log, Metrics& metrics)
    : m_cockpit(cockpit), m_log(log), m_metrics(metrics)
{
}

// The month as the browser's JSON, or the HTTP status and message of why not; logged as a gRPC call is.
void HttpFace::answerMonth(const QDate& month, std::string& body, int& status, QString& error) const
{
    QElapsedTimer timer;
    timer.start();
    CallLog::Call logged{QString::fromLatin1(RdmIndicResult::kRegisteredName), QLatin1String(CkpPackets::kMethod),
                         QLatin1String(CkpPackets::kMethod), month.toString(Qt::ISODate)};
    // cpp-httplib 0.11 does not tell a handler that its browser went away, so the scope ends only by its
    // deadline; an engine that does tells it through scope.ended.
    CallScope scope;
    scope.deadline = std::chrono::steady_clock::now() + m_callDeadline;
    status = 200;
    try {
        CkpData data = m_cockpit.month(month, scope);
        cockpit::CockpitPackets packets;
        packets.month = data.firstDay;
        packets.indicadores = PacketCodec::DecodePacket(data.indicadores);
        packets.top10 = PacketCodec::DecodePacket(data.top10);
        packets.bottom10 = PacketCodec::DecodePacket(data.bottom10);
        packets.grafPizza = PacketCodec::DecodePacket(data.grafPizza);
        packets.diasEstoque = PacketCodec::DecodePacket(data.diasEstoque);
        packets.metas = PacketCodec::DecodePacket(data.quinto);
        packets.comparacoes = PacketCodec::DecodePacket(data.sexto);
        body = cockpit::CockpitJsonText(packets).toStdString();
    } catch (const CallEnded& e) {
        status = e.reason() == CallEnd::Overloaded ? 503 : e.reason() == CallEnd::DeadlineExceeded ? 504 : 500;
        error = e.message();
        logged.outcome = CallLog::outcomeOf(e.reason());
    } catch (const DatabaseError& e) {
        status = 502;
        error = e.message();
        logged.outcome = QStringLiteral("FALHA");
    } catch (const WireError& e) {
        status = 502;
        error = e.Message();
        logged.outcome = QStringLiteral("INTERNAL");
    } catch (const std::exception& e) {
        status = 500;
        error = QStringLiteral("Erro interno no servidor de aplicação: %1")
                    .arg(CallLog::echoedMessage(QString::fromUtf8(e.what())));
        logged.outcome = QStringLiteral("INTERNAL");
    }
    logged.message = error;
    logged.nanoseconds = timer.nsecsElapsed();
    m_log.record(logged);
}

HttpFace::~HttpFace() { stop(); }

bool HttpFace::start(const Setup& setup, QString& error)
{
    const qsizetype colon = setup.listen.lastIndexOf(QLatin1Char(':'));
    QString host = setup.listen.left(colon);
    const int port = setup.listen.mid(colon + 1).toInt();
    const bool tls = !setup.tlsCert.isEmpty();
    const QString what = setup.metricsOnly ? QStringLiteral("--metrics-only") : QStringLiteral("--http");
    if (!isLoopbackHost(host) && (!tls || !setup.users)) {
        error = QStringLiteral("Recusado: %1 em %2 exige TLS (--tls-cert e --tls-key) e usuários (--users); sem eles só "
                               "no endereço local (127.0.0.1).")
                    .arg(what, setup.listen);
        return false;
    }
    if (sodium_init() < 0) {
        error = QStringLiteral("Não foi possível iniciar a biblioteca de criptografia (libsodium).");
        return false;
    }
    if (tls) {
        auto ssl = std::make_unique<httplib::SSLServer>(setup.tlsCert.toLocal8Bit().constData(), setup.tlsKey.toLocal8Bit().constData());
        if (!ssl->is_valid()) {
            error = QStringLiteral("Não foi possível iniciar o HTTPS com o certificado \"%1\" e a chave \"%2\".")
                        .arg(setup.tlsCert, setup.tlsKey);
            return false;
        }
        m_server = std::move(ssl);
    } else {
        m_server = std::make_unique<httplib::Server>();
    }
    m_callDeadline = setup.callDeadline;
    m_routes = std::make_unique<Routes>();
    m_routes->users = setup.users;
    m_routes->secure = tls;
    Routes& routes = *m_routes;
    httplib::Server& svr = *m_server;

    svr.set_payload_max_length(64 * 1024);
    svr.set_read_timeout(std::chrono::seconds(10));
    svr.set_keep_alive_max_count(100);
    // Headers and body go out in separate writes; without this a kept-alive connection waits for the
    // peer's delayed acknowledgement (some 40 ms) before the body leaves.
    svr.set_tcp_nodelay(true);
    svr.set_post_routing_handler([tls](const httplib::Request&, httplib::Response& res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_header("X-Frame-Options", "DENY");
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; base-uri 'none'; form-action 'self'");
        if (tls)
            res.set_header("Strict-Transport-Security", "max-age=31536000");
        if (!res.has_header("Cache-Control"))
            res.set_header("Cache-Control", "no-store");
    });
    svr.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        m_metrics.recordHttp(routeOf(req.path), res.status);
    });
    svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            answerError(res, res.status, res.status == 404 ? QStringLiteral("Página não encontrada.")
                                                           : QStringLiteral("Pedido não atendido (HTTP %1).").arg(res.status));
    });
    svr.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        answerError(res, 500, QStringLiteral("Erro interno no servidor de aplicação."));
    });

    svr.Get("/metrics", [this, &routes](const httplib::Request& req, httplib::Response& res) {
        if (!routes.signedIn(req, res))
            return;
        res.set_content(m_metrics.render().toStdString(), "text/plain; version=0.0.4; charset=utf-8");
    });

    if (!setup.metricsOnly) {
        initWebResource();
        struct Asset {
            const char* path;
            const char* file;
            const char* type;
        };
        for (const Asset& a : {Asset{"/", "index.html", "text/html; charset=utf-8"},
                               Asset{"/cockpit.js", "cockpit.js", "text/javascript; charset=utf-8"},
                               Asset{"/cockpit.css", "cockpit.css", "text/css; charset=utf-8"}}) {
            const std::string body = resource(QLatin1String(a.file)).toStdString();
            const std::string type = a.type;
            svr.Get(a.path, [body, type](const httplib::Request&, httplib::Response& res) {
                res.set_header("Cache-Control", "no-cache");
                res.set_content(body, type.c_str());
            });
        }

        svr.Get("/api/cockpit", [this, &routes](const httplib::Request& req, httplib::Response& res) {
            if (!routes.signedIn(req, res))
                return;
            static const QRegularExpression form(QStringLiteral("^([0-9]{4})-([0-9]{2})$"));
            const QString text = QString::fromStdString(req.get_param_value("month"));
            const QRegularExpressionMatch m = form.match(text);
            const QDate month = m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), 1) : QDate();
            if (!month.isValid() || month.year() < 1) {
                answerError(res, 400, text.isEmpty() ? QStringLiteral("Informe o mês: /api/cockpit?month=AAAA-MM.")
                                                     : QStringLiteral("Mês inválido: \"%1\". Use AAAA-MM, por exemplo 2024-03.")
                                                           .arg(text.left(40)));
                return;
            }
            std::string body;
            int status = 200;
            QString error;
            answerMonth(month, body, status, error);
            if (status != 200) {
                if (status == 503)
                    res.set_header("Retry-After", "1");
                answerError(res, status, error);
                return;
            }
            res.set_content(body, "application/json; charset=utf-8");
        });

        svr.Post("/api/entrar", [&routes](const httplib::Request& req, httplib::Response& res) {
            if (!routes.users) {
                res.set_content(json(QJsonObject{{QStringLiteral("usuario"), QString()}}), "application/json; charset=utf-8");
                return;
            }
            // Only JSON: a form on another site could post text, but not JSON without the browser asking first.
            if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
                answerError(res, 415, QStringLiteral("Envie usuário e senha em JSON."));
                return;
            }
            const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
            const QString name = body.value(QStringLiteral("usuario")).toString();
            if (!routes.verify(req, res, name, body.value(QStringLiteral("senha")).toString().toUtf8()))
                return;
            res.set_header("Set-Cookie", routes.cookie(routes.newSession(name), false));
            res.set_content(json(QJsonObject{{QStringLiteral("usuario"), name}}), "application/json; charset=utf-8");
        });

        svr.Post("/api/sair", [&routes](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(routes.mutex);
                routes.sessions.remove(routes.sessionOf(req));
            }
            res.set_header("Set-Cookie", routes.cookie(QString(), true));
            res.status = 204;
        });
    }

    if (host.startsWith(QLatin1Char('[')))
        host = host.mid(1, host.size() - 2);
    if (port == 0) {
        m_port = svr.bind_to_any_port(host.toStdString());
    } else {
        m_port = svr.bind_to_port(host.toStdString(), port) ? port : -1;
    }
    if (m_port <= 0) {
        error = QStringLiteral("Não foi possível escutar em %1 (%2).").arg(setup.listen, what);
        return false;
    }
    m_thread = std::thread([&svr] { svr.listen_after_bind(); });
    return true;
}

void HttpFace::stop()
{
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace appserver
