#include "healthprobe.h"

#include "database.h"
#include "schema.h"

#include <QSqlQuery>

namespace appserver {

QString HealthProbe::problem(const DatabaseSettings& settings, bool* damaged)
{
    *damaged = false;
    try {
        Database probe(settings);
        Schema::verify(probe, Schema::Use::Read);
        // The names alone are read from the schema; a row of each table of a file reads the pages a month
        // starts from. Not a view's: it may compute for as long as it likes, and health would wait for it.
        for (const QString& table : Schema::tableNames()) {
            if (!probe.isSqlite() || Schema::relation(probe, table) != Schema::Relation::Table)
                continue;
            QSqlQuery q = probe.prepare(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(table));
            Database::exec(q);
            q.next();
        }
    } catch (const DatabaseError& e) {
        *damaged = settings.driver == QLatin1String("QSQLITE") && !Database::damageOf(settings.databaseName).isEmpty();
        return e.message();
    }
    if (settings.driver == QLatin1String("QSQLITE")) {
        const QString damage = Database::damageOf(settings.databaseName);
        *damaged = !damage.isEmpty();
        if (*damaged)
            return QStringLiteral("o arquivo \"%1\" está danificado (%2)").arg(settings.databaseName, damage);
    }
    return {};
}

} // namespace appserver
