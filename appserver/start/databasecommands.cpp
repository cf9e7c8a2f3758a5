#include "databasecommands.h"

#include "csvimporter.h"
#include "databaseuri.h"
#include "dataversion.h"
#include "demodatabase.h"
#include "importerror.h"
#include "monthlysummary.h"
#include "rdmindicresult.h"
#include "schema.h"
#include "serverlog.h"
#include "serveroptions.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace appserver {

namespace {

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


} // namespace

int DatabaseCommands::initDemo(const ServerOptions& options)
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

DatabaseSettings DatabaseCommands::settings(const ServerOptions& options, bool readOnly)
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

void DatabaseCommands::initSchema(const ServerOptions& options)
{
    Database db(settings(options, false));
    if (Schema::ensure(db))
        std::fprintf(stderr, "kpd-appserver: tabelas criadas em %s\n", db.settings().displayName().toUtf8().constData());
}

int DatabaseCommands::rebuildSummary(const ServerOptions& options)
{
    Database db(settings(options, false));
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

int DatabaseCommands::importFigures(const ServerOptions& options)
{
    if (options.initSchema)
        initSchema(options);
    Database db(settings(options, false));
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
                const int kept = RdmIndicResult::keepMonths(db, summary.months, targets);
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
        ServerLog::fail(QStringLiteral("importação recusada, nada foi gravado: %1").arg(e.message()));
        return 1;
    }
}

} // namespace appserver
