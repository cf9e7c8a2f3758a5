// kpd-appserver: serves the cockpit's remote data modules, or writes a demonstration database.
#include "refmonth.h"
#include "alertrules.h"
#include "alertwatch.h"
#include "auditlog.h"
#include "calllog.h"
#include "csvimporter.h"
#include "database.h"
#include "databasepool.h"
#include "databaseuri.h"
#include "dataversion.h"
#include "demodatabase.h"
#include "directoryaccounts.h"
#include "grpcserver.h"
#include "healthmonitor.h"
#include "httpface.h"
#include "httpoptions.h"
#include "importerror.h"
#include "indicresultquery.h"
#include "invokeservice.h"
#include "keptanswers.h"
#include "listener.h"
#include "metrics.h"
#include "moduleregistry.h"
#include "monthlysummary.h"
#include "rdmindicresult.h"
#include "rdmindicresultface.h"
#include "schema.h"
#include "serveroptions.h"
#include "useraccounts.h"

#include <grpcpp/server.h>
#include <grpcpp/server_builder.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTextStream>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <pthread.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace appserver;

namespace {

void fail(const QString& message)
{
    std::fprintf(stderr, "kpd-appserver: %s\n", message.toUtf8().constData());
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

// The summary must be there before a load, or the load's rows would reach it only by a later rebuild.
// The summary's state once it is there: a check reads every daily row's count, so it is made once.
MonthlySummary::State ensureSummaryForWriting(Database& db)
{
    const MonthlySummary::State state = MonthlySummary::check(db);
    if (state != MonthlySummary::State::Missing)
        return state;
    MonthlySummary::install(db);
    return MonthlySummary::check(db);
}

int rebuildSummary(const ServerOptions& options)
{
    Database db(databaseSettings(options, false));
    Schema::verify(db, Schema::Use::Write);
    QElapsedTimer timer;
    timer.start();
    MonthlySummary::install(db);
    if (!DataVersion::check(db))
        DataVersion::install(db);
    std::printf("resumo mensal refeito em %s: %lld filiais-mês em %.1f s\n",
                db.settings().displayName().toUtf8().constData(), static_cast<long long>(MonthlySummary::rows(db)),
                timer.elapsed() / 1000.0);
    return 0;
}

// How long a start waits for another process's summing of the same database.
constexpr qint64 kSummaryWaitMs = 10 * 60 * 1000;

// Where the server reads a month: the monthly summary, made or summed again first when it is missing or
// out of step (a database from before it, or rows written with its triggers off), or, when that cannot
// be done with the server's rights, the daily rows, with a word to the operator.
IndicResultQuery::Source chooseSource(const ServerOptions& options, const DatabaseSettings& readSettings)
{
    if (options.noSummary) {
        std::fprintf(stderr, "kpd-appserver: --no-summary: cada mês é somado dos movimentos diários\n");
        return IndicResultQuery::Source::DailyRows;
    }
    DatabaseSettings settings = readSettings;
    settings.readOnly = false;
    Database db(settings);
    const MonthlySummary::State state = MonthlySummary::check(db);
    if (state == MonthlySummary::State::InStep)
        return IndicResultQuery::Source::MonthlySummary;
    if (state == MonthlySummary::State::Unavailable) {
        std::fprintf(stderr, "kpd-appserver: resumo mensal %s: cada mês é somado dos movimentos diários\n",
                     MonthlySummary::describe(state).toUtf8().constData());
        return IndicResultQuery::Source::DailyRows;
    }
    QElapsedTimer timer;
    timer.start();
    bool summed = true;
    try {
        // Another server starting over the same file may be summing it now: wait for it rather than read
        // the daily rows for life; install() then finds the summary in step.
        for (bool told = false;; told = true) {
            try {
                summed = MonthlySummary::install(db);
                break;
            } catch (const DatabaseError& e) {
                if (!e.busy() || timer.elapsed() > kSummaryWaitMs)
                    throw;
                if (!told)
                    std::fprintf(stderr, "kpd-appserver: resumo mensal %s: outro processo grava o banco; aguardando\n",
                                 MonthlySummary::describe(state).toUtf8().constData());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    } catch (const DatabaseError& e) {
        std::fprintf(stderr, "kpd-appserver: AVISO: resumo mensal %s e não foi possível refazê-lo (%s); cada mês será "
                             "somado dos movimentos diários até que alguém com permissão de escrita rode "
                             "kpd-appserver --rebuild-summary --db %s\n",
                     MonthlySummary::describe(state).toUtf8().constData(), e.message().toUtf8().constData(),
                     options.dbPath.toUtf8().constData());
        return IndicResultQuery::Source::DailyRows;
    }
    if (!summed) {
        std::fprintf(stderr, "kpd-appserver: resumo mensal %s: refeito por outro processo\n",
                     MonthlySummary::describe(state).toUtf8().constData());
        return IndicResultQuery::Source::MonthlySummary;
    }
    std::fprintf(stderr, "kpd-appserver: resumo mensal %s: refeito com %lld filiais-mês em %.1f s\n",
                 MonthlySummary::describe(state).toUtf8().constData(), static_cast<long long>(MonthlySummary::rows(db)),
                 timer.elapsed() / 1000.0);
    return IndicResultQuery::Source::MonthlySummary;
}

// Whether the company's targets can be read; a database from before them gets their table where the
// server may write, and is otherwise served with the cockpit's own targets.
bool withTargets(const DatabaseSettings& readSettings)
{
    DatabaseSettings settings = readSettings;
    settings.readOnly = false;
    try {
        Database db(settings);
        if (Schema::ensureTargets(db))
            return true;
    } catch (const DatabaseError&) {
    }
    try {
        Database db(readSettings);
        if (Schema::ensureTargets(db))
            return true;
    } catch (const DatabaseError&) {
    }
    std::fprintf(stderr, "kpd-appserver: sem a tabela meta_mensal: os indicadores seguem as metas próprias do cockpit\n");
    return false;
}

// Whether a month's answer can be kept between calls: the data version is there, made where the server
// may write. Without it every call computes its month, as before.
bool withDataVersion(const DatabaseSettings& readSettings)
{
    DatabaseSettings settings = readSettings;
    settings.readOnly = false;
    QString why;
    QString refused;
    try {
        Database db(settings);
        if (DataVersion::check(db) || DataVersion::install(db))
            return true;
        why = DataVersion::whyNot(db);
    } catch (const DatabaseError& e) {
        refused = e.message();
    }
    try {
        Database db(readSettings);
        if (DataVersion::check(db))
            return true;
        if (why.isEmpty())
            why = DataVersion::whyNot(db) + QStringLiteral(" e o servidor não pôde refazê-los (%1)").arg(refused);
        // The tables are there but some triggers are not (a table an ETL swapped in, and a role that may not
        // make them again): every call checks them, computes its month while they are missing, and keeps
        // answers again once a load or --rebuild-summary has made them again.
        if (DataVersion::read(db).counter >= 0) {
            std::fprintf(stderr, "kpd-appserver: AVISO: versão dos dados: %s; nenhuma resposta é guardada até que os "
                                 "gatilhos voltem (a próxima importação ou kpd-appserver --rebuild-summary com o papel "
                                 "de carga os refazem)\n",
                         why.toUtf8().constData());
            return true;
        }
    } catch (const DatabaseError&) {
    }
    std::fprintf(stderr, "kpd-appserver: sem a versão dos dados (%s): cada chamada calcula o mês de novo\n",
                 (why.isEmpty() ? refused : why).toUtf8().constData());
    return false;
}

// The months a load wrote, and those whose year of history holds them (the twelve months after), as far as
// the database has figures.
QList<QDate> monthsToKeep(Database& db, const QList<QDate>& touched)
{
    QDate last;
    db.forEachRow(QStringLiteral("SELECT MAX(mes) FROM movimento_mensal"), {}, [&](const Database::Row& row) {
        last = row.date(0);
    });
    QList<QDate> months;
    for (const QDate& m : touched) {
        for (int after = 0; after <= 12; ++after) {
            const QDate d = m.addMonths(after);
            if ((after == 0 || (last.isValid() && d <= last)) && !months.contains(d))
                months << d;
        }
    }
    std::sort(months.begin(), months.end());
    return months;
}

int importFigures(const ServerOptions& options)
{
    if (options.initSchema)
        initSchema(options);
    Database db(databaseSettings(options, false));
    Schema::verify(db, Schema::Use::Write);
    const MonthlySummary::State summaryState = ensureSummaryForWriting(db);
    const bool targets = Schema::ensureTargets(db);
    const bool versioned = summaryState == MonthlySummary::State::InStep
                           && (DataVersion::check(db) || DataVersion::install(db));
    try {
        const ImportSummary summary = CsvImporter(db).run(options.importDir);
        for (const auto& [file, rows] : summary.files)
            std::printf("%s: %lld linhas\n", file.toUtf8().constData(), static_cast<long long>(rows));
        std::printf("carga registrada em %s\n",
                    summary.loadedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8().constData());
        // The months it loaded worked out now, so that the first manager after the load does not wait for
        // them, while another connection refreshes the summaries' statistics. The figures are committed
        // already: a failure here only leaves them to the first call.
        std::thread refresh([&db] { CsvImporter::refreshSummaries(db); });
        const auto joinRefresh = qScopeGuard([&refresh] { refresh.join(); });
        if (versioned) {
            try {
                db.beginWriting();
                const int kept = RdmIndicResult::keepMonths(db, monthsToKeep(db, summary.months), targets);
                db.commit();
                std::printf("respostas calculadas para %d meses\n", kept);
            } catch (const DatabaseError& e) {
                db.rollback();
                std::fprintf(stderr, "kpd-appserver: AVISO: os meses da carga serão calculados na primeira chamada (%s)\n",
                             e.message().toUtf8().constData());
            }
        }
        return 0;
    } catch (const ImportError& e) {
        fail(QStringLiteral("importação recusada, nada foi gravado: %1").arg(e.message()));
        return 1;
    }
}

// The signals one waiting thread takes: SIGINT and SIGTERM stop the server, SIGHUP reloads.
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

// --log: the log (everything written to standard error) appended to a file, which SIGHUP opens again
// after a rotation moved it away. False with a message.
bool openLog(const QString& path, QString& error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0 || ::dup2(fd, STDERR_FILENO) < 0) {
        error = QStringLiteral("Não foi possível abrir o arquivo de registro \"%1\": %2.")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

// The service account's password: from its file (readable by no one but the server's user and group) or
// from the environment, which is then cleared; never from the command line, which ps shows everyone.
bool ldapServicePassword(const HttpOptions& http, QByteArray& password, QString& error)
{
    if (http.ldapBindPasswordFile.isEmpty()) {
        password = qgetenv("KPD_LDAP_BIND_PASSWORD");
        qunsetenv("KPD_LDAP_BIND_PASSWORD");
        return true;
    }
    QFile file(http.ldapBindPasswordFile);
    struct stat st {};
    if (!file.open(QIODevice::ReadOnly) || fstat(file.handle(), &st) != 0) {
        error = QStringLiteral("Não foi possível ler a senha da conta de serviço do diretório \"%1\": %2.")
                    .arg(http.ldapBindPasswordFile, file.errorString());
        return false;
    }
    if (st.st_mode & (S_IROTH | S_IWOTH | S_IWGRP)) {
        error = QStringLiteral("Recusado: a senha da conta de serviço do diretório \"%1\" pode ser lida ou alterada por "
                               "outros usuários da máquina (permissões %2). Use chmod 640 ou 600.")
                    .arg(http.ldapBindPasswordFile)
                    .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
        return false;
    }
    password = file.readLine();
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    return true;
}

bool configureDirectory(const HttpOptions& http, DirectoryAccounts& directory, QString& error)
{
    if (http.ldap.isEmpty())
        return true;
    DirectoryAccounts::Settings settings;
    settings.uri = http.ldap;
    settings.base = http.ldapBase;
    settings.filter = http.ldapFilter;
    settings.bindDnPattern = http.ldapBindDn;
    settings.serviceDn = http.ldapBindUser;
    settings.group = http.ldapGroup;
    settings.caFile = http.ldapCa;
    settings.timeout = std::chrono::milliseconds(http.ldapTimeoutMs);
    if (!settings.serviceDn.isEmpty() && !ldapServicePassword(http, settings.servicePassword, error))
        return false;
    return directory.configure(settings, error);
}

int removeUser(const HttpOptions& http)
{
    QString error;
    if (!UserAccounts::removeUser(http.users, http.removeUser, error)) {
        fail(error);
        return 1;
    }
    std::fprintf(stderr, "kpd-appserver: usuário %s retirado de %s\n", http.removeUser.toUtf8().constData(),
                 http.users.toUtf8().constData());
    return 0;
}

// --add-user: the password comes from standard input (one line), never from the command line, where
// other users of the machine could read it.
int addUser(const HttpOptions& http)
{
    // Typed at a terminal, the password is not echoed, and it is asked twice: a typo would lock the user out.
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    QTextStream in(stdin);
    const auto ask = [&](const char* prompt) {
        if (terminal) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
            std::fprintf(stderr, prompt, http.addUser.toUtf8().constData());
        }
        const QByteArray answer = in.readLine().toUtf8();
        if (terminal) {
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
            std::fprintf(stderr, "\n");
        }
        return answer;
    };
    const QByteArray password = ask("Senha de %s: ");
    if (terminal && ask("Repita a senha de %s: ") != password) {
        fail(QStringLiteral("As duas senhas não são iguais; nada foi gravado."));
        return 1;
    }
    QString error;
    if (!UserAccounts::addUser(http.users, http.addUser, password, error)) {
        fail(error);
        return 1;
    }
    std::fprintf(stderr, "kpd-appserver: usuário %s gravado em %s\n", http.addUser.toUtf8().constData(),
                 http.users.toUtf8().constData());
    return 0;
}

// The operator's lines once everything listens: where, with what, and what is unsafe about it.
void announce(const ServerOptions& options, const HttpOptions& http, const Listener& listener, const HttpFace& face,
              const DatabaseSettings& settings, const DatabasePool& pool, int descriptors, int budget)
{
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

// SIGHUP: the users file read again (a refused file leaves the users read before), the log and the audit
// record reopened.
void reload(const ServerOptions& options, const HttpOptions& http, UserAccounts& users, AuditLog& audit)
{
    QString error;
    if (!options.logPath.isEmpty() && !openLog(options.logPath, error))
        fail(error);
    if (!audit.reopen(error))
        fail(QStringLiteral("%1 A auditoria continua no arquivo aberto antes.").arg(error));
    if (http.users.isEmpty())
        return;
    if (users.refresh(error, true))
        std::fprintf(stderr, "kpd-appserver: arquivo de usuários %s relido: %d usuários\n",
                     http.users.toUtf8().constData(), users.count());
    else
        fail(QStringLiteral("%1 Os usuários lidos antes continuam valendo.").arg(error));
}

// Until SIGINT or SIGTERM; then no new connections, and calls in progress (gRPC's and the browsers')
// get a grace period before they are cancelled and their database work follows (dropped from the
// queue, statements interrupted).
void serveUntilStopped(grpc::Server& server, InvokeService& service, Listener& listener, HttpFace& face,
                       HealthMonitor& health, const std::function<void()>& onReload)
{
    std::thread waiter([&] {
        const sigset_t set = serverSignals();
        int signal = 0;
        while (sigwait(&set, &signal) == 0 && signal == SIGHUP)
            onReload();
        std::fprintf(stderr, "kpd-appserver: sinal %d recebido, encerrando\n", signal);
        listener.stop();
        const auto grace = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::thread browsers([&face, grace] { face.stop(grace); });
        // Its checks write to the server's health service, which goes with the server.
        health.stop();
        service.stopping();
        server.Shutdown(std::chrono::system_clock::now()
                        + std::chrono::duration_cast<std::chrono::system_clock::duration>(grace - std::chrono::steady_clock::now()));
        browsers.join();
    });
    server.Wait();
    waiter.join();
}

int serve(const ServerOptions& options, const HttpOptions& http)
{
    const int descriptors = Listener::raiseDescriptorLimit();
    const int budget = Listener::descriptorBudget(descriptors, options.dbPool);

    // The set-up is checked before the database is touched.
    QString error;
    const std::shared_ptr<grpc::ServerCredentials> credentials = GrpcServer::credentials(options, error);
    if (!credentials) {
        fail(error);
        return 1;
    }
    if (!options.tlsCert.isEmpty() && !GrpcServer::keyMatchesCertificate(options.tlsCert, options.tlsKey, error)) {
        fail(error);
        return 2;
    }
    if (!options.logPath.isEmpty() && !openLog(options.logPath, error)) {
        fail(error);
        return 1;
    }
    UserAccounts users;
    if (!http.users.isEmpty() && !users.load(http.users, error)) {
        fail(error);
        return 1;
    }
    AuditLog audit;
    if (!http.audit.isEmpty() && !audit.open(http.audit, error)) {
        fail(error);
        return 1;
    }
    DirectoryAccounts directory;
    if (!configureDirectory(http, directory, error)) {
        fail(error);
        return 2;
    }
    AlertRules alertRules;
    if (!options.alertRules.isEmpty() && !AlertRules::load(options.alertRules, &alertRules, &error)) {
        fail(error);
        return 2;
    }
    Listener listener;
    if (!listener.open(options.listen, error)) {
        fail(error);
        return 1;
    }
    if (options.tlsCert.isEmpty() && !listener.loopbackOnly() && !options.insecureListen) {
        fail(QStringLiteral("Recusado: escutar em %1 sem TLS deixaria qualquer um na rede ler os números. Use "
                            "--tls-cert, --tls-key e --tls-client-ca, ou --insecure-listen se a rede for fechada.")
                 .arg(options.listen));
        return 2;
    }

    // Storage, then the service on it, then the faces on the service.
    if (options.initSchema)
        initSchema(options);
    DatabaseSettings settings = databaseSettings(options, true);
    // The targets' table first: the data version follows its writes too.
    const bool targets = withTargets(settings);
    const IndicResultQuery::Source source = chooseSource(options, settings);
    const bool versioned = source == IndicResultQuery::Source::MonthlySummary && !options.noKeep && withDataVersion(settings);
    settings.statementTimeoutMs = ServerOptions::kStatementTimeoutMs;
    Database db(settings);
    DatabasePool pool(db, options.dbPool, options.dbQueue);
    const bool empty = pool.run([](Database& d) {
        Schema::verify(d, Schema::Use::Read);
        // The loads' table, not the daily figures: those may be a view over a company's own tables, and
        // slow to read even one row of.
        bool any = false;
        d.forEachRow(QStringLiteral("SELECT 1 FROM carga_etl LIMIT 1"), {}, [&any](const Database::Row&) { any = true; });
        return !any;
    });
    // A new installation starts on an empty database: say what to do next, not only that it listens.
    if (empty)
        std::fprintf(stderr, "kpd-appserver: o banco %s ainda não recebeu cargas; carregue os movimentos com kpd-appserver --import "
                             "PASTA --db %s (veja /usr/share/doc/kpd-appserver/schema.md)\n",
                     settings.displayName().toUtf8().constData(), options.dbPath.toUtf8().constData());
    // Kept answers go to a database server through a connection of their own that may write, for every
    // instance over it. An SQLite file is one machine's: its readers would wait for each such write, so there
    // the answers stay in memory (and an import's are read from the file).
    std::optional<DatabaseSettings> keeper;
    if (versioned && settings.driver == QLatin1String("QPSQL")) {
        keeper = settings.withNameSuffix(QStringLiteral("-respostas"));
        keeper->readOnly = false;
    }
    std::unique_ptr<KeptAnswers> kept =
        versioned ? std::make_unique<KeptAnswers>(keeper, size_t(options.keepMemoryMib) * 1024 * 1024) : nullptr;
    const RdmIndicResult cockpit(pool, source, targets, kept.get());

    Metrics metrics;
    metrics.setPoolProbe([&pool] { return pool.load(); });
    if (kept)
        metrics.setKeptProbe([&kept, &cockpit] {
            const KeptAnswers::Counts c = kept->counts();
            return Metrics::Kept{c.fromMemory, c.fromTable, c.computed, c.refused, c.memoryBytes, cockpit.versionSound()};
        });
    CallLog log(stderr, &metrics);
    // Alerts follow the figures on threads of their own, never on a call's; gone before the cockpit.
    std::unique_ptr<AlertWatch> alerts;
    if (!options.alertRules.isEmpty()) {
        alerts = std::make_unique<AlertWatch>(
            alertRules, settings, cockpit, fail, [&metrics](const char* result) { metrics.recordMail(QLatin1String(result)); });
        alerts->prepare();
        alerts->start();
        std::fprintf(stderr, "kpd-appserver: %d regras de alerta de %s\n", int(alertRules.rules.size()),
                     options.alertRules.toUtf8().constData());
    }
    ModuleRegistry registry;
    registry.add(std::make_unique<RdmIndicResultFace>(cockpit));
    InvokeService service(registry, log);
    std::unique_ptr<grpc::experimental::ExternalConnectionAcceptor> acceptor;
    // One thread per call in progress at most: the pool's, the queue's, and a few for calls that never
    // reach the database.
    std::unique_ptr<grpc::Server> server =
        GrpcServer::start(service, credentials, pool.size() + pool.maxQueued() + 16, acceptor);
    if (!server) {
        fail(QStringLiteral("Não foi possível iniciar o servidor gRPC em %1.").arg(options.listen));
        return 1;
    }
    listener.start(acceptor.get(), budget, GrpcServer::kHandshakeLimit, !options.tlsCert.isEmpty());

    // Before the face, which asks it for /healthz, and gone after it.
    HealthMonitor health(*server, settings);
    HttpFace face(cockpit, log, metrics);
    const QString httpListen = http.http.isEmpty() ? http.metricsOnly : http.http;
    if (!httpListen.isEmpty()) {
        HttpFace::Setup setup;
        setup.listen = httpListen;
        setup.metricsOnly = http.http.isEmpty();
        setup.tlsCert = options.tlsCert;
        setup.tlsKey = options.tlsKey;
        setup.users = http.users.isEmpty() ? nullptr : &users;
        setup.callDeadline = std::chrono::milliseconds(http.callDeadlineMs);
        // Browsers share the descriptors above gRPC's silent connections with them: half each at most.
        setup.connections = unsigned(std::max(64, budget / 2));
        setup.connectionsPerAddress = unsigned(http.connectionsPerAddress);
        setup.callWorkers = pool.size() + 4;
        setup.callQueue = pool.maxQueued();
        setup.health = [&health] { return health.report(); };
        setup.audit = http.audit.isEmpty() ? nullptr : &audit;
        setup.directory = directory.isConfigured() ? &directory : nullptr;
        setup.warn = fail;
        setup.report = [](const QString& message) { fail(QStringLiteral("%1 Os usuários lidos antes continuam valendo.").arg(message)); };
        if (!face.start(setup, error)) {
            fail(error);
            health.stop();
            listener.stop();
            server->Shutdown();
            return 2;
        }
    }
    announce(options, http, listener, face, settings, pool, descriptors, budget);

    serveUntilStopped(*server, service, listener, face, health, [&] { reload(options, http, users, audit); });
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
    // never reaches sigwait: give both a handler (it never runs while they are blocked). Blocked first:
    // a stop signal that comes in between stays pending for sigwait instead of running the empty
    // handler and being lost.
    const sigset_t set = serverSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGINT, onServerSignal);
    std::signal(SIGTERM, onServerSignal);
    std::signal(SIGHUP, onServerSignal);

    QCoreApplication app(argc, argv);
    ServerOptions options;
    QString error;
    QStringList args = app.arguments().mid(1);
    HttpOptions http;
    const QString usage = ServerOptions::usage() + HttpOptions::usage();
    if (!HttpOptions::extract(args, http, error)) {
        fail(error);
        std::fprintf(stderr, "%s", usage.toUtf8().constData());
        return 2;
    }
    if ((!http.addUser.isEmpty() || !http.removeUser.isEmpty()) && !args.contains(QStringLiteral("--help"))
        && !args.contains(QStringLiteral("-h"))) {
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return http.addUser.isEmpty() ? removeUser(http) : addUser(http);
    }
    if (!ServerOptions::parse(args, options, error)) {
        fail(error);
        std::fprintf(stderr, "%s", usage.toUtf8().constData());
        return 2;
    }
    if (options.help) {
        std::printf("%s", usage.toUtf8().constData());
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
        if (options.rebuildSummary) {
            pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
            return rebuildSummary(options);
        }
        return serve(options, http);
    } catch (const DatabaseError& e) {
        fail(e.message());
        return 1;
    }
}
