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

    // How a window whose definition fits the screen (TForm's FitToScreen) is shown. The host decides:
    // Stored (the default) keeps the definition's size, as a headless host and the tests need it;
    // Screen scales it to the screen it opens on; FullScreen covers that screen, for a wall screen.
    enum class WindowFit { Stored, Screen, FullScreen };
    WindowFit Fit() const { return m_fit; }
    void SetFit(WindowFit fit) { m_fit = fit; }

    // Nobody sits at the screen (a wall screen): a module opens its window for what the host already
    // chose rather than ask for it.
    bool Unattended() const { return m_unattended; }
    void SetUnattended(bool unattended) { m_unattended = unattended; }

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
    WindowFit m_fit = WindowFit::Stored;
    bool m_unattended = false;
};

inline TApplication* Application() { return TApplication::Instance(); }
