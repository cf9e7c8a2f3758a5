// kpd-appserver: serves the cockpit's remote data modules, or writes a demonstration database.
#include "csvimporter.h"
#include "database.h"
#include "databasepool.h"
#include "databaseuri.h"
#include "demodatabase.h"
#include "importerror.h"
#include "invokeservice.h"
#include "moduleregistry.h"
#include "rdmindicresult.h"
#include "healthmonitor.h"
#include "schema.h"
#include "serveroptions.h"

#include <grpcpp/grpcpp.h>
#include <grpcpp/security/server_credentials.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <memory>
#include <pthread.h>
#include <thread>

using namespace appserver;

namespace {

void fail(const QString& message)
{
    std::fprintf(stderr, "kpd-appserver: %s\n", message.toUtf8().constData());
}

bool readFile(const QString& path, std::string& out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    out = file.readAll().toStdString();
    return true;
}

int initDemo(const ServerOptions& options)
{
    DemoOptions demo;
    demo.branches = options.branches;
    demo.months = options.months;
    demo.endMonth = options.endMonth;
    const DemoSummary s = DemoDatabase::create(options.initDemoPath, demo);
    std::printf("banco de demonstração gravado em %s: %d regionais, %d filiais, %lld movimentos diários de %s a %s\n",
                options.initDemoPath.toUtf8().constData(), s.regions, s.branches, static_cast<long long>(s.dailyRows),
                s.firstDay.toString(Qt::ISODate).toUtf8().constData(), s.lastDay.toString(Qt::ISODate).toUtf8().constData());
    return 0;
}

// The --db argument as settings; an SQLite file that is not there is only created with --init-schema.
DatabaseSettings databaseSettings(const ServerOptions& options, bool readOnly)
{
    QString error;
    std::optional<DatabaseSettings> settings = DatabaseUri::parse(options.dbPath, error);
    if (!settings)
        throw DatabaseError(error);
    settings->readOnly = readOnly;
    if (settings->driver == QLatin1String("QSQLITE") && !options.initSchema && !QFileInfo::exists(settings->databaseName))
        throw DatabaseError(QStringLiteral("O banco de dados \"%1\" não existe (use --init-schema para criá-lo vazio).")
                                .arg(settings->databaseName));
    return *settings;
}

void initSchema(const ServerOptions& options)
{
    Database db(databaseSettings(options, false));
    if (Schema::ensure(db))
        std::fprintf(stderr, "kpd-appserver: tabelas criadas em %s\n", db.settings().displayName().toUtf8().constData());
}

int importFigures(const ServerOptions& options)
{
    if (options.initSchema)
        initSchema(options);
    Database db(databaseSettings(options, false));
    Schema::verify(db);
    try {
        const ImportSummary summary = CsvImporter(db).run(options.importDir);
        for (const auto& [file, rows] : summary.files)
            std::printf("%s: %lld linhas\n", file.toUtf8().constData(), static_cast<long long>(rows));
        std::printf("carga registrada em %s\n",
                    summary.loadedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8().constData());
        return 0;
    } catch (const ImportError& e) {
        fail(QStringLiteral("importação recusada, nada foi gravado: %1").arg(e.message()));
        return 1;
    }
}

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

extern "C" void onStopSignal(int) {}

int serve(const ServerOptions& options)
{
    if (options.initSchema)
        initSchema(options);
    DatabaseSettings settings = databaseSettings(options, true);
    // A call waits for its statements at most this long; a stuck statement must not hold a pooled
    // connection forever.
    settings.statementTimeoutMs = 30000;
    Database db(settings);
    DatabasePool pool(db, options.dbPool);
    pool.run([](Database& d) {
        Schema::verify(d);
        return 0;
    });

    ModuleRegistry registry;
    registry.add(std::make_unique<RdmIndicResult>(pool));
    InvokeService service(registry, stderr);

    std::shared_ptr<grpc::ServerCredentials> credentials;
    if (!options.tlsCert.isEmpty()) {
        grpc::SslServerCredentialsOptions::PemKeyCertPair pair;
        if (!readFile(options.tlsKey, pair.private_key) || !readFile(options.tlsCert, pair.cert_chain)) {
            fail(QStringLiteral("Não foi possível ler o certificado \"%1\" ou a chave \"%2\".").arg(options.tlsCert, options.tlsKey));
            return 1;
        }
        grpc::SslServerCredentialsOptions ssl;
        ssl.pem_key_cert_pairs.push_back(pair);
        credentials = grpc::SslServerCredentials(ssl);
    } else {
        credentials = grpc::InsecureServerCredentials();
    }

    int port = 0;
    HealthMonitor::EnableStandardServices();
    grpc::ServerBuilder builder;
    builder.AddListeningPort(options.listen.toStdString(), credentials, &port);
    builder.RegisterService(&service);
    std::unique_ptr<grpc::Server> server = builder.BuildAndStart();
    if (!server || port == 0) {
        fail(QStringLiteral("Não foi possível escutar em %1 (endereço inválido ou porta em uso).").arg(options.listen));
        return 1;
    }
    const QString host = options.listen.left(options.listen.lastIndexOf(QLatin1Char(':')));
    std::printf("listening on %s:%d\n", host.toUtf8().constData(), port);
    std::fflush(stdout);
    std::fprintf(stderr, "kpd-appserver %s: banco %s (%d conexões), escutando em %s:%d%s\n", KPD_VERSION,
                 settings.displayName().toUtf8().constData(), pool.size(), host.toUtf8().constData(), port,
                 options.tlsCert.isEmpty() ? "" : " (TLS)");

    HealthMonitor health(*server, settings);

    std::thread waiter([&] {
        const sigset_t set = stopSignals();
        int signal = 0;
        sigwait(&set, &signal);
        std::fprintf(stderr, "kpd-appserver: sinal %d recebido, encerrando\n", signal);
        // Calls in progress get a grace period to finish. gRPC also spends it on connections that
        // clients still hold open, so it is kept short: a call takes milliseconds.
        server->Shutdown(std::chrono::system_clock::now() + std::chrono::seconds(2));
    });
    server->Wait();
    waiter.join();
    server.reset();
    std::fprintf(stderr, "kpd-appserver: encerrado\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The stop signals are taken by one waiting thread, so they must be blocked before any thread
    // starts: gRPC starts its own as soon as it is first used, and they inherit this mask.
    // A shell that starts the server in the background leaves SIGINT ignored, and an ignored signal
    // never reaches sigwait: give both a handler first (it never runs while they are blocked).
    const sigset_t set = stopSignals();
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    QCoreApplication app(argc, argv);
    ServerOptions options;
    QString error;
    if (!ServerOptions::parse(app.arguments().mid(1), options, error)) {
        fail(error);
        std::fprintf(stderr, "%s", ServerOptions::usage().toUtf8().constData());
        return 2;
    }
    if (options.help) {
        std::printf("%s", ServerOptions::usage().toUtf8().constData());
        return 0;
    }
    if (options.version) {
        std::printf("kpd-appserver %s\n", KPD_VERSION);
        return 0;
    }
    try {
        if (!options.initDemoPath.isEmpty()) {
            pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
            return initDemo(options);
        }
        if (!options.importDir.isEmpty()) {
            pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
            return importFigures(options);
        }
        return serve(options);
    } catch (const DatabaseError& e) {
        fail(e.message());
        return 1;
    }
}
