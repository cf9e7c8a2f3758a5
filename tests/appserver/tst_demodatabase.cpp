// The demonstration database: reproducible, and spread so that every gauge colour shows.
#include "database.h"
#include "demodatabase.h"
#include "databaseerror.h"
#include "indicresultquery.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <array>

using namespace appserver;

namespace {

QStringList dump(const QString& path)
{
    Database db(DatabaseSettings::sqliteFile(path, true));
    QStringList out;
    for (const char* sql : {"SELECT * FROM regional ORDER BY 1", "SELECT * FROM filial ORDER BY 1",
                            "SELECT * FROM movimento_diario ORDER BY 1, 2", "SELECT * FROM estoque_mensal ORDER BY 1, 2",
                            "SELECT * FROM carga_etl ORDER BY 1"}) {
        QSqlQuery q = db.prepare(QString::fromLatin1(sql));
        Database::exec(q);
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < q.record().count(); ++i)
                cells << q.value(i).toString();
            out << cells.join(QLatin1Char('|'));
        }
    }
    return out;
}

int count(const QString& path, const char* table)
{
    Database db(DatabaseSettings::sqliteFile(path, true));
    QSqlQuery q = db.prepare(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QString::fromLatin1(table)));
    Database::exec(q);
    q.next();
    return q.value(0).toInt();
}

// 0 green, 1 yellow, 2 red, as the dashboard colours a value against its target.
int colour(double value, double target, bool higherIsBetter)
{
    if (higherIsBetter)
        return value >= target ? 0 : value >= 0.9 * target ? 1 : 2;
    return value <= target ? 0 : value <= 1.1 * target ? 1 : 2;
}

} // namespace

class TestDemoDatabase : public QObject {
    Q_OBJECT

private slots:
    void shouldWriteTheSameFiguresForTheSameOptions();
    void shouldRefuseToOverwriteAFile();
    void shouldShowEveryGaugeColourOverAYear();

private:
    QTemporaryDir m_dir;
};

void TestDemoDatabase::shouldWriteTheSameFiguresForTheSameOptions()
{
    const DemoOptions options{10, 2, QDate(2024, 5, 1)};
    const QString a = m_dir.filePath(QStringLiteral("a.db"));
    const QString b = m_dir.filePath(QStringLiteral("b.db"));
    const DemoSummary summary = DemoDatabase::create(a, options);
    DemoDatabase::create(b, options);
    QCOMPARE(summary.firstDay, QDate(2024, 4, 1));
    QCOMPARE(summary.lastDay, QDate(2024, 5, 31));
    QCOMPARE(summary.dailyRows, 10 * 61);
    QCOMPARE(count(a, "regional"), 5);
    QCOMPARE(count(a, "filial"), 10);
    QCOMPARE(count(a, "movimento_diario"), 10 * 61);
    QCOMPARE(count(a, "estoque_mensal"), 10 * 2);
    QVERIFY(count(a, "carga_etl") > 0);
    QCOMPARE(dump(a), dump(b));
}

void TestDemoDatabase::shouldRefuseToOverwriteAFile()
{
    const QString path = m_dir.filePath(QStringLiteral("existing.db"));
    DemoDatabase::create(path, {3, 1, QDate(2024, 1, 1)});
    QVERIFY_THROWS_EXCEPTION(DatabaseError, DemoDatabase::create(path, {3, 1, QDate(2024, 1, 1)}));
    QCOMPARE(count(path, "filial"), 3);
}

void TestDemoDatabase::shouldShowEveryGaugeColourOverAYear()
{
    const QString path = m_dir.filePath(QStringLiteral("year.db"));
    DemoDatabase::create(path, {60, 12, QDate(2024, 12, 1)});
    Database db(DatabaseSettings::sqliteFile(path, true));

    // Consumption, labour, expenses (higher is worse) and result (higher is better).
    const std::array<double, 4> targets{40, 45, 15, 5};
    std::array<std::array<bool, 3>, 4> seen{};
    for (int month = 1; month <= 12; ++month) {
        const CkpData data = IndicResultQuery(db).run(cockpit::RefMonth(2024, month));
        // The generator fills the monthly summary in one pass: a month read from it is the month
        // summed from its days.
        const CkpData daily = IndicResultQuery(db, IndicResultQuery::Source::DailyRows).run(cockpit::RefMonth(2024, month));
        for (const auto& [a, b] : {std::pair{&data.indicadores, &daily.indicadores}, {&data.top10, &daily.top10},
                                   {&data.bottom10, &daily.bottom10}, {&data.grafPizza, &daily.grafPizza},
                                   {&data.diasEstoque, &daily.diasEstoque}})
            QCOMPARE(a->SerializeAsString(), b->SerializeAsString());
        QCOMPARE(data.indicadores.rows_size(), 6);   // TOTAL and five regions
        QCOMPARE(data.top10.rows_size(), 10);
        QCOMPARE(data.diasEstoque.rows_size(), 10);
        for (const auto& row : data.indicadores.rows()) {
            if (row.values(0).text_value() == "TOTAL")
                continue;
            for (int m = 0; m < 4; ++m)
                seen[m][colour(row.values(3 + m).double_value(), targets[m], m == 3)] = true;
        }
    }
    for (int m = 0; m < 4; ++m)
        for (int c = 0; c < 3; ++c)
            QVERIFY2(seen[m][c], qPrintable(QStringLiteral("indicador %1, cor %2 nunca aparece").arg(m).arg(c)));
}

QTEST_GUILESS_MAIN(TestDemoDatabase)
#include "tst_demodatabase.moc"
