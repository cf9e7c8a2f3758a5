#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

// The host's application object. It owns the module's windows until the host ends and keeps the host's
// notion of the active window: the last window of this application that became active, not counting the
// message boxes shown from inside a handler. Leaving for another application does not change it.
class TApplication : public QObject {
    Q_OBJECT
public:
    static TApplication* Instance();

    // Takes ownership of a top-level window: it lives until the host ends.
    void Adopt(QWidget* window);
    QList<QWidget*> OwnedWindows() const;

    QWidget* ActiveForm() const { return m_active; }

    // Activation bookkeeping; the event filter calls these, and TForm::Show calls the first one
    // synchronously so that a window's first activation runs inside the call that shows it.
    void WindowActivated(QWidget* window);
    void WindowHidden(QWidget* window);

signals:
    void activeFormChanged(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void releaseWindows();

private:
    explicit TApplication(QObject* parent);
    ~TApplication() override;

    QList<QPointer<QWidget>> m_windows;
    QPointer<QWidget> m_active;
};

inline TApplication* Application() { return TApplication::Instance(); }
