#pragma once

#include <QChar>
#include <QHash>
#include <QPointer>
#include <QWidget>

#include <memory>

class DesignScale;
// A component owned (directly or not) by `owner`, by name ignoring letter case; nullptr when none.
QObject* FindOwnedComponent(const QObject* owner, const QString& name);

// Plain module window with the host's rules:
//  - OnActivate runs when the window becomes the host's active window (first show, or coming back from
//    another window of the host); OnDeactivate when another window of the host becomes active. Leaving for
//    another application and coming back runs neither; a message box shown from a handler does not count.
//  - Close hides; the window lives on, owned by the application object.
//  - Events are signals; handlers connect through ConnectGuarded (eventboundary.h), so each runs inside the
//    exception boundary.
//  - A window whose definition sets FitToScreen keeps its stored layout and, as the host decides
//    (TApplication::Fit), opens at that size, scaled to fit the screen it opens on and centred there, or
//    full screen with its content scaled and centred likewise (DesignScale).
class TForm : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool FitToScreen READ FitToScreen WRITE SetFitToScreen)
public:
    // With an owner of nullptr the application object owns the window.
    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override;

    bool FitToScreen() const { return m_fitToScreen; }
    void SetFitToScreen(bool fit) { m_fitToScreen = fit; }

    // Shows the window, brings it to the front and returns once it is the active window (its OnActivate
    // has run), or after a short wait when the window system does not activate it.
    void Show();
    void Close();
    void SetFocus();
    // The factor the window's definition is drawn at: 1 when it keeps its stored size.
    double DesignFactor() const;
    // Draws the definition's content at `factor` (as far as the screen holds it), the window sized to it, as
    // a window that belongs to another is scaled like that one.
    void ScaleDesign(double factor);

    // Child component by name, ignoring letter case; nullptr when there is none.
    QObject* FindComponent(const QString& name) const;
    template <typename T>
    T* FindComponentAs(const QString& name) const { return qobject_cast<T*>(FindComponent(name)); }

    // Emits OnKeyPress for a key pressed on this window or on a child that hands its keys over.
    // Returns true when a handler consumed the key (replaced it by the null character).
    bool DispatchKeyPress(QObject* sender, QChar& key);

    int ActivateCount() const { return m_activateCount; }
    // False when the last OnActivate was abandoned or failed.
    bool LastActivateCompleted() const { return m_lastActivateCompleted; }
    int DeactivateCount() const { return m_deactivateCount; }

    // Called by the application object's activation bookkeeping.
    void DoActivate();
    void DoDeactivate();

    // The character a key event carries for OnKeyPress (Escape is 27); null for keys without one.
    static QChar KeyChar(const class QKeyEvent* event);

signals:
    void OnCreate(QObject* sender);
    void OnActivate(QObject* sender);
    void OnDeactivate(QObject* sender);
    // A handler that sets `key` to the null character consumes it.
    void OnKeyPress(QObject* sender, QChar& key);

protected:
    // A derived window calls this at the end of its constructor, once its components exist.
    void DoCreate();

    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Shows the window at the size and place the host's fit asks for.
    void showFitted();

    int m_activateCount = 0;
    int m_deactivateCount = 0;
    bool m_lastActivateCompleted = true;
    bool m_fitToScreen = false;
    std::unique_ptr<DesignScale> m_scale; // once the window has been scaled
    // Names resolved before; a refresh composes and resolves the same ninety names every time.
    mutable QHash<QString, QPointer<QObject>> m_componentCache;
};
