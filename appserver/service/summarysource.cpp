#include "summarysource.h"

#include "database.h"

#include <QStringList>

namespace appserver::figures {

namespace {

// The figure each list is ranked by, as its index holds it (docs/schema-*.sql): on PostgreSQL a stored
// column; on SQLite the index's own expression, which the queries must name exactly so for the engine to
// read the index instead of sorting the month.
QString rankingExpression(const Database& db)
{
    return db.isPostgres() ? QStringLiteral("pcresultado")
                           : QStringLiteral("(CASE WHEN qtdias > 0 AND vrfatliq >= 0.005 "
                                            "THEN (vrfatliq - (vrconsumo + vrmdo + vrdespesas)) * 100.0 / vrfatliq END)");
}

QString stockExpression(const Database& db)
{
    return db.isPostgres() ? QStringLiteral("nrdiasestoque")
                           : QStringLiteral("(CASE WHEN qtdias > 0 AND vrestoque IS NOT NULL AND vrconsumo > 0 "
                                            "THEN vrestoque * (julianday(mes, '+1 month') - julianday(mes)) / vrconsumo END)");
}

// The first ten entries of a ranking index for a month, in list order (ties to the lower code); a branch
// that filial does not know is not listed, as in the lists ranked from every branch. %1 is what to select.
QString firstOfIndex(const QString& select, const QString& expression, bool descending, int part)
{
    return QStringLiteral("SELECT * FROM (SELECT %1 FROM movimento_mensal WHERE mes = ? AND %2 IS NOT NULL "
                          "AND EXISTS (SELECT 1 FROM filial f WHERE f.cdfilial = movimento_mensal.cdfilial) "
                          "ORDER BY %2 %3, cdfilial LIMIT %4) AS l%5")
        .arg(select, expression, descending ? QStringLiteral("DESC") : QStringLiteral("ASC"))
        .arg(kListSize)
        .arg(part);
}

} // namespace

QMap<cockpit::RefMonth, RegionSums> SummarySource::totals(const cockpit::RefMonth& first, const cockpit::RefMonth& last)
{
    return readTotals(QStringLiteral("SELECT mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas "
                                     "FROM movimento_regional_mensal WHERE mes >= ? AND mes <= ? AND qtfiliais > 0 "
                                     "ORDER BY mes, cdareagere"),
                      {m_db.dateValue(first), m_db.dateValue(last)});
}

std::optional<MonthSource::Month> SummarySource::month(const cockpit::RefMonth& month,
                                                       const QMap<cockpit::RefMonth, RegionSums>& totals)
{
    const auto found = totals.constFind(month);
    if (found == totals.cend())
        return std::nullopt;
    // The month's lists from the first rows of the ranking indexes, in one statement.
    const QString columns = QStringLiteral(
        "%1 AS lista, cdfilial, (SELECT f.cdareagere FROM filial f WHERE f.cdfilial = movimento_mensal.cdfilial) AS regiao, "
        "vrfatliq, vrconsumo, vrmdo, vrdespesas, vrestoque");
    const QString sql = QStringList{firstOfIndex(columns.arg(0), rankingExpression(m_db), true, 0),
                                    firstOfIndex(columns.arg(1), rankingExpression(m_db), false, 1),
                                    firstOfIndex(columns.arg(2), stockExpression(m_db), true, 2)}
                            .join(QStringLiteral(" UNION ALL "));
    const QVariant first = m_db.dateValue(month);
    Month out{found.value(), {}, {}};
    m_db.forEachRow(sql, {first, first, first}, [&](const Database::Row& row) {
        Branch b;
        b.code = row.integer(1);
        b.region = QString::fromUtf8(row.text(2)).trimmed();
        b.revenue = row.real(3);
        b.consumption = row.real(4);
        b.labour = row.real(5);
        b.expenses = row.real(6);
        if (!row.isNull(7))
            b.stock = row.real(7);
        const qint64 list = row.integer(0);
        (list == 0 ? out.lists.best : list == 1 ? out.lists.worst : out.lists.stock).push_back(std::move(b));
    });
    return out;
}

std::vector<Branch> SummarySource::branchRegions(const cockpit::RefMonth& month)
{
    return readBranchRegions(QStringLiteral("SELECT m.cdfilial, f.cdareagere FROM movimento_mensal m JOIN filial f ON "
                                            "f.cdfilial = m.cdfilial WHERE m.mes = ? AND m.qtdias > 0"),
                             {m_db.dateValue(month)});
}

QMap<QString, double> SummarySource::revenueUpTo(const cockpit::RefMonth& month, int lastDay)
{
    return readRevenueUpTo(QStringLiteral("SELECT dtmovimento, cdareagere, vrfatliq FROM movimento_regional_diario "
                                          "WHERE dtmovimento >= ? AND dtmovimento < ? AND qtfiliais > 0"),
                           month, lastDay);
}

QMap<cockpit::RefMonth, Lists> SummarySource::lists(const QList<cockpit::RefMonth>& months)
{
    QMap<cockpit::RefMonth, Lists> out;
    if (months.isEmpty())
        return out;
    QString sql;
    QVariantList params;
    if (m_db.isPostgres()) {
        // One small statement whatever the number of months: PostgreSQL plans a statement of twenty-two
        // parts anew on each of a connection's first calls, at a cost above that of reading them.
        QStringList days;
        for (const cockpit::RefMonth& month : months)
            days << month.firstDay().toString(Qt::ISODate);
        const QString part = QStringLiteral("(SELECT %1 AS lista, cdfilial FROM movimento_mensal WHERE mes = m.mes AND pcresultado "
                                            "IS NOT NULL AND EXISTS (SELECT 1 FROM filial f WHERE f.cdfilial = movimento_mensal.cdfilial) "
                                            "ORDER BY pcresultado %2, cdfilial LIMIT %3)");
        sql = QStringLiteral("SELECT l.lista, m.mes, l.cdfilial FROM unnest(?::date[]) AS m(mes) CROSS JOIN LATERAL (%1 UNION ALL %2) AS l")
                  .arg(part.arg(1).arg(QStringLiteral("DESC")).arg(kListSize), part.arg(0).arg(QStringLiteral("ASC")).arg(kListSize));
        params << QVariant(QLatin1Char('{') + days.join(QLatin1Char(',')) + QLatin1Char('}'));
    } else {
        QStringList parts;
        for (const cockpit::RefMonth& month : months) {
            for (const bool best : {true, false}) {
                parts << firstOfIndex(QStringLiteral("%1 AS lista, mes, cdfilial").arg(best ? 1 : 0), rankingExpression(m_db), best,
                                      int(parts.size()));
                params << m_db.dateValue(month);
            }
        }
        sql = parts.join(QStringLiteral(" UNION ALL "));
    }
    m_db.forEachRow(sql, params, [&](const Database::Row& row) {
        Lists& lists = out[row.month(1)];
        (row.integer(0) == 1 ? lists.best : lists.worst) << row.integer(2);
    });
    return out;
}

std::vector<Branch> SummarySource::regionBranches(const cockpit::RefMonth& month, const QString& region)
{
    // The region's branches through the index on their region, each with its month's sums.
    return readBranchSums(QStringLiteral("SELECT f.cdfilial, f.nmfilial, m.vrfatliq, m.vrconsumo, m.vrmdo, m.vrdespesas "
                                         "FROM filial f JOIN movimento_mensal m ON m.mes = ? AND m.cdfilial = f.cdfilial "
                                         "WHERE f.cdareagere = ? AND m.qtdias > 0"),
                          {m_db.dateValue(month), region});
}

} // namespace appserver::figures
