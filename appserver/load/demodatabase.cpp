#include "refmonth.h"
#include "demodatabase.h"

#include "database.h"
#include "schema.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSqlQuery>
#include <QStringList>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace appserver {

namespace {

struct RegionProfile {
    const char* code;
    const char* name;
    int weight;                 // share of the branches
    double consumption;         // mean percentages of revenue
    double labour;
    double expenses;
    std::array<const char*, 8> cities;
};

// Means chosen so that, against the targets, each gauge shows red in one region, yellow in another
// and green in a third; the result follows from the other three.
const std::array<RegionProfile, 5> kRegions{{
    {"CO", "Centro-Oeste", 10, 37.0, 41.0, 14.0,
     {"Goiânia", "Brasília", "Cuiabá", "Campo Grande", "Anápolis", "Rondonópolis", "Dourados", "Taguatinga"}},
    {"NE", "Nordeste", 13, 42.0, 37.8, 15.5,
     {"Recife", "Salvador", "Fortaleza", "Natal", "João Pessoa", "Maceió", "Aracaju", "Teresina"}},
    {"NO", "Norte", 9, 32.0, 50.5, 15.5,
     {"Manaus", "Belém", "Porto Velho", "Macapá", "Palmas", "Rio Branco", "Boa Vista", "Santarém"}},
    {"SE", "Sudeste", 16, 33.0, 44.0, 17.0,
     {"São Paulo", "Campinas", "Rio de Janeiro", "Belo Horizonte", "Vitória", "Santos", "Niterói", "Uberlândia"}},
    {"SUL", "Sul", 12, 45.0, 35.0, 16.0,
     {"Curitiba", "Porto Alegre", "Florianópolis", "Londrina", "Joinville", "Caxias do Sul", "Maringá", "Pelotas"}},
}};

// A uniform number in [0, 1) from a few integers; the figures of a day never depend on the order
// in which they are generated.
double unit(quint64 a, quint64 b, quint64 c)
{
    quint64 z = 0x9E3779B97F4A7C15ULL * (a + 1) ^ 0xC2B2AE3D27D4EB4FULL * (b + 7) ^ 0x165667B19E3779F9ULL * (c + 13);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

double spread(double u, double halfWidth) { return (2.0 * u - 1.0) * halfWidth; }

double cents(double value) { return std::round(value * 100.0) / 100.0; }

// A revenue budget per month and region, and the company's as their sum: what each region's month would
// make at the pace of its days so far, give or take 6 %, so some regions beat their budget and some miss it.
void addRevenueBudgets(Database& db)
{
    struct Budget {
        QDate month;
        QString scope;
        double value;
    };
    std::vector<Budget> budgets;
    QMap<QDate, double> company;
    db.forEachRow(QStringLiteral("SELECT m.mes, f.cdareagere, SUM(m.vrfatliq), MAX(m.qtdias) FROM movimento_mensal m "
                                 "JOIN filial f ON f.cdfilial = m.cdfilial GROUP BY m.mes, f.cdareagere"),
                  {}, [&](const Database::Row& row) {
                      const QDate month = Database::toDateTime(QString::fromUtf8(row.text(0))).date();
                      const QString region = QString::fromUtf8(row.text(1));
                      const double days = row.real(3);
                      if (!month.isValid() || days <= 0)
                          return;
                      const double pace = row.real(2) / days * month.daysInMonth();
                      const double value =
                          std::round(pace * (0.94 + 0.12 * unit(month.year() * 12 + month.month(), qHash(region), 11)));
                      budgets.push_back({month, region, value});
                      company[month] += value;
                  });
    for (auto it = company.cbegin(); it != company.cend(); ++it)
        budgets.push_back({it.key(), QStringLiteral("TOTAL"), it.value()});
    db.beginTransaction();
    QSqlQuery insert = db.prepare(
        QStringLiteral("INSERT INTO meta_mensal (mes, escopo, indicador, vrmeta) VALUES (?, ?, 'faturamento', ?)"));
    for (const Budget& b : budgets) {
        insert.bindValue(0, db.dateValue(b.month));
        insert.bindValue(1, b.scope);
        insert.bindValue(2, b.value);
        Database::exec(insert);
    }
    db.commit();
}

int regionOf(int branch, int branches)
{
    int total = 0;
    for (const RegionProfile& r : kRegions)
        total += r.weight;
    const double position = (branch + 0.5) * total / branches;
    int upTo = 0;
    for (int i = 0; i < static_cast<int>(kRegions.size()); ++i) {
        upTo += kRegions[i].weight;
        if (position < upTo)
            return i;
    }
    return static_cast<int>(kRegions.size()) - 1;
}

struct MonthTotals {
    double consumption = 0;
};

} // namespace

DemoSummary DemoDatabase::create(const QString& path, const DemoOptions& options)
{
    if (options.branches < 1 || options.months < 1)
        throw DatabaseError(QStringLiteral("O número de filiais e o de meses devem ser maiores que zero."));
    if (QFileInfo::exists(path))
        throw DatabaseError(QStringLiteral("O arquivo \"%1\" já existe; escolha outro caminho ou apague-o antes.").arg(path));

    const QDate today = QDate::currentDate();
    const QDate endMonth = cockpit::RefMonth(options.endMonth.isValid() ? options.endMonth : today).firstDay();
    const QDate firstDay = endMonth.addMonths(-(options.months - 1));
    QDate lastDay = endMonth.addMonths(1).addDays(-1);
    if (lastDay > today && endMonth <= today)
        lastDay = today;

    DemoSummary summary;
    summary.firstDay = firstDay;
    summary.lastDay = lastDay;
    summary.branches = options.branches;

    std::vector<QDate> days;
    for (QDate d = firstDay; d <= lastDay; d = d.addDays(1))
        days.push_back(d);

    try {
        Database db(DatabaseSettings::sqliteFile(path, false));
        if (db.isSqlite()) {
            db.execDirect(QStringLiteral("PRAGMA journal_mode = MEMORY"));
            db.execDirect(QStringLiteral("PRAGMA synchronous = OFF"));
        }
        Schema::create(db, false);
        db.beginTransaction();

        QSqlQuery region = db.prepare(QStringLiteral("INSERT INTO regional (cdareagere, nmareagere) VALUES (?, ?)"));
        for (const RegionProfile& r : kRegions) {
            region.bindValue(0, QString::fromUtf8(r.code));
            region.bindValue(1, QString::fromUtf8(r.name));
            Database::exec(region);
            ++summary.regions;
        }

        QSqlQuery branch = db.prepare(QStringLiteral("INSERT INTO filial (cdfilial, nmfilial, cdareagere) VALUES (?, ?, ?)"));
        QSqlQuery daily = db.prepare(QStringLiteral(
            "INSERT INTO movimento_diario (cdfilial, dtmovimento, vrfatliq, vrconsumo, vrmdo, vrdespesas) "
            "VALUES (?, ?, ?, ?, ?, ?)"));
        QSqlQuery stock = db.prepare(QStringLiteral("INSERT INTO estoque_mensal (cdfilial, mes, vrestoque) VALUES (?, ?, ?)"));

        std::vector<QVariant> dayValues;
        dayValues.reserve(days.size());
        for (const QDate& d : days)
            dayValues.push_back(db.dateValue(d));

        const double twoPi = 2.0 * std::numbers::pi;
        for (int b = 0; b < options.branches; ++b) {
            const int code = b + 1;
            const int ri = regionOf(b, options.branches);
            const RegionProfile& r = kRegions[ri];
            const QString city = QString::fromUtf8(r.cities[static_cast<size_t>(b) % r.cities.size()]);
            branch.bindValue(0, code);
            branch.bindValue(1, QStringLiteral("Filial %1 %2").arg(code, 4, 10, QLatin1Char('0')).arg(city).left(30));
            branch.bindValue(2, QString::fromUtf8(r.code));
            Database::exec(branch);

            // Each branch sits a little off its region's means, and a slow yearly swing moves every
            // region's colours from month to month.
            const double baseRevenue = 20000.0 + 70000.0 * unit(code, 0, 1);
            const double ownCons = spread(unit(code, 0, 2), 4.0);
            const double ownMdo = spread(unit(code, 0, 3), 4.0);
            const double ownDesp = spread(unit(code, 0, 4), 1.5);
            const double stockDays = 8.0 + 52.0 * unit(code, 0, 5);

            double monthConsumption = 0;
            QDate month = firstDay;
            for (size_t i = 0; i < days.size(); ++i) {
                const QDate& d = days[i];
                const int monthIndex = (d.year() - 2000) * 12 + d.month();
                const double phase = twoPi * monthIndex / 12.0;
                const double cons = r.consumption + ownCons + 1.5 * std::sin(phase + ri) + spread(unit(code, d.toJulianDay(), 6), 2.0);
                const double mdo = r.labour + ownMdo + 1.5 * std::sin(phase + 2.0 * ri + 1.0) + spread(unit(code, d.toJulianDay(), 7), 2.0);
                const double desp = r.expenses + ownDesp + 0.8 * std::sin(phase + 3.0 * ri + 2.0) + spread(unit(code, d.toJulianDay(), 8), 0.8);
                const int dow = d.dayOfWeek();
                const double weekday = dow == 7 ? 0.55 : dow == 6 ? 1.2 : 1.0;
                const double revenue = cents(baseRevenue * weekday * (0.85 + 0.3 * unit(code, d.toJulianDay(), 9)));
                const double consumption = cents(revenue * cons / 100.0);
                daily.bindValue(0, code);
                daily.bindValue(1, dayValues[i]);
                daily.bindValue(2, revenue);
                daily.bindValue(3, consumption);
                daily.bindValue(4, cents(revenue * mdo / 100.0));
                daily.bindValue(5, cents(revenue * desp / 100.0));
                Database::exec(daily);
                ++summary.dailyRows;
                monthConsumption += consumption;

                const bool monthEnds = i + 1 == days.size() || days[i + 1].month() != d.month();
                if (monthEnds) {
                    const double daysOfStock = stockDays * (0.8 + 0.4 * unit(code, monthIndex, 10));
                    stock.bindValue(0, code);
                    stock.bindValue(1, db.dateValue(month));
                    stock.bindValue(2, cents(monthConsumption / month.daysInMonth() * daysOfStock));
                    Database::exec(stock);
                    monthConsumption = 0;
                    month = month.addMonths(1);
                }
            }
        }

        // A load on the first of every month and on each of the last five days.
        QSqlQuery load = db.prepare(QStringLiteral("INSERT INTO carga_etl (dtcarga) VALUES (?)"));
        for (const QDate& d : days) {
            if (d.day() == 1 || d.daysTo(lastDay) < 5) {
                load.bindValue(0, db.timestampValue(QDateTime(d, QTime(5, 30))));
                Database::exec(load);
            }
        }

        db.commit();
        Schema::createIndexes(db);
        addRevenueBudgets(db);
    } catch (const DatabaseError&) {
        QFile::remove(path);
        throw;
    }
    return summary;
}

} // namespace appserver
