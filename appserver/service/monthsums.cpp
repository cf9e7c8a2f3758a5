#include "monthsums.h"

#include "database.h"
#include "indicators.h"

#include <QDateTime>

namespace appserver::figures {

QString lastLoad(Database& db)
{
    QString text;
    db.forEachRow(QStringLiteral("SELECT MAX(dtcarga) FROM carga_etl"), {}, [&](const Database::Row& row) {
        const QDateTime when = row.isNull(0) ? QDateTime() : Database::toDateTime(QString::fromUtf8(row.text(0)));
        if (when.isValid())
            text = when.date().toString(QStringLiteral("dd/MM/yyyy"));
    });
    return text;
}

QDate lastDayWithFigures(Database& db, const cockpit::RefMonth& month)
{
    QDate day;
    // The last entry of the month's range on the daily rows' index: one row read. MAX() over the range
    // would read the month's every row.
    db.forEachRow(QStringLiteral("SELECT dtmovimento FROM movimento_diario WHERE dtmovimento >= ? AND dtmovimento < ? "
                                 "ORDER BY dtmovimento DESC LIMIT 1"),
                  {db.dateValue(month), db.dateValue(month.next())}, [&](const Database::Row& row) {
                      if (!row.isNull(0))
                          day = row.date(0);
                  });
    return day;
}

Targets Targets::read(Database& db, const cockpit::RefMonth& month, bool targets)
{
    return readMonths(db, month, month, targets).value(month);
}

QMap<cockpit::RefMonth, Targets> Targets::readMonths(Database& db, const cockpit::RefMonth& first, const cockpit::RefMonth& last,
                                                     bool targets)
{
    QMap<cockpit::RefMonth, Targets> months;
    if (!targets)
        return months;
    db.forEachRow(QStringLiteral("SELECT escopo, indicador, vrmeta, mes FROM meta_mensal WHERE mes >= ? AND mes <= ?"),
                  {db.dateValue(first), db.dateValue(last)}, [&](const Database::Row& row) {
                      if (row.isNull(2))
                          return;
                      const QByteArray indicator = row.text(1).trimmed().toLower();
                      int i = 0;
                      while (i < cockpit::kIndicatorCount && indicator != cockpit::kIndicators[size_t(i)].key)
                          ++i;
                      if (i == cockpit::kIndicatorCount)
                          return;
                      Targets& out = months[row.month(3)];
                      const double value = i == 0 ? row.real(2) / 1e6 : row.real(2);
                      const QString scope = QString::fromUtf8(row.text(0)).trimmed();
                      if (scope.startsWith(QLatin1Char(cockpit::kBranchScopeMark))) {
                          bool ok = false;
                          const qint64 code = scope.mid(1).toLongLong(&ok);
                          if (ok)
                              out.branches[code][size_t(i)] = value;
                      } else {
                          out.scopes[scope][size_t(i)] = value;
                      }
                  });
    return months;
}

void Targets::addBranchSums(const std::vector<Branch>& withFigures, Sums which)
{
    if (branches.isEmpty() || withFigures.empty())
        return;
    QMap<QString, std::optional<double>> sums;   // none once a branch has no budget
    const QString company = QLatin1String(cockpit::kCompanyCode);
    for (const Branch& b : withFigures) {
        const auto it = branches.constFind(b.code);
        const std::optional<double> budget = it == branches.cend() ? std::nullopt : it.value()[0];
        for (const QString& scope : {company, b.region}) {
            if (scope == company && which == RegionsOnly)
                continue;
            auto s = sums.find(scope);
            if (s == sums.end())
                s = sums.insert(scope, 0.0);
            if (s.value() && budget)
                *s.value() += *budget;
            else
                s.value().reset();
        }
    }
    for (auto it = sums.cbegin(); it != sums.cend(); ++it) {
        if (!it.value() || scopes.value(it.key())[0])
            continue;
        scopes[it.key()][0] = it.value();
        summed.insert(it.key());
    }
}

QVector<cockpit::ScopeTargets> Targets::rows(const QDate& lastFigures, const std::vector<Branch>& branchRows,
                                             const std::vector<Listed>& listed) const
{
    QVector<cockpit::ScopeTargets> out;
    const QString company = QLatin1String(cockpit::kCompanyCode);
    const auto write = [&](const QString& scope, const Row& row, const Listed* inLists = nullptr) {
        cockpit::ScopeTargets t;
        t.scope = scope;
        t.targets = row;
        t.revenueFromBranches = summed.contains(scope);
        if (scope == company)
            t.lastFigures = lastFigures;
        if (inLists) {
            t.monthsTop = inLists->monthsTop;
            t.monthsBottom = inLists->monthsBottom;
            // Its place in each list, which is how a client finds the row the counts belong to.
            if (inLists->placeTop > 0)
                t.placeTop = inLists->placeTop;
            if (inLists->placeBottom > 0)
                t.placeBottom = inLists->placeBottom;
        }
        out.append(t);
    };
    // The company's row says which day the figures reach, so it is there whenever there is that to say.
    if (scopes.contains(company) || lastFigures.isValid())
        write(company, scopes.value(company));
    for (auto it = scopes.cbegin(); it != scopes.cend(); ++it)
        if (it.key() != company)
            write(it.key(), it.value());
    for (const Branch& b : branchRows)
        if (const auto it = branches.constFind(b.code); it != branches.cend())
            write(QLatin1Char(cockpit::kBranchScopeMark) + QString::number(b.code), it.value());
    for (const Listed& b : listed)
        write(QLatin1Char(cockpit::kBranchScopeMark) + QString::number(b.code), branches.value(b.code), &b);
    return out;
}

} // namespace appserver::figures
