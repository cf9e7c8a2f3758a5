#include "eventboundary.h"
// Runs under Xvfb with openbox: activation is only real with a window manager.
#include "hostfunctions.h"
#include "messagedlg.h"
#include "tapplication.h"
#include "tform.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

namespace {

TForm* makeForm(const QString& name, int x)
{
    auto* form = new TForm();
    form->setObjectName(name);
    form->setWindowTitle(name);
    form->setGeometry(x, 100, 300, 200);
    return form;
}

bool waitActive(QWidget* w, int ms = 5000)
{
    return QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }, ms);
}

} // namespace

class TestActivation : public QObject {
    Q_OBJECT
private slots:
    void shouldFollowTheHostsActiveWindow()
    {
        TForm* a = makeForm(QStringLiteral("A"), 50);
        TForm* b = makeForm(QStringLiteral("B"), 500);
        a->Show();
        QVERIFY(waitActive(a));
        QTest::qWait(200);
        QCOMPARE(a->ActivateCount(), 1);

        b->Show();
        QVERIFY(waitActive(b));
        QTest::qWait(200);
        QCOMPARE(a->DeactivateCount(), 1);
        QCOMPARE(b->ActivateCount(), 1);

        a->activateWindow();
        QVERIFY(waitActive(a));
        QTest::qWait(200);
        QCOMPARE(a->ActivateCount(), 2);
        QCOMPARE(b->DeactivateCount(), 1);

        // Another application takes the focus and gives it back: neither handler runs.
        QProcess other;
        other.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--foreign-window")});
        QVERIFY(other.waitForStarted());
        QVERIFY(QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; }, 8000));
        other.waitForFinished(10000);
        QTest::qWait(300);
        a->activateWindow();
        QVERIFY(waitActive(a));
        QTest::qWait(300);
        QCOMPARE(a->ActivateCount(), 2);
        QCOMPARE(a->DeactivateCount(), 1);
        QCOMPARE(b->ActivateCount(), 1);

        // Hiding the active window hands the activation on: it is deactivated.
        a->Close();
        QVERIFY(!a->isVisible());
        QCOMPARE(a->DeactivateCount(), 2);
        QVERIFY(Application()->OwnedWindows().contains(a));
        b->Close();
    }

    void shouldNotReactivateAfterAMessageFromTheActivation()
    {
        int shown = 0;
        const MessagePresenter previous = CurrentMessagePresenter();
        SetMessagePresenter([&shown](MessageKind kind, const QString& text) {
            ++shown;
            // The real box; dismissed shortly, as a user would.
            QTimer::singleShot(400, [] {
                if (QWidget* box = QApplication::activeModalWidget())
                    box->close();
            });
            ShowMessageBox(kind, text);
        });
        TForm* c = makeForm(QStringLiteral("C"), 300);
        ConnectGuarded(c, &TForm::OnActivate, c, [](QObject*) { MensErro(QStringLiteral("Há mais de 5 regionais"), true); });
        c->Show();
        // The window manager hands the activation back to C after each dismissal.
        QTest::qWait(2500);
        QCOMPARE(shown, 1);
        QCOMPARE(c->ActivateCount(), 1);
        QCOMPARE(c->DeactivateCount(), 0);
        SetMessagePresenter(previous);
        c->Close();
    }
};

int main(int argc, char* argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--foreign-window") == 0) {
        QApplication app(argc, argv);
        QWidget w;
        w.setWindowTitle(QStringLiteral("Outra aplicação"));
        w.setGeometry(200, 200, 200, 100);
        w.show();
        w.activateWindow();
        QTimer::singleShot(1500, &app, &QCoreApplication::quit);
        return app.exec();
    }
    QApplication app(argc, argv);
    TestActivation test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_activation.moc"
