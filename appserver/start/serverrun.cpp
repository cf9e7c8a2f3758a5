#include "serverrun.h"

#include "alertwatch.h"
#include "calllog.h"
#include "cockpitdatabase.h"
#include "grpcendpoint.h"
#include "healthmonitor.h"
#include "httpendpoint.h"
#include "httpface.h"
#include "httpoptions.h"
#include "metrics.h"
#include "serveralerts.h"
#include "serverlog.h"
#include "serveroptions.h"
#include "serversignals.h"

#include <cstdio>
#include <functional>
#include <thread>

namespace appserver {

namespace {

// The operator's lines once everything listens: where, with what, and what is unsafe about it.
void announce(const ServerOptions& options, const HttpOptions& http, const Listener& listener, const HttpFace& face,
              const CockpitDatabase& database, int descriptors, int budget)
{
    const DatabaseSettings& settings = database.settings();
    const DatabasePool& pool = database.pool();
    const bool tls = !options.tlsCert.isEmpty();
    const QString httpListen = http.http.isEmpty() ? http.metricsOnly : http.http;
    const QString host = options.listen.left(options.listen.lastIndexOf(QLatin1Char(':')));
    const int port = listener.port();
    std::printf("listening on %s:%d\n", host.toUtf8().constData(), port);
    if (!httpListen.isEmpty())
        std::printf("%s em %s://%s:%d/\n", http.http.isEmpty() ? "métricas" : "navegador", tls ? "https" : "http",
                    httpListen.left(httpListen.lastIndexOf(QLatin1Char(':'))).toUtf8().constData(), face.port());
    std::fflush(stdout);
    std::fprintf(stderr, "kpd-appserver %s: banco %s (%d conexões), fila de %d chamadas, escutando em %s:%d%s, até %d conexões\n",
                 KPD_VERSION, settings.displayName().toUtf8().constData(), pool.size(), pool.maxQueued(),
                 host.toUtf8().constData(), port,
                 !tls ? "" : options.tlsClientCa.isEmpty() ? " (TLS)" : " (TLS, certificado do cliente exigido)",
                 budget);
    if (!tls && !listener.loopbackOnly())
        std::fprintf(stderr, "kpd-appserver: AVISO: sem TLS num endereço de rede (--insecure-listen): qualquer um que "
                             "alcance %s lê os números; use só numa rede fechada\n",
                     options.listen.toUtf8().constData());
    else if (tls && options.tlsClientCa.isEmpty() && !listener.loopbackOnly())
        std::fprintf(stderr, "kpd-appserver: AVISO: sem --tls-client-ca qualquer cliente que alcance %s lê os números\n",
                     options.listen.toUtf8().constData());
    if (descriptors < 4096)
        std::fprintf(stderr, "kpd-appserver: AVISO: limite de %d descritores; aumente-o (LimitNOFILE) para atender "
                             "mais conexões\n",
                     descriptors);
}

// SIGHUP: the log reopened, then the browser face's files (see HttpEndpoint::reload).
void reload(const ServerOptions& options, HttpEndpoint& browsers)
{
    QString error;
    if (!options.logPath.isEmpty() && !ServerLog::open(options.logPath, error))
        ServerLog::fail(error);
    browsers.reload();
}

// Until SIGINT or SIGTERM; then no new connections, and calls in progress (gRPC's and the browsers')
// get a grace period before they are cancelled and their database work follows (dropped from the
// queue, statements interrupted).
void serveUntilStopped(GrpcEndpoint& rpc, HttpFace& face, HealthMonitor& health, const std::function<void()>& onReload)
{
    std::thread waiter([&] {
        const int signal = ServerSignals::waitForStop(onReload);
        std::fprintf(stderr, "kpd-appserver: sinal %d recebido, encerrando\n", signal);
        rpc.stopListening();
        const auto grace = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::thread browsers([&face, grace] { face.stop(grace); });
        // Its checks write to the server's health service, which goes with the server.
        health.stop();
        rpc.shutdown(grace);
        browsers.join();
    });
    rpc.wait();
    waiter.join();
}

} // namespace

int ServerRun::serve(const ServerOptions& options, const HttpOptions& http)
{
    const int descriptors = Listener::raiseDescriptorLimit();
    const int budget = Listener::descriptorBudget(descriptors, options.dbPool);

    // The set-up is checked before the database is touched.
    GrpcEndpoint rpc(options);
    HttpEndpoint browsers(options, http);
    ServerAlerts alerts(options);
    if (const int status = rpc.prepareTls())
        return status;
    QString error;
    if (!options.logPath.isEmpty() && !ServerLog::open(options.logPath, error)) {
        ServerLog::fail(error);
        return 1;
    }
    if (const int status = browsers.prepare())
        return status;
    if (const int status = alerts.load())
        return status;
    if (const int status = rpc.listen())
        return status;

    // Storage, then the service on it, then the faces on the service.
    const CockpitDatabase database(options);
    Metrics metrics;
    database.count(metrics);
    CallLog log(stderr, &metrics);
    // Gone before the cockpit.
    const std::unique_ptr<AlertWatch> watch = alerts.start(database, metrics);
    if (const int status = rpc.start(database.cockpit(), log, database.pool(), budget))
        return status;

    // Before the face, which asks it for /healthz, and gone after it.
    HealthMonitor health(rpc.server(), database.settings());
    HttpFace face(database.cockpit(), log, metrics);
    if (!browsers.start(face, health, database.pool(), budget)) {
        health.stop();
        rpc.abandon();
        return 2;
    }
    announce(options, http, rpc.listener(), face, database, descriptors, budget);

    serveUntilStopped(rpc, face, health, [&] { reload(options, browsers); });
    rpc.close();
    std::fprintf(stderr, "kpd-appserver: encerrado\n");
    return 0;
}

} // namespace appserver
