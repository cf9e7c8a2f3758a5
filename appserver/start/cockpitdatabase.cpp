#include "cockpitdatabase.h"

#include "databasecommands.h"
#include "dataversion.h"
#include "indicresultquery.h"
#include "keptanswers.h"
#include "metrics.h"
#include "monthlysummary.h"
#include "rdmindicresult.h"
#include "schema.h"
#include "serveroptions.h"

#include <QElapsedTimer>

#include <cstdio>
#include <thread>

namespace appserver {

namespace {

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

} // namespace

CockpitDatabase::CockpitDatabase(const ServerOptions& options)
{
    if (options.initSchema)
        DatabaseCommands::initSchema(options);
    m_settings = DatabaseCommands::settings(options, true);
    // The targets' table first: the data version follows its writes too.
    const bool targets = withTargets(m_settings);
    const IndicResultQuery::Source source = chooseSource(options, m_settings);
    const bool versioned = source == IndicResultQuery::Source::MonthlySummary && !options.noKeep && withDataVersion(m_settings);
    m_settings.statementTimeoutMs = ServerOptions::kStatementTimeoutMs;
    m_db = std::make_unique<Database>(m_settings);
    m_pool = std::make_unique<DatabasePool>(*m_db, options.dbPool, options.dbQueue);
    const bool empty = m_pool->run([](Database& d) {
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
                     m_settings.displayName().toUtf8().constData(), options.dbPath.toUtf8().constData());
    // Kept answers go to a database server through a connection of their own that may write, for every
    // instance over it. An SQLite file is one machine's: its readers would wait for each such write, so there
    // the answers stay in memory (and an import's are read from the file).
    std::optional<DatabaseSettings> keeper;
    if (versioned && m_settings.driver == QLatin1String("QPSQL")) {
        keeper = m_settings.withNameSuffix(QStringLiteral("-respostas"));
        keeper->readOnly = false;
    }
    m_kept = versioned ? std::make_unique<KeptAnswers>(keeper, size_t(options.keepMemoryMib) * 1024 * 1024) : nullptr;
    m_cockpit = std::make_unique<const RdmIndicResult>(*m_pool, source, targets, m_kept.get());
}

CockpitDatabase::~CockpitDatabase() = default;

void CockpitDatabase::count(Metrics& metrics) const
{
    metrics.setPoolProbe([this] { return m_pool->load(); });
    if (m_kept)
        metrics.setKeptProbe([this] {
            const KeptAnswers::Counts c = m_kept->counts();
            return Metrics::Kept{c.fromMemory, c.fromTable, c.computed, c.refused, c.memoryBytes, m_cockpit->versionSound()};
        });
}

} // namespace appserver
