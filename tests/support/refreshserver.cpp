#include "refreshserver.h"

#include "cockpitdatabase.h"
#include "hostfunctions.h"

namespace {

bool writeMonths(CockpitDatabase& db)
{
    bool ok = db.create() && db.addLoad(QStringLiteral("2008-08-03 06:00:00"));
    const QStringList regions{"AAA", "BBB", "CCC", "DDD", "EEE", "FFF", "CON", "ZER", "OFF"};
    for (int i = 0; i < regions.size() && ok; ++i)
        ok = db.addRegion(regions[i]) && db.addBranch(i + 1, QStringLiteral("Filial ") + regions[i], regions[i]);
    if (!ok)
        return false;

    const QDate jan(2008, 1, 10), feb(2008, 2, 10), mar(2008, 3, 10), apr(2008, 4, 10), may(2008, 5, 10), jul(2008, 7, 10);
    return db.addMonth(1, jan, 1000000, 40, 40, 10) && db.addMonth(2, jan, 1200000, 40, 40, 10) &&
           db.addMonth(3, jan, 1400000, 40, 40, 10) && db.addMonth(4, jan, 2500000, 42, 40, 12) &&
           db.addMonth(5, jan, 1900000, 50, 30, 16) &&
           db.addMonth(1, feb, 500000, 30, 50, 10) && db.addMonth(2, feb, 500000, 30, 50, 10) &&
           db.addMonth(3, feb, 1000000, 30, 50, 10) &&
           db.addMonth(1, mar, 1000000, 40, 40, 10) && db.addMonth(2, mar, 1000000, 40, 40, 10) &&
           db.addMonth(3, mar, 1000000, 40, 40, 10) && db.addMonth(4, mar, 1000000, 40, 40, 10) &&
           db.addMonth(5, mar, 1000000, 40, 40, 10) && db.addMonth(6, mar, 1000000, 40, 40, 10) &&
           db.addMonth(7, apr, 12500000, 42, 30, 10) &&
           db.addMonth(1, may, 1000000, 42, 40, 10) && db.addDay(8, may, 0, 100, 100, 100) &&
           db.addMonth(9, jul, 1000000, 40, 46, 4) &&
           db.addTarget(QDate(2008, 1, 1), QStringLiteral("TOTAL"), QStringLiteral("faturamento"), 10000000) &&
           db.addTarget(QDate(2008, 1, 1), QStringLiteral("DDD"), QStringLiteral("consumo"), 45);
}

} // namespace

bool RefreshServer::start(QString* error)
{
    if (!m_dir.isValid()) {
        *error = m_dir.errorString();
        return false;
    }
    const QString path = databasePath();
    {
        CockpitDatabase db(path);
        if (!writeMonths(db)) {
            *error = db.error();
            return false;
        }
    }
    if (!m_server.start({QStringLiteral("--db"), path}, error))
        return false;
    m_port = m_server.port();
    return true;
}

void RefreshServer::useIt() const
{
    const int port = m_port;
    SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [port] { return port; });
}
