// getCkpData over the wire: a real server over a small database whose figures are worked out by hand
// below, called through a raw gRPC stub.
#include "database.h"
#include "schema.h"
#include "serverprocess.h"
#include "testcertificates.h"

#include "kpd.grpc.pb.h"

#include <grpcpp/grpcpp.h>

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <optional>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

using appserver::Database;
using appserver::DatabaseSettings;
using appserver::Schema;

namespace {

const char* kModule = "KPD00100.rdmIndicResult";

// 2024-03-15 14:30 and 2024-03-01 as days since 1899-12-30.
constexpr double kMarch15 = 45366.0 + 14.5 / 24.0;
constexpr double kMarch1 = 45352.0;
constexpr double kJune1of2023 = 45078.0;

struct BranchRow {
    int code;
    const char* name;
    const char* region;
    // March 2024 totals, in currency units; stored split over the first and the last day.
    double revenue, consumption, labour, expenses;
    double stock;   // < 0: no stock row for March
};

// Results (revenue - costs) / revenue: 1 → 10.0, 2 → -3.0, 3 → 5.0, 4 → 5.0, 5 → -1.7, 6 → 35.0,
// 7 → 1.0, 8 → 6.7, 9 → 8.0, 10 → -5.1, 11 → 3.1; 12 has no revenue.
// Days of stock (stock × 31 / consumption): 1 → 15.5, 2 → 31, 3 → 15.5, 4 → 62, 7 → 31, 8 → 9.4,
// 9 → 62, 10 → 15.5, 11 → 77.5; 5 has no stock row, 6 and 12 no consumption.
const BranchRow kBranches[] = {
    {1, "Filial 01", "NE", 2000000, 800000, 700000, 300000, 400000},
    {2, "Filial 02", "NE", 1000000, 420000, 450000, 160000, 420000},
    {3, "Filial 03", "NE", 1500000, 600000, 600000, 225000, 300000},
    {4, "Filial 04", "NE", 800000, 300000, 350000, 110000, 600000},
    {5, "Filial 05", "NE", 1200000, 500000, 540000, 180000, -1},
    {6, "Filial 06", "NE", 600000, 0, 300000, 90000, 50000},
    {7, "Filial 07", "SUL", 3000000, 1200000, 1350000, 420000, 1200000},
    {8, "Filial 08", "SUL", 900000, 330000, 390000, 120000, 100000},
    {9, "Filial 09 - Sao Jose dos Campos", "SUL", 2500000, 1000000, 1000000, 300000, 2000000},
    {10, "Filial 10", "SUL", 1100000, 460000, 520000, 176000, 230000},
    {11, "Filial 11", "SUL", 700000, 280000, 300000, 98000, 700000},
    {12, "Filial 12", "CO", 0, 0, 0, 50000, 10000},
};
const QString kNine = QStringLiteral("Filial 09 - Sao Jose dos Campo");   // cut to 30 characters

void exec(Database& db, const QString& sql, const QVariantList& values)
{
    QSqlQuery q = db.prepare(sql);
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values[i]);
    Database::exec(q);
}

void buildDatabase(const QString& path)
{
    Database db(DatabaseSettings::sqliteFile(path, false));
    Schema::create(db);
    db.beginTransaction();
    exec(db, "INSERT INTO regional VALUES (?, ?)", {"SUL", "Sul"});
    exec(db, "INSERT INTO regional VALUES (?, ?)", {"NE", "Nordeste"});
    exec(db, "INSERT INTO regional VALUES (?, ?)", {"CO", "Centro-Oeste"});
    exec(db, "INSERT INTO regional VALUES (?, ?)", {"XX", "Sem movimento em março"});
    const QString daily = QStringLiteral("INSERT INTO movimento_diario VALUES (?, ?, ?, ?, ?, ?)");
    for (const BranchRow& b : kBranches) {
        exec(db, "INSERT INTO filial VALUES (?, ?, ?)", {b.code, b.name, b.region});
        for (const char* day : {"2024-03-01", "2024-03-31"})
            exec(db, daily, {b.code, day, b.revenue / 2, b.consumption / 2, b.labour / 2, b.expenses / 2});
        if (b.stock >= 0)
            exec(db, "INSERT INTO estoque_mensal VALUES (?, ?, ?)", {b.code, "2024-03-01", b.stock});
    }
    // Neighbouring months and a branch that only has April: none of it may reach March.
    exec(db, daily, {1, "2024-02-29", 9e6, 1e6, 1e6, 1e6});
    exec(db, daily, {1, "2024-04-01", 9e6, 1e6, 1e6, 1e6});
    exec(db, "INSERT INTO estoque_mensal VALUES (?, ?, ?)", {1, "2024-02-01", 9e9});
    exec(db, "INSERT INTO filial VALUES (?, ?, ?)", {13, "Filial 13", "XX"});
    exec(db, daily, {13, "2024-04-10", 5e5, 1e5, 1e5, 1e5});
    exec(db, "INSERT INTO estoque_mensal VALUES (?, ?, ?)", {13, "2024-03-01", 1e6});
    for (const char* load : {"2024-03-10 06:00:00", "2024-04-02 05:30:00", "2023-12-31 23:59:59"})
        exec(db, "INSERT INTO carga_etl VALUES (?)", {load});
    db.commit();
}

QString cell(const kpd::rpc::Variant& v)
{
    switch (v.kind_case()) {
    case kpd::rpc::Variant::kDoubleValue: return QString::number(v.double_value(), 'g', 15);
    case kpd::rpc::Variant::kTextValue: return QString::fromStdString(v.text_value());
    case kpd::rpc::Variant::KIND_NOT_SET: return QStringLiteral("null");
    case kpd::rpc::Variant::kDatetimeValue: return QStringLiteral("@%1").arg(v.datetime_value(), 0, 'g', 15);
    default: return QStringLiteral("<kind %1>").arg(int(v.kind_case()));
    }
}

// "NAME:S5", "NAME:F", "NAME:F*" (read-only).
QStringList fieldsOf(const kpd::rpc::DataPacket& p)
{
    QStringList out;
    for (const auto& f : p.fields()) {
        QString s = QString::fromStdString(f.name()) + QLatin1Char(':');
        s += f.type() == kpd::rpc::FIELD_STRING  ? QStringLiteral("S%1").arg(f.size())
             : f.type() == kpd::rpc::FIELD_FLOAT ? QStringLiteral("F")
             : f.type() == kpd::rpc::FIELD_DATETIME ? QStringLiteral("@")
                                                 : QStringLiteral("?%1").arg(int(f.type()));
        if (f.read_only())
            s += QLatin1Char('*');
        out << s;
    }
    return out;
}

QStringList rowsOf(const kpd::rpc::DataPacket& p)
{
    QStringList out;
    for (const auto& r : p.rows()) {
        QStringList cells;
        for (const auto& v : r.values())
            cells << cell(v);
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

const QStringList kIndicadoresFields{"CDAREAGERE:S5", "QTFILIAIS:F", "VRFATLIQGER:F", "CONSUMO:F",
                                     "MDO:F", "DESPESAS:F", "RESULTADO:F", "DTULTATUETL:S10"};
const QStringList kRankingFields{"CDAREAGERE:S3", "NMFILIAL:S30", "RESULTADO:F", "ROWNUM:F"};
const QStringList kPizzaFields{"CDAREAGERE:S3", "VRFATLIQGER:F*", "CUSTO:F*", "RESULTADO:F*"};
const QStringList kEstoqueFields{"CDAREAGERE:S3", "ROWNUM:F", "NMFILIAL:S30", "DIASESTOQUE:F*"};
const QStringList kMetasFields{"CDAREAGERE:S10", "VRFATLIQGER:F*", "CONSUMO:F*", "MDO:F*", "DESPESAS:F*", "RESULTADO:F*",
                               "FONTEFAT:S10", "DTULTMOV:@*", "QTMESTOP:F*", "QTMESBOTTOM:F*", "ROWNUMTOP:F*",
                               "ROWNUMBOTTOM:F*"};
const QStringList kComparacoesFields{"DTREFERENCIA:@*", "CDAREAGERE:S5", "VRFATLIQGER:F*", "CONSUMO:F*", "MDO:F*",
                                     "DESPESAS:F*", "RESULTADO:F*", "VRFATLIQ:F*", "VRRESULT:F*", "METAFAT:F*",
                                     "METARES:F*", "VRFATDIA:F*"};

// Worked out by hand from kBranches (all figures of March 2024):
// NE: revenue 7,100,000, consumption 2,620,000 (36.9 %), labour 2,940,000 (41.4 %), expenses
//     1,065,000 (15.0 %), result 475,000 (6.7 %), cost 6,625,000.
// SUL: revenue 8,200,000, consumption 3,270,000 (39.9 %), labour 3,560,000 (43.4 %), expenses
//      1,114,000 (13.6 %), result 256,000 (3.1 %), cost 7,944,000.
// CO: no revenue, expenses 50,000: no percentages.
// TOTAL: revenue 15,300,000, consumption 5,890,000 (38.5 %), labour 6,500,000 (42.5 %), expenses
//        2,229,000 (14.6 %), result 681,000 (4.5 %).
const QStringList kIndicadores{
    "TOTAL|12|15.3|38.5|42.5|14.6|4.5|02/04/2024",
    "CO|1|0|null|null|null|null|02/04/2024",
    "NE|6|7.1|36.9|41.4|15|6.7|02/04/2024",
    "SUL|5|8.2|39.9|43.4|13.6|3.1|02/04/2024",
};
const QStringList kTop10{
    "NE|Filial 06|35|1", "NE|Filial 01|10|2", "SUL|" + kNine + "|8|3", "SUL|Filial 08|6.7|4",
    "NE|Filial 03|5|5", "NE|Filial 04|5|6", "SUL|Filial 11|3.1|7", "SUL|Filial 07|1|8",
    "NE|Filial 05|-1.7|9", "NE|Filial 02|-3|10",
};
const QStringList kBottom10{
    "SUL|Filial 10|-5.1|1", "NE|Filial 02|-3|2", "NE|Filial 05|-1.7|3", "SUL|Filial 07|1|4",
    "SUL|Filial 11|3.1|5", "NE|Filial 03|5|6", "NE|Filial 04|5|7", "SUL|Filial 08|6.7|8",
    "SUL|" + kNine + "|8|9", "NE|Filial 01|10|10",
};
// Millions, 2 decimals: NE cost 6.625 → 6.63, NE result 0.475 → 0.48.
const QStringList kPizza{"CO|0|0.05|-0.05", "NE|7.1|6.63|0.48", "SUL|8.2|7.94|0.26"};
const QStringList kEstoque{
    "SUL|1|Filial 11|77.5", "NE|2|Filial 04|62", "SUL|3|" + kNine + "|62", "NE|4|Filial 02|31",
    "SUL|5|Filial 07|31",   "NE|6|Filial 01|15.5", "NE|7|Filial 03|15.5", "SUL|8|Filial 10|15.5",
    "SUL|9|Filial 08|9.4",
};

kpd::rpc::InvokeRequest ckpRequest(const kpd::rpc::Variant& date, int argCount = 8)
{
    kpd::rpc::InvokeRequest request;
    request.set_server_name(kModule);
    request.set_method("getCkpData");
    for (int i = 0; i < argCount; ++i)
        *request.add_args() = i == 0 ? date : kpd::rpc::Variant();
    return request;
}

kpd::rpc::Variant dateTime(double value)
{
    kpd::rpc::Variant v;
    v.set_datetime_value(value);
    return v;
}

} // namespace

class TestGetCkpData : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void shouldAnswerEveryPacketOfTheMonth();
    void shouldCarryTheYearOfHistory();
    void shouldAcceptTheDateAsPlainDouble();
    void shouldAnswerARegionOrSayItDoesNotExist();
    void shouldGiveEmptyPacketsWithFieldsForMonthWithoutFigures();
    void shouldRefuseBadCallsWithStatus_data();
    void shouldRefuseBadCallsWithStatus();
    void shouldAnswerConcurrentCallsAlike();
    void shouldReportDatabaseFailureInResult();
    void shouldRefuseMissingDatabaseFile();
    void shouldServeOverTls();
    void shouldRequireAClientCertificateFromItsAuthority_data();
    void shouldRequireAClientCertificateFromItsAuthority();
    void shouldRefuseAnUnsafeStart_data();
    void shouldRefuseAnUnsafeStart();
    void shouldLogForgedNamesEscaped_data();
    void shouldLogForgedNamesEscaped();
    void shouldStopOnSigint();
    void shouldLogEachCallAndStopOnSigterm();

private:
    grpc::Status invoke(const kpd::rpc::InvokeRequest& request, kpd::rpc::InvokeReply& reply,
                        const QString& address = {});

    const TestCertificates& certificates();

    QTemporaryDir m_dir;
    QString m_dbPath;
    std::optional<TestCertificates> m_certificates;
    ServerProcess m_server;
    std::shared_ptr<grpc::Channel> m_channel;
};

grpc::Status TestGetCkpData::invoke(const kpd::rpc::InvokeRequest& request, kpd::rpc::InvokeReply& reply,
                                    const QString& address)
{
    auto channel = address.isEmpty() ? m_channel
                                     : grpc::CreateChannel(address.toStdString(), grpc::InsecureChannelCredentials());
    auto stub = kpd::rpc::RemoteDataModule::NewStub(channel);
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(20));
    return stub->Invoke(&context, request, &reply);
}

void TestGetCkpData::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_dbPath = m_dir.filePath(QStringLiteral("figures.db"));
    buildDatabase(m_dbPath);
    QString error;
    QVERIFY2(m_server.start({"--db", m_dbPath}, &error), qPrintable(error));
    m_channel = grpc::CreateChannel(m_server.address().toStdString(), grpc::InsecureChannelCredentials());
}

void TestGetCkpData::shouldAnswerEveryPacketOfTheMonth()
{
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = invoke(ckpRequest(dateTime(kMarch15)), reply);
    QVERIFY2(status.ok(), status.error_message().c_str());
    QCOMPARE(reply.result().kind_case(), kpd::rpc::Variant::kIntValue);
    QCOMPARE(reply.result().int_value(), 0);
    QCOMPARE(reply.args_size(), 8);
    QCOMPARE(reply.args(0).kind_case(), kpd::rpc::Variant::kDatetimeValue);
    QCOMPARE(reply.args(0).datetime_value(), kMarch1);
    for (int i = 1; i < 8; ++i)
        QVERIFY2(reply.args(i).has_packet_value(), qPrintable(QString::number(i)));

    QCOMPARE(fieldsOf(reply.args(1).packet_value()), kIndicadoresFields);
    QCOMPARE(rowsOf(reply.args(1).packet_value()), kIndicadores);
    QCOMPARE(fieldsOf(reply.args(2).packet_value()), kRankingFields);
    QCOMPARE(rowsOf(reply.args(2).packet_value()), kTop10);
    QCOMPARE(fieldsOf(reply.args(3).packet_value()), kRankingFields);
    QCOMPARE(rowsOf(reply.args(3).packet_value()), kBottom10);
    QCOMPARE(fieldsOf(reply.args(4).packet_value()), kPizzaFields);
    QCOMPARE(rowsOf(reply.args(4).packet_value()), kPizza);
    // No targets set, only the last day with figures, and the listed branches with the months they were
    // listed in: February had branch 1 alone, top and bottom of its lists.
    QCOMPARE(fieldsOf(reply.args(5).packet_value()), kMetasFields);
    QStringList metas{QStringLiteral("TOTAL|null|null|null|null|null|null|@%1|null|null|null|null").arg(kMarch1 + 30, 0, 'g', 15)};
    for (const char* listed : {"6|1|0|1|null", "1|2|2|2|10", "9|1|1|3|9", "8|1|1|4|8", "3|1|1|5|6", "4|1|1|6|7", "11|1|1|7|5",
                               "7|1|1|8|4", "5|1|1|9|3", "2|1|1|10|2", "10|0|1|null|1"}) {
        const QStringList f = QString::fromLatin1(listed).split(QLatin1Char('|'));
        metas << QStringLiteral("#%1|null|null|null|null|null|null|null|%2|%3|%4|%5").arg(f[0], f[1], f[2], f[3], f[4]);
    }
    QCOMPARE(rowsOf(reply.args(5).packet_value()), metas);
    QCOMPARE(fieldsOf(reply.args(6).packet_value()), kComparacoesFields);
    QCOMPARE(fieldsOf(reply.args(7).packet_value()), kEstoqueFields);
    QCOMPARE(rowsOf(reply.args(7).packet_value()), kEstoque);
}

namespace {

// The year of history worked out by hand. Eleven branches (1–6 NE, 7–11 SUL), each month 100,000 of revenue,
// 30,000 of labour, 10,000 of expenses and a result of its share × 1,000 (branch b: b %; branch 1: 50 % in
// the months below, else 1 %). March 2024 is asked, partial up to the 15th; August 2023 has no figures.
const QList<QDate> kBranchOneOnTop{{2023, 3, 1}, {2023, 4, 1}, {2023, 5, 1}, {2023, 6, 1}, {2023, 7, 1},
                                   {2023, 9, 1}, {2023, 10, 1}, {2024, 3, 1}};

void buildYear(const QString& path)
{
    Database db(DatabaseSettings::sqliteFile(path, false));
    Schema::create(db);
    db.beginTransaction();
    exec(db, "INSERT INTO regional VALUES (?, ?)", {"NE", "Nordeste"});
    exec(db, "INSERT INTO regional VALUES (?, ?)", {"SUL", "Sul"});
    const QString daily = QStringLiteral("INSERT INTO movimento_diario VALUES (?, ?, ?, ?, ?, ?)");
    const auto day = [&](int branch, const QDate& d, double revenue, double consumption, double labour, double expenses) {
        exec(db, daily, {branch, d.toString(Qt::ISODate), revenue, consumption, labour, expenses});
    };
    for (int b = 1; b <= 11; ++b)
        exec(db, "INSERT INTO filial VALUES (?, ?, ?)", {b, QStringLiteral("Filial %1").arg(b), b <= 6 ? "NE" : "SUL"});
    day(1, QDate(2023, 2, 28), 100000, 10000, 30000, 10000);   // before the year: left out
    for (QDate month(2023, 3, 1); month <= QDate(2024, 4, 1); month = month.addMonths(1)) {
        if (month == QDate(2023, 8, 1))
            continue;
        for (int b = 1; b <= 11; ++b) {
            const int share = b > 1 ? b : kBranchOneOnTop.contains(month) ? 50 : 1;
            const double consumption = 60000 - share * 1000;
            if (month == QDate(2023, 3, 1) && b == 7) {
                // Every day of March 2023 has figures: 1,000 of revenue a day, no costs.
                for (int d = 1; d <= 31; ++d)
                    day(7, month.addDays(d - 1), 1000, 0, 0, 0);
            } else if (b == 1 && month >= QDate(2024, 3, 1)) {
                // The months under way: split over the 1st and the last day with figures.
                const int last = month.month() == 3 ? 15 : 10;
                day(1, month, 50000, consumption / 2, 15000, 5000);
                day(1, month.addDays(last - 1), 50000, consumption / 2, 15000, 5000);
            } else {
                day(b, month, 100000, consumption, 30000, 10000);
            }
        }
    }
    // Targets of some months only: the company's own in March 2024, the SUL's in December, NE's branches'
    // budgets (added up) in January, where the SUL's branches have none.
    exec(db, "INSERT INTO meta_mensal VALUES ('2024-03-01', 'TOTAL', 'faturamento', 1200000)", {});
    exec(db, "INSERT INTO meta_mensal VALUES ('2024-03-01', 'TOTAL', 'resultado', 8)", {});
    exec(db, "INSERT INTO meta_mensal VALUES ('2023-12-01', 'SUL', 'faturamento', 600000)", {});
    exec(db, "INSERT INTO meta_mensal VALUES ('2023-12-01', 'SUL', 'resultado', 4)", {});
    for (int b = 1; b <= 6; ++b)
        exec(db, "INSERT INTO meta_mensal VALUES ('2024-01-01', ?, 'faturamento', 90000)", {QStringLiteral("#%1").arg(b)});
    db.commit();
}

// A Comparacoes row as "month scope VRFATLIQ|VRRESULT|METAFAT|METARES|VRFATDIA".
QStringList historyOf(const kpd::rpc::DataPacket& p)
{
    QStringList out;
    for (const QString& row : rowsOf(p)) {
        const QStringList c = row.split(QLatin1Char('|'));
        const QDate month = QDate(1899, 12, 30).addDays(qint64(c[0].mid(1).toDouble()));
        out << month.toString(QStringLiteral("yyyy-MM ")) + c[1] + QLatin1Char(' ') + c.mid(7).join(QLatin1Char('|'));
    }
    return out;
}

} // namespace

// Thirteen months of history in Comparacoes and the listed branches' year in Metas, from the summaries and
// from the daily rows alike.
void TestGetCkpData::shouldCarryTheYearOfHistory()
{
    const QString path = m_dir.filePath(QStringLiteral("year.db"));
    buildYear(path);
    // Results: NE 50+2+…+6 = 70 (‰ of 1,000,000 → 0.07 M) with branch 1 on top, 1+2+…+6 = 21 without; SUL
    // 7+…+11 = 45. March 2023: NE 0.6 M; SUL 4 × 100,000 + 31 × 1,000 = 431,000 with a result of 8+…+11 =
    // 38 thousand plus branch 7's 31 thousand; its first 15 days: NE 0.6, SUL 0.4 + 0.015.
    QStringList march{"2023-03 TOTAL 1.031|0.139|null|null|1.015", "2023-03 NE 0.6|0.07|null|null|0.6",
                      "2023-03 SUL 0.431|0.069|null|null|0.415"};
    for (QDate month(2023, 4, 1); month <= QDate(2024, 3, 1); month = month.addMonths(1)) {
        if (month == QDate(2023, 8, 1))
            continue;
        const bool top = kBranchOneOnTop.contains(month);
        const QString m = month.toString(QStringLiteral("yyyy-MM "));
        march << m + (top ? "TOTAL 1.1|0.115|" : "TOTAL 1.1|0.066|")
                         + (month == QDate(2024, 3, 1) ? "1.2|8|null" : "null|null|null")
              << m + (top ? "NE 0.6|0.07|" : "NE 0.6|0.021|") + (month == QDate(2024, 1, 1) ? "0.54|null|null" : "null|null|null")
              << m + "SUL 0.5|0.045|" + (month == QDate(2023, 12, 1) ? "0.6|4|null" : "null|null|null");
    }
    // Branch 1 in the Top 10 in 7 of the 12 months (March 2023 is the 13th), in the Bottom 10 in the 4 others
    // with figures; branch 2 the other way round; 11 out of the Bottom 10 when branch 1 is not on top.
    QStringList metas{QStringLiteral("TOTAL|1.2|null|null|null|8|null|@%1|null|null|null|null").arg(kMarch1 + 14, 0, 'g', 15)};
    // Then their places in this month's Top 10 and Bottom 10.
    for (const char* listed : {"1|7|4|1|null", "11|11|7|2|10", "10|11|11|3|9", "9|11|11|4|8", "8|11|11|5|7", "7|11|11|6|6",
                               "6|11|11|7|5", "5|11|11|8|4", "4|11|11|9|3", "3|11|11|10|2", "2|4|11|null|1"}) {
        const QStringList f = QString::fromLatin1(listed).split(QLatin1Char('|'));
        metas << QStringLiteral("#%1|null|null|null|null|null|null|null|%2|%3|%4|%5").arg(f[0], f[1], f[2], f[3], f[4]);
    }
    for (const QStringList& options : {QStringList{}, QStringList{"--no-summary"}}) {
        ServerProcess server;
        QString error;
        QVERIFY2(server.start(QStringList{"--db", path} + options, &error), qPrintable(error));
        kpd::rpc::InvokeReply reply;
        QVERIFY(invoke(ckpRequest(dateTime(kMarch15)), reply, server.address()).ok());
        QCOMPARE(historyOf(reply.args(6).packet_value()), march);
        QCOMPARE(rowsOf(reply.args(6).packet_value()).constLast(), QStringLiteral("@%1|SUL|0.5|51|30|10|9|0.5|0.045|null|null|null")
                                                                      .arg(kMarch1, 0, 'g', 15));
        QCOMPARE(rowsOf(reply.args(5).packet_value()), metas);
        // April 2024 is partial too, but April 2023 has figures on its first day only: no pace to follow.
        QVERIFY(invoke(ckpRequest(dateTime(kMarch1 + 31 + 9)), reply, server.address()).ok());
        const QStringList april = historyOf(reply.args(6).packet_value());
        QCOMPARE(april.size(), 36);
        QCOMPARE(april.first(), QStringLiteral("2023-04 TOTAL 1.1|0.115|null|null|null"));
    }
}

// A region's branches with the targets as a fifth argument; a client from before them gets its four back;
// a region the database does not have is the method's failure, with its message, not an empty success.
void TestGetCkpData::shouldAnswerARegionOrSayItDoesNotExist()
{
    const auto request = [](const char* region, int args) {
        kpd::rpc::InvokeRequest r = ckpRequest(dateTime(kMarch1), args);
        r.set_method("getRegionData");
        r.mutable_args(1)->set_text_value(region);
        return r;
    };
    const QString known = QString::fromUtf8(kBranches[0].region);
    for (int args : {5, 4}) {
        kpd::rpc::InvokeReply reply;
        QVERIFY(invoke(request(known.toUtf8().constData(), args), reply).ok());
        QCOMPARE(reply.result().int_value(), 0);
        QCOMPARE(reply.args_size(), args);
    }
    kpd::rpc::InvokeReply reply;
    QVERIFY(invoke(request("ZZ", 5), reply).ok());
    QCOMPARE(QString::fromStdString(reply.result().text_value()), QStringLiteral("A regional \"ZZ\" não existe."));
}

void TestGetCkpData::shouldAcceptTheDateAsPlainDouble()
{
    kpd::rpc::Variant date;
    date.set_double_value(kMarch1 + 30.99);   // 31 March, late evening
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = invoke(ckpRequest(date), reply);
    QVERIFY2(status.ok(), status.error_message().c_str());
    QCOMPARE(reply.args(0).datetime_value(), kMarch1);
    QCOMPARE(rowsOf(reply.args(1).packet_value()), kIndicadores);
}

void TestGetCkpData::shouldGiveEmptyPacketsWithFieldsForMonthWithoutFigures()
{
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = invoke(ckpRequest(dateTime(kJune1of2023 + 9.25)), reply);
    QVERIFY2(status.ok(), status.error_message().c_str());
    QCOMPARE(reply.result().int_value(), 0);
    QCOMPARE(reply.args(0).datetime_value(), kJune1of2023);
    const QList<QStringList> fields{kIndicadoresFields, kRankingFields, kRankingFields, kPizzaFields, kMetasFields,
                                    kComparacoesFields, kEstoqueFields};
    for (int i = 1; i < 8; ++i) {
        QVERIFY(reply.args(i).has_packet_value());
        QCOMPARE(reply.args(i).packet_value().rows_size(), 0);
        QCOMPARE(fieldsOf(reply.args(i).packet_value()), fields[i - 1]);
    }
}

void TestGetCkpData::shouldRefuseBadCallsWithStatus_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("argCount");
    QTest::addColumn<int>("dateKind");   // 0 null, 1 text, 2 NaN, 3 far beyond year 9999, 4 packet
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("mentions");

    const int notFound = int(grpc::StatusCode::NOT_FOUND);
    const int invalid = int(grpc::StatusCode::INVALID_ARGUMENT);
    QTest::newRow("unknown module") << "KPD00100.rdmOutro" << "getCkpData" << 8 << -1 << notFound << "rdmOutro";
    QTest::newRow("unknown method") << kModule << "getOutraCoisa" << 8 << -1 << notFound << "getOutraCoisa";
    QTest::newRow("too few arguments") << kModule << "getCkpData" << 7 << -1 << invalid << "8 argumentos";
    QTest::newRow("no arguments") << kModule << "getCkpData" << 0 << -1 << invalid << "8 argumentos";
    QTest::newRow("date missing") << kModule << "getCkpData" << 8 << 0 << invalid << "data de referência";
    QTest::newRow("date as text") << kModule << "getCkpData" << 8 << 1 << invalid << "texto";
    QTest::newRow("date not a number") << kModule << "getCkpData" << 8 << 2 << invalid << "não é uma data válida";
    QTest::newRow("date out of range") << kModule << "getCkpData" << 8 << 3 << invalid << "não é uma data válida";
    QTest::newRow("date as packet") << kModule << "getCkpData" << 8 << 4 << invalid << "pacote";
}

void TestGetCkpData::shouldRefuseBadCallsWithStatus()
{
    QFETCH(QString, module);
    QFETCH(QString, method);
    QFETCH(int, argCount);
    QFETCH(int, dateKind);
    QFETCH(int, code);
    QFETCH(QString, mentions);

    kpd::rpc::Variant date = dateTime(kMarch15);
    switch (dateKind) {
    case 0: date.Clear(); break;
    case 1: date.set_text_value("15/03/2024"); break;
    case 2: date.set_datetime_value(std::numeric_limits<double>::quiet_NaN()); break;
    case 3: date.set_datetime_value(1e12); break;
    case 4: date.mutable_packet_value(); break;
    default: break;
    }
    kpd::rpc::InvokeRequest request = ckpRequest(date, argCount);
    request.set_server_name(module.toStdString());
    request.set_method(method.toStdString());
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = invoke(request, reply);
    QCOMPARE(int(status.error_code()), code);
    const QString message = QString::fromStdString(status.error_message());
    QVERIFY2(message.contains(mentions), qPrintable(message));

    // The server lives on and still answers a sound call.
    kpd::rpc::InvokeReply good;
    QVERIFY(invoke(ckpRequest(dateTime(kMarch15)), good).ok());
    QCOMPARE(rowsOf(good.args(1).packet_value()), kIndicadores);
}

void TestGetCkpData::shouldAnswerConcurrentCallsAlike()
{
    // Handlers run on several server threads, each with its own connection.
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 6; ++t) {
        clients.emplace_back([&, t] {
            auto stub = kpd::rpc::RemoteDataModule::NewStub(m_channel);
            for (int i = 0; i < 8; ++i) {
                const bool march = (t + i) % 2 == 0;
                grpc::ClientContext context;
                context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(30));
                kpd::rpc::InvokeReply reply;
                const auto status = stub->Invoke(&context, ckpRequest(dateTime(march ? kMarch15 : kJune1of2023)), &reply);
                const QStringList expected = march ? kIndicadores : QStringList{};
                if (!status.ok() || reply.args_size() != 8 || rowsOf(reply.args(1).packet_value()) != expected
                    || (march && rowsOf(reply.args(7).packet_value()) != kEstoque))
                    ++wrong;
            }
        });
    }
    for (auto& c : clients)
        c.join();
    QCOMPARE(wrong.load(), 0);
}

void TestGetCkpData::shouldReportDatabaseFailureInResult()
{
    const QString path = m_dir.filePath(QStringLiteral("broken.db"));
    QVERIFY(QFile::copy(m_dbPath, path));
    ServerProcess server;
    QString error;
    QVERIFY2(server.start({"--db", path}, &error), qPrintable(error));
    {
        Database db(DatabaseSettings::sqliteFile(path, false));
        db.execDirect(QStringLiteral("DROP TABLE carga_etl"));
    }
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = invoke(ckpRequest(dateTime(kMarch15)), reply, server.address());
    QVERIFY2(status.ok(), status.error_message().c_str());
    QCOMPARE(reply.result().kind_case(), kpd::rpc::Variant::kTextValue);
    const QString message = QString::fromStdString(reply.result().text_value());
    // In words a manager can act on; what failed, for support, in the log only.
    QCOMPARE(message, QStringLiteral("O servidor não conseguiu ler os números do banco de dados; avise o suporte."));
    QTRY_VERIFY(server.log().contains(QStringLiteral("FALHA: ")));
    QVERIFY2(server.log().contains(QStringLiteral("carga_etl")), qPrintable(server.log()));

    // Still alive: a month it can no longer compute fails the same way, not by a crash.
    kpd::rpc::InvokeReply again;
    QVERIFY(invoke(ckpRequest(dateTime(kMarch15)), again, server.address()).ok());
    QCOMPARE(again.result().kind_case(), kpd::rpc::Variant::kTextValue);
    QVERIFY(server.stop());
}

void TestGetCkpData::shouldRefuseMissingDatabaseFile()
{
    const QString missing = m_dir.filePath(QStringLiteral("nao-existe.db"));
    QProcess p;
    p.start(QStringLiteral(KPD_APPSERVER_BIN), {"--db", missing, "--listen", "127.0.0.1:0"});
    QVERIFY(p.waitForFinished(15000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("não existe")));
    QVERIFY(!QFile::exists(missing));   // nothing created behind the user's back
}

void TestGetCkpData::shouldServeOverTls()
{
    const QString cert = m_dir.filePath(QStringLiteral("cert.pem"));
    const QString key = m_dir.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                              "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1",
                                              "-keyout", key, "-out", cert});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        QSKIP("openssl is not available to make a test certificate");

    ServerProcess server;
    QString error;
    QVERIFY2(server.start({"--db", m_dbPath, "--tls-cert", cert, "--tls-key", key}, &error), qPrintable(error));
    QFile certFile(cert);
    QVERIFY(certFile.open(QIODevice::ReadOnly));
    grpc::SslCredentialsOptions ssl;
    ssl.pem_root_certs = certFile.readAll().toStdString();
    auto stub = kpd::rpc::RemoteDataModule::NewStub(
        grpc::CreateChannel(server.address().toStdString(), grpc::SslCredentials(ssl)));
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(20));
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = stub->Invoke(&context, ckpRequest(dateTime(kMarch15)), &reply);
    QVERIFY2(status.ok(), status.error_message().c_str());
    QCOMPARE(rowsOf(reply.args(1).packet_value()), kIndicadores);

    // A plain-text client gets no answer from a TLS server.
    kpd::rpc::InvokeReply plain;
    QVERIFY(!invoke(ckpRequest(dateTime(kMarch15)), plain, server.address()).ok());
    QVERIFY(server.stop());
}

const TestCertificates& TestGetCkpData::certificates()
{
    if (!m_certificates) {
        const QString dir = m_dir.filePath(QStringLiteral("certs"));
        QDir().mkpath(dir);
        TestCertificates made;
        QString error;
        if (!made.create(dir, &error))
            qFatal("%s", qPrintable(error));
        m_certificates = made;
    }
    return *m_certificates;
}

void TestGetCkpData::shouldRequireAClientCertificateFromItsAuthority_data()
{
    QTest::addColumn<int>("client");   // 0 none, 1 signed by the server's authority, 2 by another one
    QTest::addColumn<bool>("served");
    QTest::newRow("certificate from the authority") << 1 << true;
    QTest::newRow("no certificate") << 0 << false;
    QTest::newRow("certificate from another authority") << 2 << false;
}

void TestGetCkpData::shouldRequireAClientCertificateFromItsAuthority()
{
    QFETCH(int, client);
    QFETCH(bool, served);
    const TestCertificates& c = certificates();
    ServerProcess server;
    QString error;
    QVERIFY2(server.start({"--db", m_dbPath, "--tls-cert", c.serverCert, "--tls-key", c.serverKey, "--tls-client-ca", c.ca},
                          &error),
             qPrintable(error));
    grpc::SslCredentialsOptions ssl;
    ssl.pem_root_certs = TestCertificates::read(c.ca);
    if (client > 0) {
        ssl.pem_cert_chain = TestCertificates::read(client == 1 ? c.clientCert : c.otherClientCert);
        ssl.pem_private_key = TestCertificates::read(client == 1 ? c.clientKey : c.otherClientKey);
    }
    auto stub = kpd::rpc::RemoteDataModule::NewStub(
        grpc::CreateChannel(server.address().toStdString(), grpc::SslCredentials(ssl)));
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(5));
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = stub->Invoke(&context, ckpRequest(dateTime(kMarch15)), &reply);
    QCOMPARE(status.ok(), served);
    if (served)
        QCOMPARE(rowsOf(reply.args(1).packet_value()), kIndicadores);
    QVERIFY(server.stop());
}

void TestGetCkpData::shouldRefuseAnUnsafeStart_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");   // -1: starts, and says so
    QTest::addColumn<QString>("mentions");

    const TestCertificates& c = certificates();
    const QString empty = m_dir.filePath(QStringLiteral("empty.pem"));
    QFile(empty).open(QIODevice::WriteOnly);
    const QString missing = m_dir.filePath(QStringLiteral("missing.key"));
    const QStringList tls{"--tls-cert", c.serverCert, "--tls-key", c.serverKey};
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "Opção desconhecida: --bogus";
    QTest::newRow("month not AAAA-MM") << QStringList{"--end-month", "2024-13"} << 2 << "Mês inválido em --end-month";
    QTest::newRow("plain text on the network") << QStringList{"--listen", "0.0.0.0:0"} << 2 << "--insecure-listen";
    QTest::newRow("plain text on a closed network") << QStringList{"--listen", "0.0.0.0:0", "--insecure-listen"} << -1
                                                    << "AVISO: sem TLS";
    QTest::newRow("empty client authority") << tls + QStringList{"--tls-client-ca", empty} << 1 << "está vazio";
    QTest::newRow("unreadable key") << QStringList{"--tls-cert", c.serverCert, "--tls-key", missing} << 1
                                    << "Não foi possível ler";
    QTest::newRow("client authority without TLS") << QStringList{"--tls-client-ca", c.ca} << 2 << "--tls-cert";
    // Started, it would say SERVING and no client could ever finish a handshake: on both faces.
    const QString wrongKey = QStringLiteral("A chave \"%1\" (--tls-key) não corresponde ao certificado \"%2\"")
                                 .arg(c.otherClientKey, c.serverCert);
    QTest::newRow("key of another certificate") << QStringList{"--tls-cert", c.serverCert, "--tls-key", c.otherClientKey}
                                                << 2 << wrongKey;
    QTest::newRow("key of another certificate, browser face too")
        << QStringList{"--tls-cert", c.serverCert, "--tls-key", c.otherClientKey, "--http", "127.0.0.1:0"} << 2 << wrongKey;
    QTest::newRow("password in a malformed URI") << QStringList{"--db", "postgresql://kpd:segredo@[db/kpd"} << 1
                                                 << "inválido";
    QTest::newRow("password after one slash") << QStringList{"--db", "postgresql:/kpd:segredo@db/kpd"} << 1 << "inválido";
    QTest::newRow("password parameter in a malformed URI")
        << QStringList{"--db", "postgresql://kpd@[db/kpd?password=segredo"} << 1 << "inválido";
}

void TestGetCkpData::shouldRefuseAnUnsafeStart()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, mentions);
    if (!args.contains(QStringLiteral("--db")))
        args << "--db" << m_dbPath;
    if (!args.contains(QStringLiteral("--listen")))
        args << "--listen" << "127.0.0.1:0";
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(KPD_APPSERVER_BIN), args);
    QString output;
    if (exitCode < 0) {
        QTRY_VERIFY2((output += QString::fromUtf8(p.readAll())).contains(mentions), qPrintable(output));
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        return;
    }
    QVERIFY(p.waitForFinished(15000));
    output = QString::fromUtf8(p.readAll());
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY2(output.contains(mentions), qPrintable(output));
    QVERIFY2(!output.contains(QStringLiteral("segredo")), qPrintable(output));
}

void TestGetCkpData::shouldLogForgedNamesEscaped_data()
{
    QTest::addColumn<QByteArray>("module");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("logged");
    QTest::newRow("forged log line") << QByteArray("KPD00100.rdmOutro\r\n2024-03-01 10:00:00.000 "
                                                   "KPD00100.rdmIndicResult getCkpData ref=2024-03-15 1 ms OK")
                                     << QByteArray("getCkpData") << "KPD00100.rdmOutro\\r\\n2024-03-01";
    QTest::newRow("terminal escape") << QByteArray(kModule) << QByteArray("get\x1b[2JCkpData\xe2\x80\xae")
                                     << "get\\x1b[2JCkpData\\u{202e}";
    QTest::newRow("name of megabytes") << QByteArray(4000000, 'A') << QByteArray("getCkpData")
                                       << QString(100, QLatin1Char('A')) + QStringLiteral("… getCkpData");
}

void TestGetCkpData::shouldLogForgedNamesEscaped()
{
    QFETCH(QByteArray, module);
    QFETCH(QByteArray, method);
    QFETCH(QString, logged);
    const qsizetype before = m_server.log().size();
    kpd::rpc::InvokeRequest request = ckpRequest(dateTime(kMarch15));
    request.set_server_name(module.toStdString());
    request.set_method(method.toStdString());
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = invoke(request, reply);
    QCOMPARE(status.error_code(), grpc::StatusCode::NOT_FOUND);
    const QString message = QString::fromStdString(status.error_message());
    QVERIFY2(message.size() < 300, qPrintable(message.left(300)));
    QVERIFY2(!message.contains(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x{202e}]"))), qPrintable(message));

    QTRY_VERIFY(m_server.log().size() > before);
    const QString added = m_server.log().mid(before);
    QVERIFY2(added.contains(logged), qPrintable(added));
    // One line, under a sane length, starting as every call's line does.
    QCOMPARE(added.count(QLatin1Char('\n')), 1);
    QVERIFY2(added.size() < 600, qPrintable(added.left(600)));
    QVERIFY2(added.contains(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} .* ref=- \\d+\\.\\d\\d ms NOT_FOUND: [^\\n]*\\n$"))),
             qPrintable(added));
}

void TestGetCkpData::shouldStopOnSigint()
{
    ServerProcess server;
    QString error;
    QVERIFY2(server.start({"--db", m_dbPath}, &error), qPrintable(error));
    kpd::rpc::InvokeReply reply;
    QVERIFY(invoke(ckpRequest(dateTime(kMarch15)), reply, server.address()).ok());
    ::kill(pid_t(server.process().processId()), SIGINT);
    QVERIFY(server.process().waitForFinished(10000));
    QCOMPARE(server.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.process().exitCode(), 0);
    QVERIFY(server.log().contains(QStringLiteral("encerrado")));
}

void TestGetCkpData::shouldLogEachCallAndStopOnSigterm()
{
    kpd::rpc::InvokeReply reply;
    QVERIFY(invoke(ckpRequest(dateTime(kMarch15)), reply).ok());
    kpd::rpc::InvokeRequest unknown = ckpRequest(dateTime(kMarch15));
    unknown.set_server_name("KPD00100.rdmOutro");
    QCOMPARE(invoke(unknown, reply).error_code(), grpc::StatusCode::NOT_FOUND);
    QCOMPARE(invoke(ckpRequest(dateTime(kMarch15), 3), reply).error_code(), grpc::StatusCode::INVALID_ARGUMENT);
    QVERIFY(m_server.stop());
    const QString log = m_server.log();
    QVERIFY2(log.contains(QRegularExpression(
                 QStringLiteral("KPD00100\\.rdmIndicResult getCkpData ref=2024-03-15 \\d+\\.\\d\\d ms OK\n"))),
             qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("KPD00100.rdmOutro getCkpData ref=- ")));
    QVERIFY(log.contains(QStringLiteral(" ms NOT_FOUND: ")));
    QVERIFY(log.contains(QStringLiteral(" ms INVALID_ARGUMENT: ")));
    QVERIFY(log.contains(QStringLiteral("encerrado")));
}

QTEST_GUILESS_MAIN(TestGetCkpData)
#include "tst_getckpdata.moc"
