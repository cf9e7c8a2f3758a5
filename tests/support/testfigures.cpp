#include "testfigures.h"

#include "ckppackets.h"
#include "daycount.h"

#include <QFile>
#include <QTextStream>

namespace testfigures {

namespace {

bool writeFile(const QString& path, const QString& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(text.toUtf8());
    return true;
}

QString money(qint64 cents)
{
    return QStringLiteral("%1%2.%3")
        .arg(cents < 0 ? QStringLiteral("-") : QString())
        .arg(qAbs(cents) / 100)
        .arg(qAbs(cents) % 100, 2, 10, QLatin1Char('0'));
}

} // namespace

bool write(const QString& dir)
{
    QString regional = QStringLiteral("cdareagere,nmareagere\nSUL,Sul\nNE,Nordeste\nCO,Centro-Oeste\nXX,Sem movimento\n");
    QString filial = QStringLiteral("cdfilial,nmfilial,cdareagere\n");
    const char* regionOf[] = {"", "NE", "NE", "NE", "NE", "NE", "NE", "SUL", "SUL", "SUL", "SUL", "SUL", "CO", "XX"};
    for (int b = 1; b <= 13; ++b)
        filial += QStringLiteral("%1,\"Filial %2, %3\",%3\n").arg(b).arg(b, 2, 10, QLatin1Char('0')).arg(QLatin1String(regionOf[b]));

    QString daily = QStringLiteral("dtmovimento,cdfilial,vrfatliq,vrconsumo,vrmdo,vrdespesas\n");
    QString stock = QStringLiteral("cdfilial,mes,vrestoque\n");
    for (const QDate month : {QDate(2024, 1, 1), QDate(2024, 3, 1), QDate(2024, 4, 1)}) {
        for (int b = 1; b <= 12; ++b) {
            if (month.month() == 4 && b % 3 == 2)
                continue;   // April: some branches only
            qint64 monthConsumption = 0;
            for (int d = 1; d <= month.daysInMonth(); ++d) {
                const int seed = b == 4 ? 3 : b;   // branch 4 repeats branch 3: a tie in every list
                const qint64 revenue = b == 12 ? 0 : 100000 + (seed * 7919 + d * 104729 + month.month() * 1299709) % 250000;
                const int consPct = 30 + (seed * 13 + month.month() * 7) % 20;   // 30..49 %
                const int mdoPct = 35 + (seed * 11 + d) % 15;
                const int despPct = b == 10 ? 30 : 10 + seed % 8;                // branch 10 loses money
                const qint64 consumption = revenue * consPct / 100 + (d % 7);
                const qint64 labour = revenue * mdoPct / 100 + (d % 3);
                const qint64 expenses = b == 12 ? 150000 + d : revenue * despPct / 100;
                monthConsumption += consumption;
                daily += QStringLiteral("%1,%2,%3,%4,%5,%6\n")
                             .arg(month.addDays(d - 1).toString(Qt::ISODate))
                             .arg(b)
                             .arg(money(revenue), money(consumption), money(labour), money(expenses));
            }
            if (b % 4 != 1)
                stock += QStringLiteral("%1,%2,%3\n").arg(b).arg(month.toString(QStringLiteral("yyyy-MM")))
                             .arg(money(monthConsumption / month.daysInMonth() * (10 + (b * 17 + month.month()) % 50)));
        }
    }
    return writeFile(dir + QStringLiteral("/regional.csv"), regional) && writeFile(dir + QStringLiteral("/filial.csv"), filial)
           && writeFile(dir + QStringLiteral("/movimento_diario.csv"), daily)
           && writeFile(dir + QStringLiteral("/estoque_mensal.csv"), stock);
}

QList<QDate> months()
{
    return {QDate(2023, 12, 20), QDate(2024, 1, 15), QDate(2024, 2, 29), QDate(2024, 3, 31), QDate(2024, 4, 1),
            QDate(2024, 5, 10)};
}

kpd::rpc::InvokeRequest request(const QDate& day)
{
    kpd::rpc::InvokeRequest r;
    r.set_server_name("KPD00100.rdmIndicResult");
    r.set_method("getCkpData");
    r.add_args()->set_datetime_value(DayCount::fromDate(day));
    for (int i = 1; i < CkpPackets::kArgCount; ++i)
        r.add_args();
    return r;
}

QStringList dump(const kpd::rpc::InvokeReply& reply)
{
    QStringList out;
    const auto cell = [](const kpd::rpc::Variant& v) -> QString {
        switch (v.kind_case()) {
        case kpd::rpc::Variant::kDoubleValue: return QString::number(v.double_value(), 'g', 17);
        case kpd::rpc::Variant::kIntValue: return QString::number(v.int_value());
        case kpd::rpc::Variant::kTextValue: return QLatin1Char('"') + QString::fromStdString(v.text_value()) + QLatin1Char('"');
        case kpd::rpc::Variant::kDatetimeValue: return QStringLiteral("dt:%1").arg(v.datetime_value(), 0, 'g', 17);
        case kpd::rpc::Variant::kPacketValue: return QStringLiteral("<packet>");
        case kpd::rpc::Variant::kBoolValue: return v.bool_value() ? QStringLiteral("true") : QStringLiteral("false");
        case kpd::rpc::Variant::KIND_NOT_SET: break;
        }
        return QStringLiteral("null");
    };
    out << QStringLiteral("result ") + cell(reply.result());
    for (int i = 0; i < reply.args_size(); ++i) {
        const kpd::rpc::Variant& a = reply.args(i);
        if (!a.has_packet_value()) {
            out << QStringLiteral("arg%1 %2").arg(i).arg(cell(a));
            continue;
        }
        QStringList fields;
        for (const auto& f : a.packet_value().fields())
            fields << QStringLiteral("%1:%2:%3%4").arg(QString::fromStdString(f.name())).arg(int(f.type())).arg(f.size())
                          .arg(f.read_only() ? QStringLiteral("*") : QString());
        out << QStringLiteral("arg%1 fields %2").arg(i).arg(fields.join(QLatin1Char(',')));
        for (const auto& r : a.packet_value().rows()) {
            QStringList cells;
            for (const auto& v : r.values())
                cells << cell(v);
            out << QStringLiteral("arg%1 row %2").arg(i).arg(cells.join(QLatin1Char('|')));
        }
    }
    return out;
}

} // namespace testfigures
