#pragma once

#include "database.h"

namespace appserver {

struct ServerOptions;

/// The database's side of the command line: the --db argument, and the commands that write a database
/// and end (--init-demo, --import, --rebuild-summary). Each throws DatabaseError when the database fails.
class DatabaseCommands {
public:
    /// The --db argument as settings; an SQLite file that is not there is only created with --init-schema.
    static DatabaseSettings settings(const ServerOptions& options, bool readOnly);
    /// --init-schema: the tables where the database has none.
    static void initSchema(const ServerOptions& options);
    /// --init-demo: a demonstration database; the exit status.
    static int initDemo(const ServerOptions& options);
    /// --rebuild-summary: the monthly summary summed again; the exit status.
    static int rebuildSummary(const ServerOptions& options);
    /// --import: the CSV files of a folder loaded, and the months they touched worked out; the exit status.
    static int importFigures(const ServerOptions& options);
};

} // namespace appserver
