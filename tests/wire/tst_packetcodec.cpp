#include "packetbuilder.h"
#include "packetcodec.h"
#include "tdatetime.h"
#include "variantdate.h"

#include <QPoint>
#include <QTest>
#include <cmath>

using kpd::rpc::Variant;

Q_DECLARE_METATYPE(Variant)

class TestPacketCodec : public QObject {
    Q_OBJECT
private slots:
    void shouldRoundTripEveryValueKind_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("null") << QVariant() << QVariant();
        QTest::newRow("bool") << QVariant(true) << QVariant(true);
        QTest::newRow("int") << QVariant(-42) << QVariant(qlonglong(-42));
        QTest::newRow("int64") << QVariant(qlonglong(1) << 60) << QVariant(qlonglong(1) << 60);
        QTest::newRow("double") << QVariant(12.34) << QVariant(12.34);
        QTest::newRow("text") << QVariant(QString::fromUtf8("Nº Dias ção")) << QVariant(QString::fromUtf8("Nº Dias ção"));
        const QDateTime midnight(QDate(2026, 3, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("date") << QVariant(midnight) << QVariant(midnight);
        QTest::newRow("qdate") << QVariant(QDate(2026, 3, 1)) << QVariant(midnight);
        const QDateTime local(QDate(2018, 11, 4), QTime(13, 45, 30, 250), Qt::LocalTime);
        QTest::newRow("wall clock")
            << QVariant(local) << QVariant(QDateTime(QDate(2018, 11, 4), QTime(13, 45, 30, 250), Qt::UTC));
        QTest::newRow("before epoch") << QVariant(QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC))
                                      << QVariant(QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC));
    }
    void shouldRoundTripEveryValueKind()
    {
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        Variant wire;
        PacketCodec::EncodeVariant(value, &wire);
        Variant parsed;
        QVERIFY(parsed.ParseFromString(wire.SerializeAsString()));
        const QVariant back = PacketCodec::DecodeVariant(parsed);
        QCOMPARE(back.typeId(), expected.typeId());
        QCOMPARE(back, expected);
    }

    void shouldSendWholeDaysExactly()
    {
        Variant wire;
        PacketCodec::EncodeVariant(VariantDate::FromDateTime(46082.0), &wire);
        QCOMPARE(wire.datetime_value(), 46082.0);
        TDateTime back = 0;
        QVERIFY(VariantDate::ToDateTime(PacketCodec::DecodeVariant(wire), &back));
        QCOMPARE(back, 46082.0);
    }

    // The dialog's date, the remote call's date and the wire all count the same way, on both sides of the
    // epoch: before it the day counts backwards and its fraction forwards.
    void shouldCountDaysAlikeEverywhere_data()
    {
        QTest::addColumn<QDateTime>("wallClock");
        QTest::addColumn<double>("days");
        QTest::newRow("after the epoch") << QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC) << 46082.5;
        QTest::newRow("day before") << QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC) << -1.25;
        QTest::newRow("days before") << QDateTime(QDate(1899, 12, 28), QTime(18, 0), Qt::UTC) << -2.75;
    }
    void shouldCountDaysAlikeEverywhere()
    {
        QFETCH(QDateTime, wallClock);
        QFETCH(double, days);
        QCOMPARE(DateTimeUtil::fromDateTime(wallClock), days);
        const QDateTime back = DateTimeUtil::toDateTime(days);
        QCOMPARE(back.date(), wallClock.date());
        QCOMPARE(back.time(), wallClock.time());

        TDateTime carried = 0;
        QVERIFY(VariantDate::ToDateTime(QVariant(wallClock), &carried));
        QCOMPARE(carried, days);
        QCOMPARE(VariantDate::ToQDateTime(days), wallClock);

        Variant wire;
        PacketCodec::EncodeVariant(QVariant(wallClock), &wire);
        QCOMPARE(wire.datetime_value(), days);
    }

    void shouldRoundTripPacket()
    {
        TDataPacket p;
        p.fields = {{"CDAREAGERE", TFieldType::ftString, 3, false},
                    {"RESULTADO", TFieldType::ftFloat, 0, true},
                    {"QTD", TFieldType::ftInteger, 0, false},
                    {"ATIVO", TFieldType::ftBoolean, 0, false},
                    {"DTCARGA", TFieldType::ftDateTime, 0, false}};
        p.rows = {{"SUL", 12.5, qlonglong(3), true, QDateTime(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC)},
                  {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()}};
        Variant wire;
        PacketCodec::EncodeVariant(QVariant::fromValue(p), &wire);
        const QVariant back = PacketCodec::DecodeVariant(wire);
        QCOMPARE(back.typeId(), qMetaTypeId<TDataPacket>());
        const TDataPacket q = back.value<TDataPacket>();
        QCOMPARE(q.fields.size(), p.fields.size());
        for (int i = 0; i < p.fields.size(); ++i) {
            QCOMPARE(q.fields[i].name, p.fields[i].name);
            QCOMPARE(q.fields[i].type, p.fields[i].type);
            QCOMPARE(q.fields[i].size, p.fields[i].size);
            QCOMPARE(q.fields[i].readOnly, p.fields[i].readOnly);
        }
        QCOMPARE(q.rows, p.rows);
    }

    void shouldRefuseMalformedPacket_data()
    {
        QTest::addColumn<Variant>("wire");
        QTest::addColumn<QString>("fragment");
        auto packet = [](std::initializer_list<std::pair<const char*, kpd::rpc::FieldType>> fields) {
            Variant v;
            for (const auto& [name, type] : fields) {
                auto* f = v.mutable_packet_value()->add_fields();
                f->set_name(name);
                f->set_type(type);
            }
            return v;
        };
        Variant shortRow = packet({{"A", kpd::rpc::FIELD_STRING}, {"B", kpd::rpc::FIELD_FLOAT}});
        shortRow.mutable_packet_value()->add_rows()->add_values()->set_text_value("x");
        QTest::newRow("short row") << shortRow << "a linha 1 do pacote tem 1 valores para 2 campos";

        Variant textInFloat = packet({{"B", kpd::rpc::FIELD_FLOAT}});
        textInFloat.mutable_packet_value()->add_rows()->add_values()->set_text_value("12");
        QTest::newRow("text in float") << textInFloat << "valor de tipo errado no campo 'B'";

        Variant floatInText = packet({{"A", kpd::rpc::FIELD_STRING}});
        floatInText.mutable_packet_value()->add_rows()->add_values()->set_double_value(1);
        QTest::newRow("float in text") << floatInText << "valor de tipo errado no campo 'A'";

        Variant nested = packet({{"A", kpd::rpc::FIELD_STRING}});
        nested.mutable_packet_value()->add_rows()->add_values()->mutable_packet_value();
        QTest::newRow("nested packet") << nested << "traz um pacote no campo 'A'";

        QTest::newRow("unnamed field") << packet({{"", kpd::rpc::FIELD_STRING}}) << "campo sem nome";
        QTest::newRow("repeated field") << packet({{"A", kpd::rpc::FIELD_STRING}, {"a", kpd::rpc::FIELD_FLOAT}})
                                        << "campo 'a' repetido";

        Variant negative = packet({{"A", kpd::rpc::FIELD_STRING}});
        negative.mutable_packet_value()->mutable_fields(0)->set_size(-1);
        QTest::newRow("negative size") << negative << "tamanho negativo";

        Variant nan;
        nan.set_datetime_value(std::nan(""));
        QTest::newRow("date NaN") << nan << "data fora do intervalo";
        Variant huge;
        huge.set_datetime_value(1e300);
        QTest::newRow("date huge") << huge << "data fora do intervalo";
        Variant badCell = packet({{"D", kpd::rpc::FIELD_DATETIME}});
        badCell.mutable_packet_value()->add_rows()->add_values()->set_datetime_value(-1e12);
        QTest::newRow("date cell out of range") << badCell << "data fora do intervalo";

        Variant nanCell = packet({{"A", kpd::rpc::FIELD_STRING}, {"B", kpd::rpc::FIELD_FLOAT}});
        auto* nanRow = nanCell.mutable_packet_value()->add_rows();
        nanRow->add_values()->set_text_value("x");
        nanRow->add_values()->set_double_value(std::nan(""));
        QTest::newRow("NaN figure") << nanCell << "número não finito (nan) na linha 1, campo 'B'";
        Variant inf;
        inf.set_double_value(-HUGE_VAL);
        QTest::newRow("infinite number") << inf << "número não finito (-inf)";
    }
    void shouldRefuseMalformedPacket()
    {
        QFETCH(Variant, wire);
        QFETCH(QString, fragment);
        try {
            PacketCodec::DecodeVariant(wire);
            QFAIL("malformed data was accepted");
        } catch (const WireError& e) {
            QVERIFY2(e.Message().contains(fragment), qPrintable(e.Message()));
            QVERIFY(e.Message().startsWith(QString::fromUtf8("O servidor de aplicação devolveu dados malformados")));
        }
    }

    void shouldKeepColumnsOfUnknownType()
    {
        Variant v;
        auto* f = v.mutable_packet_value()->add_fields();
        f->set_name("X");
        f->set_type(static_cast<kpd::rpc::FieldType>(99));
        v.mutable_packet_value()->add_rows()->add_values()->set_int_value(7);
        const TDataPacket p = PacketCodec::DecodeVariant(v).value<TDataPacket>();
        QCOMPARE(p.fields[0].type, TFieldType::ftUnknown);
        QCOMPARE(p.rows[0][0], QVariant(qlonglong(7)));
    }

    void shouldCutTextsToTheirFieldInCharacters()
    {
        const QString shop = QString::fromUtf8("\U0001F3EA"); // one character, two UTF-16 units
        PacketBuilder p({{"NOME", TFieldType::ftString, 3, false}});
        p.row().text(shop.repeated(4));
        QCOMPARE(QString::fromStdString(p.packet().rows(0).values(0).text_value()), shop.repeated(3));
    }

    void shouldRefuseValuesTheWireCannotCarry()
    {
        Variant wire;
        QVERIFY_THROWS_EXCEPTION(WireError, PacketCodec::EncodeVariant(QVariant(QPoint(1, 2)), &wire));
        QVERIFY_THROWS_EXCEPTION(WireError, PacketCodec::EncodeVariant(QVariant(QDateTime()), &wire));
    }
};

QTEST_GUILESS_MAIN(TestPacketCodec)
#include "tst_packetcodec.moc"
