// kpd-appserver: serves the cockpit's remote data modules, or writes a demonstration database.
#include "databasecommands.h"
#include "httpoptions.h"
#include "serverlog.h"
#include "serveroptions.h"
#include "serverrun.h"
#include "serversignals.h"
#include "usercommands.h"

#include <QCoreApplication>

#include <cstdio>

using namespace appserver;

namespace {

// A command line that cannot be followed: why, the usage, and status 2.
int refuse(const QString& error, const QString& usage)
{
    ServerLog::fail(error);
    std::fprintf(stderr, "%s", usage.toUtf8().constData());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread starts: they inherit the mask.
    ServerSignals::block();
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString usage = ServerOptions::usage() + HttpOptions::usage();
    QString error;
    HttpOptions http;
    if (!HttpOptions::extract(args, http, error))
        return refuse(error, usage);
    if ((!http.addUser.isEmpty() || !http.removeUser.isEmpty()) && !args.contains(QStringLiteral("--help"))
        && !args.contains(QStringLiteral("-h"))) {
        ServerSignals::unblock();
        return http.addUser.isEmpty() ? UserCommands::remove(http) : UserCommands::add(http);
    }
    ServerOptions options;
    if (!ServerOptions::parse(args, options, error))
        return refuse(error, usage);
    if (options.help) {
        std::printf("%s", usage.toUtf8().constData());
        return 0;
    }
    if (options.version) {
        std::printf("kpd-appserver %s\n", KPD_VERSION);
        return 0;
    }
    try {
        if (options.initDemoPath.isEmpty() && options.importDir.isEmpty() && !options.rebuildSummary)
            return ServerRun::serve(options, http);
        // The commands that write and end take the signals as any program does.
        ServerSignals::unblock();
        if (!options.initDemoPath.isEmpty())
            return DatabaseCommands::initDemo(options);
        if (!options.importDir.isEmpty())
            return DatabaseCommands::importFigures(options);
        return DatabaseCommands::rebuildSummary(options);
    } catch (const DatabaseError& e) {
        ServerLog::fail(e.message());
        return 1;
    }
}
