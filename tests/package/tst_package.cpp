#include "hostfunctions.h"
#include "tdatetime.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QLibrary>
#include <QTest>
#include <QToolButton>

// The module as the host sees it: loaded by path, nothing linked in.
class TestPackage : public QObject {
    Q_OBJECT
private slots:
    void shouldExportEntryPointAndVariables()
    {
        QLibrary module(QStringLiteral(KPD_MODULE_PATH));
        QVERIFY2(module.load(), qPrintable(module.errorString()));
        auto iniProc = reinterpret_cast<void (*)()>(module.resolve("IniProc"));
        auto* dtData = reinterpret_cast<double*>(module.resolve("dtData"));
        auto** dashboard = reinterpret_cast<QWidget**>(module.resolve("frmIndiResult"));
        auto** dialog = reinterpret_cast<QWidget**>(module.resolve("frmFiltroIndicResult"));
        QVERIFY(iniProc && dtData && dashboard && dialog);
        QCOMPARE(*dtData, 0.0);
        QVERIFY(!*dashboard);
        QVERIFY(!module.resolve("CriaIndicResult")); // internal names stay inside

        MessageRecorder recorder;
        SetServerAddressProvider([] { return QStringLiteral("127.0.0.1"); }, [] { return 1; });
        WhenModal([](QWidget* w) {
            auto* confirm = w->findChild<QToolButton*>(QStringLiteral("sbtConfirma"));
            QVERIFY(confirm);
            confirm->click();
        });
        iniProc();
        QCOMPARE(*dtData, DateTimeUtil::firstDayOfMonth(DateTimeUtil::now()));
        QVERIFY(*dashboard);
        QCOMPARE((*dashboard)->windowTitle(), QStringLiteral("Indicadores de Resultado"));
        QCOMPARE((*dialog)->objectName(), QStringLiteral("frmFiltroIndicResult"));
        QVERIFY(!QGuiApplication::overrideCursor());
    }
};

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
