// The cockpit's data module called as plain C++, with no transport: the month's packets for a scope.
#include "databasepool.h"
#include "demodatabase.h"
#include "packetcodec.h"
#include "rdmindicresult.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace appserver;

class TestRdmIndicResult : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void shouldAnswerAMonthWithoutAnyTransport()
    {
        const QString path = m_dir.filePath(QStringLiteral("demo.db"));
        DemoDatabase::create(path, {6, 2, QDate(2024, 5, 1)});
        Database db(DatabaseSettings::sqliteFile(path, true));
        DatabasePool pool(db, 1);
        const RdmIndicResult module(pool);

        const CkpData data = module.month(QDate(2024, 5, 17), CallScope{});
        QCOMPARE(data.firstDay, QDate(2024, 5, 1));
        const TDataPacket indicadores = PacketCodec::DecodePacket(data.indicadores);
        QVERIFY(indicadores.rows.size() > 1);   // TOTAL and the regions
        QCOMPARE(indicadores.rows.first().first().toString(), QStringLiteral("TOTAL"));
    }
};

QTEST_GUILESS_MAIN(TestRdmIndicResult)
#include "tst_rdmindicresult.moc"
