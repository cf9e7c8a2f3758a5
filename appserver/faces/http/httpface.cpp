#include "httpface.h"

#include "calllog.h"
#include "ckppackets.h"
#include "monthpage.h"
#include "packets.h"
#include "regionformats.h"
#include "refmonth.h"
#include "regioncode.h"
#include "regionview.h"
#include "databaseerror.h"
#include "directoryaccounts.h"
#include "httpengine.h"
#include "loopback.h"
#include "metrics.h"
#include "packetcodec.h"
#include "rdmindicresult.h"
#include "useraccounts.h"
#include "wireerror.h"
#include "workerpool.h"

#include <sodium.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cstring>

static void initWebResource() { Q_INIT_RESOURCE(web); }

namespace appserver {

namespace {

constexpr const char* kCookie = "kpd_sessao";
constexpr size_t kMaxBody = 64 * 1024;
constexpr int kChecksQueued = 32;

std::string json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(); }

HttpResponse errorResponse(int status, const QString& message)
{
    HttpResponse r;
    r.status = status;
    r.body = json(QJsonObject{{QStringLiteral("erro"), message}});
    return r;
}

HttpResponse retryLater(int status, int seconds, const QString& message)
{
    HttpResponse r = errorResponse(status, message);
    r.headers.emplace_back("Retry-After", std::to_string(seconds));
    return r;
}

QByteArray resource(const QString& name)
{
    QFile f(QStringLiteral(":/kpd/web/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The route a request is counted under: the known ones by name, everything else together.
QString routeOf(const std::string& path)
{
    static const QStringList known{"/", "/cockpit.js", "/cockpit.css", "/api/cockpit", "/api/region", "/api/region.csv",
                                   "/api/entrar", "/api/sair", "/metrics", "/healthz"};
    const QString p = QString::fromStdString(path);
    return known.contains(p) ? p : QStringLiteral("outra");
}

QByteArray sessionOf(const HttpRequest& req)
{
    const QByteArray cookies = QByteArray::fromStdString(req.header("cookie"));
    for (const QByteArray& part : cookies.split(';')) {
        const QByteArray c = part.trimmed();
        if (c.startsWith(QByteArray(kCookie) + '='))
            return c.mid(qsizetype(strlen(kCookie)) + 1);
    }
    return {};
}

} // namespace

HttpFace::HttpFace(const RdmIndicResult& cockpit, CallLog& log, Metrics& metrics)
    : m_cockpit(cockpit), m_log(log), m_metrics(metrics)
{
}

HttpFace::~HttpFace() { stop(); }

void HttpFace::send(const Exchange& ex, HttpResponse r)
{
    r.headers.emplace_back("X-Content-Type-Options", "nosniff");
    r.headers.emplace_back("Referrer-Policy", "no-referrer");
    r.headers.emplace_back("X-Frame-Options", "DENY");
    r.headers.emplace_back("Content-Security-Policy",
                           "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; base-uri 'none'; form-action 'self'");
    if (m_tls)
        r.headers.emplace_back("Strict-Transport-Security", "max-age=31536000");
    if (std::none_of(r.headers.begin(), r.headers.end(), [](const auto& h) { return h.first == "Cache-Control"; }))
        r.headers.emplace_back("Cache-Control", "no-store");
    m_metrics.recordHttp(routeOf(ex->request().path), r.status);
    ex->answer(std::move(r));
}

// A page on another site may have its name resolve to 127.0.0.1 and read an open face through the
// visitor's browser; the name it used is in Host, so only this machine's own names are answered.
bool HttpFace::hostAllowed(const std::string& host) const
{
    QString h = QString::fromStdString(host).toLower();
    return std::find(m_hosts.begin(), m_hosts.end(), h.toStdString()) != m_hosts.end();
}

void HttpFace::handle(const Exchange& ex)
{
    const HttpRequest& req = ex->request();
    // A health check says nothing about the figures: a balancer may ask it by any name.
    if (!guarded() && req.path != "/healthz" && !hostAllowed(req.header("host"))) {
        send(ex, errorResponse(421, QStringLiteral("Este endereço só atende pelo nome 127.0.0.1, localhost ou [::1], "
                                                   "com a porta.")));
        return;
    }
    const std::string method = req.method == "HEAD" ? "GET" : req.method;
    for (const Route& route : m_routes) {
        if (route.method == method && route.path == req.path) {
            if (route.signedIn)
                authorize(ex, route.answer);
            else
                route.answer(ex, QString());
            return;
        }
    }
    // A region's page (/regiao/NO, a link one can send) is the cockpit's page, which reads the region from its
    // address; the page's relative addresses (its script, its style, the API) are answered under it too. No
    // name of theirs is a region's code, and a code may hold a '.' or a '/' (P.D, A/B, decoded here).
    if (req.path.rfind("/regiao/", 0) == 0) {
        const std::string rest = req.path.substr(std::strlen("/regiao"));
        const bool own = cockpit::IsRegionCode(QString::fromStdString(rest.substr(1)));
        const std::string path = own ? std::string("/") : rest;
        for (const Route& route : m_routes)
            if (route.method == method && route.path == path) {
                if (route.signedIn)
                    authorize(ex, route.answer);
                else
                    route.answer(ex, QString());
                return;
            }
    }
    send(ex, errorResponse(404, QStringLiteral("Página não encontrada.")));
}

void HttpFace::authorize(const Exchange& ex, const Next& next)
{
    if (!guarded()) {
        next(ex, QString());
        return;
    }
    QString error;
    if (m_setup.users && !m_setup.users->refresh(error) && m_setup.report)
        m_setup.report(error);
    const HttpRequest& req = ex->request();
    if (const std::optional<QString> user =
            m_sessions.use(sessionOf(req), [this](const QString& name) { return credentialOf(name); })) {
        next(ex, *user);
        return;
    }
    const QByteArray auth = QByteArray::fromStdString(req.header("authorization"));
    if (auth.startsWith("Basic ")) {
        const QByteArray pair = QByteArray::fromBase64(auth.mid(6).trimmed());
        const qsizetype colon = pair.indexOf(':');
        if (colon > 0) {
            const QString name = QString::fromUtf8(pair.left(colon));
            checkPassword(ex, name, pair.mid(colon + 1), "basic", [next, name](const Exchange& ex) { next(ex, name); });
            return;
        }
    }
    HttpResponse r = errorResponse(401, QStringLiteral("Entre com seu usuário e senha para ver os números."));
    // The page signs in with its own form; a script gets the challenge for Basic.
    if (req.header("x-kpd-pagina").empty())
        r.headers.emplace_back("WWW-Authenticate", "Basic realm=\"kpd\", charset=\"UTF-8\"");
    send(ex, std::move(r));
}

void HttpFace::audit(const Exchange& ex, const QString& user, const char* event, AuditLog::Fields fields)
{
    if (!m_setup.audit)
        return;
    fields.insert(fields.begin(), {{"usuario", user}, {"origem", ex->request().peer}});
    m_setup.audit->record(event, fields);
}

bool HttpFace::byDirectory(const QString& name) const
{
    return m_setup.directory && (!m_setup.users || m_setup.users->credential(name).isEmpty());
}

QByteArray HttpFace::credentialOf(const QString& name) const
{
    // A directory's user is checked at sign-in only; the mark ends the session when the name moves to the
    // users file, and a file user's session when the name leaves it.
    return byDirectory(name) ? QByteArrayLiteral("diretorio") : m_setup.users ? m_setup.users->credential(name) : QByteArray();
}

// Every attempt, with why it was refused in words a controller reads; the password is never passed here.
void HttpFace::auditSignIn(const Exchange& ex, const QString& name, const char* via, const QString& method, bool granted,
                           const QString& why)
{
    const QString result = granted                                                                     ? QStringLiteral("aceita")
                           : why == QLatin1String("tentativas") || why == QLatin1String("sobrecarga") ? QStringLiteral("limitada")
                           : why == QLatin1String("diretorio-indisponivel")                            ? QStringLiteral("indisponivel")
                                                                                                      : QStringLiteral("recusada");
    m_metrics.recordSignIn(method, result);
    AuditLog::Fields fields{{"via", QLatin1String(via)}, {"metodo", method}, {"resultado", granted ? QStringLiteral("aceita") : QStringLiteral("recusada")}};
    if (!granted)
        fields.emplace_back("motivo", why);
    audit(ex, name, "entrada", std::move(fields));
}

void HttpFace::checkPassword(const Exchange& ex, const QString& name, const QByteArray& password, const char* via,
                             const std::function<void(const Exchange&)>& accepted)
{
    const QString address = ex->request().peer;
    const QString method = byDirectory(name) ? QStringLiteral("ldap") : QStringLiteral("arquivo");
    if (const std::optional<int> wait = m_throttle.admit(address)) {
        auditSignIn(ex, name, via, method, false, QStringLiteral("tentativas"));
        send(ex, retryLater(429, *wait,
                            QStringLiteral("Muitas tentativas erradas; tente de novo em %1 s.").arg(*wait)));
        return;
    }
    const bool posted = m_checks->post([this, ex, name, password, accepted, address, via, method] {
        if (ex->scope().ended && ex->scope().ended()) {
            m_throttle.finish(address, SignInThrottle::Outcome::NotChecked);
            return;
        }
        if (method == QLatin1String("arquivo")) {
            const bool ok = m_setup.users->verify(name, password);
            m_throttle.finish(address, ok ? SignInThrottle::Outcome::Accepted : SignInThrottle::Outcome::Refused);
            auditSignIn(ex, name, via, method, ok, QStringLiteral("usuario-ou-senha"));
            if (ok)
                accepted(ex);
            else
                send(ex, errorResponse(401, QStringLiteral("Usuário ou senha incorretos.")));
            return;
        }
        using Verdict = DirectoryAccounts::Verdict;
        const DirectoryAccounts::Result result = m_setup.directory->verify(name, password);
        if (result.verdict == Verdict::Unavailable) {
            // Not the person's fault: the throttle does not count it, and the log says what the directory did.
            m_throttle.finish(address, SignInThrottle::Outcome::NotChecked);
            if (m_setup.warn)
                m_setup.warn(QStringLiteral("diretório LDAP indisponível na entrada de %1: %2")
                                 .arg(CallLog::echoedMessage(name), result.detail));
            auditSignIn(ex, name, via, method, false, QStringLiteral("diretorio-indisponivel"));
            send(ex, retryLater(503, 5, QStringLiteral("Não foi possível conferir a senha: o diretório de usuários da empresa "
                                                       "não respondeu. Tente novamente em alguns instantes; se continuar, "
                                                       "avise a TI.")));
            return;
        }
        const bool ok = result.verdict == Verdict::Granted;
        m_throttle.finish(address, ok ? SignInThrottle::Outcome::Accepted : SignInThrottle::Outcome::Refused);
        const QString why = result.verdict == Verdict::EmptyPassword ? QStringLiteral("senha-vazia")
                            : result.verdict == Verdict::NotMember   ? QStringLiteral("fora-do-grupo")
                                                                     : QStringLiteral("usuario-ou-senha");
        auditSignIn(ex, name, via, method, ok, why);
        if (ok)
            accepted(ex);
        else if (result.verdict == Verdict::NotMember)
            send(ex, errorResponse(403, QStringLiteral("Seu usuário não tem acesso ao painel: peça à TI a inclusão no grupo "
                                                       "do painel no diretório da empresa.")));
        else
            send(ex, errorResponse(401, QStringLiteral("Usuário ou senha incorretos.")));
    });
    if (!posted) {
        m_throttle.finish(address, SignInThrottle::Outcome::NotChecked);
        auditSignIn(ex, name, via, method, false, QStringLiteral("sobrecarga"));
        send(ex, retryLater(503, 1, QStringLiteral("Muitas entradas ao mesmo tempo; tente novamente em instantes.")));
    }
}

void HttpFace::month(const Exchange& ex, const QString& user)
{
    const QString text = QString::fromStdString(ex->request().param("month"));
    const cockpit::RefMonth month = cockpit::RefMonth::fromKey(text);
    if (!month.isValid()) {
        send(ex, errorResponse(400, text.isEmpty() ? QStringLiteral("Informe o mês: /api/cockpit?month=AAAA-MM.")
                                                   : QStringLiteral("Mês inválido: \"%1\". Use AAAA-MM, por exemplo 2024-03.")
                                                         .arg(text.left(40))));
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + m_setup.callDeadline;
    if (!m_calls->post([this, ex, month, user, deadline] { answerMonth(month, ex, user, deadline); }))
        send(ex, retryLater(503, 1, QStringLiteral("O servidor de aplicação está sobrecarregado; tente novamente em instantes.")));
}

// A call of the data module for the browser: its answer, or the HTTP status and message of why not; logged
// as a gRPC call is.
void HttpFace::answerCall(const Exchange& ex, const QString& user, CallLog::Call logged,
                          std::chrono::steady_clock::time_point deadline, const Seen& seen, const Work& work)
{
    QElapsedTimer timer;
    timer.start();
    CallScope scope = ex->scope();
    scope.deadline = deadline;
    int status = 200;
    QString error;
    QString technical;   // what the log says where the client is told less
    HttpResponse r;
    try {
        r = work(scope);
    } catch (const CallEnded& e) {
        status = e.reason() == CallEnd::Overloaded ? 503 : e.reason() == CallEnd::DeadlineExceeded ? 504 : 500;
        error = e.message();
        logged.outcome = CallLog::outcomeOf(e.reason());
    } catch (const RegionNotFound& e) {
        status = 404;
        error = e.message();
        logged.outcome = QStringLiteral("FALHA");
    } catch (const DatabaseError& e) {
        status = 502;
        error = e.userMessage();
        logged.outcome = QStringLiteral("FALHA");
        technical = e.message();
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
    logged.message = technical.isEmpty() ? error : technical;
    logged.nanoseconds = timer.nsecsElapsed();
    m_log.record(logged);
    if (status != 200 && m_stopping && logged.outcome == QLatin1String("CANCELLED"))
        r = retryLater(503, 1, QStringLiteral("O servidor de aplicação está sendo encerrado; tente novamente em instantes."));
    else if (status != 200)
        r = status == 503 ? retryLater(503, 1, error) : errorResponse(status, error);
    else
        audit(ex, user, seen.event, seen.fields);
    // Who is signed in, for the page's sign-out button; outside the JSON, which every face shares.
    if (!user.isEmpty())
        r.headers.emplace_back("X-Kpd-Usuario", QUrl::toPercentEncoding(user).toStdString());
    send(ex, std::move(r));
}

namespace {

HttpResponse csvResponse(const QByteArray& text, const QString& file)
{
    HttpResponse r;
    r.body = text.toStdString();
    r.type = "text/csv; charset=utf-8";
    // A region's code may hold any character ("P&D"); the name a browser saves under holds only safe ones.
    QString safe = file;
    for (QChar& c : safe)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('.') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    r.headers.emplace_back("Content-Disposition", QStringLiteral("attachment; filename=\"%1\"").arg(safe).toStdString());
    return r;
}


// Whether If-None-Match names `tag` (or is "*"): a list of tags, weak ones compared weakly.
bool namesTag(const std::string& ifNoneMatch, const std::string& tag)
{
    for (QString candidate : QString::fromStdString(ifNoneMatch).split(QLatin1Char(','))) {
        candidate = candidate.trimmed();
        if (candidate.startsWith(QLatin1String("W/")))
            candidate = candidate.mid(2);
        if (candidate == QLatin1String("*") || candidate.toStdString() == tag)
            return true;
    }
    return false;
}

} // namespace

// A browser or wall asking every minute gets 304 without a body while nothing it shows has changed. The
// tag is made of the data version the answer is of (with this build's format), what was asked and who
// asks: a signed-in user never revalidates against another's answer, and a write committed before the
// call changes it. An answer kept in memory costs the version's read and no more.
HttpResponse HttpFace::validated(const Exchange& ex, const QString& user, const QString& what,
                                 const std::function<std::shared_ptr<const std::string>(QString* version)>& answer)
{
    QString version;
    const std::shared_ptr<const std::string> body = answer(&version);
    HttpResponse r;
    if (version.isEmpty()) {
        r.body = *body;
        return r;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    // The product's version too: another build may write the same month otherwise.
    hash.addData((QStringLiteral(KPD_VERSION "\n") + version + QLatin1Char('\n') + what + QLatin1Char('\n') + user).toUtf8());
    const std::string tag =
        '"' + hash.result().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals).left(27).toStdString() + '"';
    if (namesTag(ex->request().header("if-none-match"), tag))
        r.status = 304;
    else
        r.body = *body;
    r.headers.emplace_back("ETag", tag);
    r.headers.emplace_back("Cache-Control", "private, no-cache");
    return r;
}

void HttpFace::answerMonth(const cockpit::RefMonth& month, const Exchange& ex, const QString& user,
                           std::chrono::steady_clock::time_point deadline)
{
    // A list as a spreadsheet (lista=dbgTop10, ...), or the whole month as the page's JSON.
    const QString list = QString::fromStdString(ex->request().param("lista"));
    CallLog::Call logged;
    logged.module = QString::fromLatin1(RdmIndicResult::kRegisteredName);
    logged.method = logged.methodLabel = QLatin1String(CkpPackets::kMethod);
    logged.detail = month.firstDay().toString(Qt::ISODate);
    const QString key = month.key();
    const Seen seen = list.isEmpty() ? Seen{"mes", {{"mes", key}}}
                                     : Seen{"lista", {{"mes", key}, {"lista", list}, {"formato", QStringLiteral("csv")}}};
    answerCall(ex, user, logged, deadline, seen, [this, ex, user, month, list](const CallScope& scope) {
        if (!list.isEmpty())
            return csvResponse(cockpit::ListCsv(monthFigures(m_cockpit.month(month, scope)), list),
                               QStringLiteral("%1-%2.csv").arg(list, month.key()));
        return validated(ex, user, QStringLiteral("cockpit ") + month.key(),
                         [&](QString* version) { return m_cockpit.monthJson(month, scope, version); });
    });
}

void HttpFace::region(const Exchange& ex, const QString& user, bool csv)
{
    const cockpit::RefMonth month = cockpit::RefMonth::fromKey(QString::fromStdString(ex->request().param("month")));
    const QString name = QString::fromStdString(ex->request().param("region"));
    // Any code the schema allows: the database says whether the region exists.
    if (!month.isValid() || !cockpit::IsRegionCode(name)) {
        send(ex, errorResponse(400, QStringLiteral("Informe o mês e a regional: /api/region?month=AAAA-MM&region=NO.")));
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + m_setup.callDeadline;
    CallLog::Call logged;
    logged.module = QString::fromLatin1(RdmIndicResult::kRegisteredName);
    logged.method = logged.methodLabel = QLatin1String(RegionPackets::kMethod);
    logged.detail = month.firstDay().toString(Qt::ISODate) + QStringLiteral(" regional=") + name;
    const QString key = month.key();
    const Seen seen = csv ? Seen{"lista", {{"mes", key}, {"lista", QStringLiteral("regional")}, {"regional", name}, {"formato", QStringLiteral("csv")}}}
                          : Seen{"regional", {{"mes", key}, {"regional", name}}};
    if (!m_calls->post([this, ex, user, logged, deadline, month, name, csv, seen] {
            answerCall(ex, user, logged, deadline, seen, [this, ex, user, month, name, csv](const CallScope& scope) {
                if (!csv)
                    return validated(ex, user, QStringLiteral("regiao ") + month.key() + QLatin1Char(' ') + name,
                                     [&](QString* version) { return m_cockpit.regionJson(month, name, scope, version); });
                const RegionData data = m_cockpit.region(month, name, scope);
                const cockpit::RegionView view = cockpit::ComputeRegionView(regionFigures(data));
                return csvResponse(cockpit::RegionCsv(view),
                                   QStringLiteral("regional-%1-%2.csv").arg(data.region, month.key()));
            });
        }))
        send(ex, retryLater(503, 1, QStringLiteral("O servidor de aplicação está sobrecarregado; tente novamente em instantes.")));
}

void HttpFace::signIn(const Exchange& ex)
{
    auto ok = [](const QString& name) {
        HttpResponse r;
        r.body = json(QJsonObject{{QStringLiteral("usuario"), name}});
        return r;
    };
    if (!guarded()) {
        send(ex, ok(QString()));
        return;
    }
    const HttpRequest& req = ex->request();
    // Only JSON: a form on another site could post text, but not JSON without the browser asking first.
    if (req.header("content-type").rfind("application/json", 0) != 0) {
        send(ex, errorResponse(415, QStringLiteral("Envie usuário e senha em JSON.")));
        return;
    }
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
    const QString name = body.value(QStringLiteral("usuario")).toString();
    QString error;
    if (m_setup.users && !m_setup.users->refresh(error) && m_setup.report)
        m_setup.report(error);
    checkPassword(ex, name, body.value(QStringLiteral("senha")).toString().toUtf8(), "pagina", [this, name, ok](const Exchange& ex) {
        HttpResponse r = ok(name);
        // Secure wherever there is TLS. Plain HTTP is only allowed on loopback, where some browsers would
        // drop a Secure cookie and the page could never sign in.
        const QByteArray token = m_sessions.open(name, credentialOf(name));
        QString c = QStringLiteral("%1=%2; Path=/; HttpOnly; SameSite=Strict; Max-Age=%3")
                        .arg(QLatin1String(kCookie), QLatin1String(token))
                        .arg(std::chrono::duration_cast<std::chrono::seconds>(HttpSessions::kLife).count());
        if (m_tls)
            c += QStringLiteral("; Secure");
        r.headers.emplace_back("Set-Cookie", c.toStdString());
        send(ex, std::move(r));
    });
}

void HttpFace::signOut(const Exchange& ex)
{
    if (const std::optional<QString> user = m_sessions.close(sessionOf(ex->request())))
        audit(ex, *user, "saida", {});
    HttpResponse r;
    r.status = 204;
    r.type = "text/plain; charset=utf-8";
    std::string c = std::string(kCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0";
    if (m_tls)
        c += "; Secure";
    r.headers.emplace_back("Set-Cookie", c);
    send(ex, std::move(r));
}

bool HttpFace::start(const Setup& setup, QString& error)
{
    const qsizetype colon = setup.listen.lastIndexOf(QLatin1Char(':'));
    const QString host = setup.listen.left(colon);
    const int port = setup.listen.mid(colon + 1).toInt();
    const bool tls = !setup.tlsCert.isEmpty();
    const QString what = setup.metricsOnly ? QStringLiteral("--metrics-only") : QStringLiteral("--http");
    if (!isLoopbackHost(host) && (!tls || (!setup.users && !setup.directory))) {
        error = QStringLiteral("Recusado: %1 em %2 exige TLS (--tls-cert e --tls-key) e usuários (--users ou --ldap); sem eles só "
                               "no endereço local (127.0.0.1).")
                    .arg(what, setup.listen);
        return false;
    }
    if (sodium_init() < 0) {
        error = QStringLiteral("Não foi possível iniciar a biblioteca de criptografia (libsodium).");
        return false;
    }
    QByteArray cert, key;
    if (tls) {
        QFile certFile(setup.tlsCert), keyFile(setup.tlsKey);
        if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Não foi possível iniciar o HTTPS com o certificado \"%1\" e a chave \"%2\": %3.")
                        .arg(setup.tlsCert, setup.tlsKey, certFile.isOpen() ? keyFile.errorString() : certFile.errorString());
            return false;
        }
        cert = certFile.readAll();
        key = keyFile.readAll();
    }
    m_setup = setup;
    m_tls = tls;
    if (AuditLog* log = setup.audit)
        m_sessions.onEnded([log](const QString& user, const char* why) {
            log->record("fim-de-sessao", {{"usuario", user}, {"motivo", QLatin1String(why)}});
        });

    m_routes.push_back({"GET", "/metrics", true, [this](const Exchange& ex, const QString&) {
                            HttpResponse r;
                            r.body = m_metrics.render().toStdString();
                            r.type = "text/plain; version=0.0.4; charset=utf-8";
                            send(ex, std::move(r));
                        }});
    // For a load balancer, which signs in nowhere: a verdict and a short reason, nothing of the figures.
    m_routes.push_back({"GET", "/healthz", false, [this](const Exchange& ex, const QString&) {
                            const HealthMonitor::Report health = m_setup.health ? m_setup.health() : HealthMonitor::Report{true, {}};
                            HttpResponse r;
                            r.status = health.serving ? 200 : 503;
                            QJsonObject o{{QStringLiteral("estado"), health.serving ? QStringLiteral("SERVING") : QStringLiteral("NOT_SERVING")}};
                            if (!health.serving)
                                o.insert(QStringLiteral("motivo"), health.reason);
                            r.body = json(o);
                            send(ex, std::move(r));
                        }});
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
            HttpResponse r;
            r.body = resource(QLatin1String(a.file)).toStdString();
            r.type = a.type;
            r.headers.emplace_back("Cache-Control", "no-cache");
            m_routes.push_back({"GET", a.path, false, [this, r](const Exchange& ex, const QString&) { send(ex, r); }});
        }
        m_routes.push_back({"GET", "/api/cockpit", true, [this](const Exchange& ex, const QString& user) { month(ex, user); }});
        m_routes.push_back({"GET", "/api/region", true, [this](const Exchange& ex, const QString& user) { region(ex, user, false); }});
        m_routes.push_back({"GET", "/api/region.csv", true, [this](const Exchange& ex, const QString& user) { region(ex, user, true); }});
        m_routes.push_back({"POST", "/api/entrar", false, [this](const Exchange& ex, const QString&) { signIn(ex); }});
        m_routes.push_back({"POST", "/api/sair", false, [this](const Exchange& ex, const QString&) { signOut(ex); }});
    }

    m_checks = std::make_unique<WorkerPool>(2, kChecksQueued);
    m_calls = std::make_unique<WorkerPool>(setup.callWorkers, setup.callQueue);
    m_engine = std::make_unique<HttpEngine>([this](const Exchange& ex) { handle(ex); },
                                            [this](const std::string& method, const std::string& path) {
                                                return !m_setup.metricsOnly && method == "POST" && path == "/api/entrar";
                                            });
    HttpEngine::Limits limits;
    limits.connections = setup.connections;
    limits.connectionsPerAddress = setup.connectionsPerAddress;
    limits.maxBody = kMaxBody;
    QString reason;
    // The Host values of this machine's own names, for an open face (see hostAllowed).
    const auto hosts = [this, host, tls](int bound) {
        for (const QString& name : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost"), QStringLiteral("[::1]"), host.toLower()}) {
            m_hosts.push_back(QStringLiteral("%1:%2").arg(name).arg(bound).toStdString());
            if (bound == (tls ? 443 : 80))
                m_hosts.push_back(name.toStdString());
        }
    };
    if (!m_engine->start(host, port, limits, cert, key, hosts, reason)) {
        error = tls && reason.contains(QStringLiteral("HTTPS"))
                    ? QStringLiteral("Não foi possível iniciar o HTTPS com o certificado \"%1\" e a chave \"%2\": %3.")
                          .arg(setup.tlsCert, setup.tlsKey, reason)
                    : QStringLiteral("Não foi possível escutar em %1 (%2): %3.").arg(setup.listen, what, reason);
        m_engine.reset();
        return false;
    }
    m_port = m_engine->port();
    return true;
}

void HttpFace::stop(std::chrono::steady_clock::time_point graceUntil)
{
    m_stopping = true;
    if (m_engine)
        m_engine->stop(graceUntil);
}

} // namespace appserver
