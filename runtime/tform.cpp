#include "tform.h"

#include "designscale.h"
#include "eventboundary.h"
#include "tapplication.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace {
constexpr int kActivationWaitMs = 2000;
}

TForm::TForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    // Closing a module window must never end the host.
    setAttribute(Qt::WA_QuitOnClose, false);
    if (!parent)
        Application()->Adopt(this);
}

TForm::~TForm() = default;

void TForm::DoCreate() { emit OnCreate(this); }

namespace {

// The screen a new window opens on: the one of the host's window in front, or else the pointer's.
QScreen* openingScreen()
{
    if (const QWidget* front = QApplication::activeWindow())
        return front->screen();
    if (QScreen* s = QGuiApplication::screenAt(QCursor::pos()))
        return s;
    return QGuiApplication::primaryScreen();
}

} // namespace

void TForm::showFitted()
{
    const TApplication::WindowFit fit = m_fitToScreen ? Application()->Fit() : TApplication::WindowFit::Stored;
    QScreen* screen = openingScreen();
    if (fit == TApplication::WindowFit::Stored || isVisible() || !screen) {
        show();
        return;
    }
    if (!m_scale)
        m_scale = std::make_unique<DesignScale>(this);
    if (fit == TApplication::WindowFit::FullScreen) {
        // Sized here rather than by the window manager, so the content is laid out before the first paint.
        setGeometry(screen->geometry());
        showFullScreen();
        return;
    }
    // The window takes its content's bounds, not the design's empty margin around them.
    const QRect area = screen->availableGeometry();
    const QSize content = m_scale->Content().size();
    const double factor = DesignScale::FitFactor(content, area.size());
    const QSize size(qRound(content.width() * factor), qRound(content.height() * factor));
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, area));
    show();
}

double TForm::DesignFactor() const { return m_scale ? m_scale->Factor() : 1.0; }

void TForm::ScaleDesign(double factor)
{
    if (!m_scale)
        m_scale = std::make_unique<DesignScale>(this);
    const QSize content = m_scale->Content().size();
    if (QScreen* s = screen())
        factor = std::min(factor, DesignScale::FitFactor(content, s->availableGeometry().size()));
    resize(qRound(content.width() * factor), qRound(content.height() * factor));
    // At once, not at the resize event a hidden window gets only when shown: the caller places it by its size.
    m_scale->FitToRoot();
}

void TForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_scale)
        m_scale->FitToRoot();
}

void TForm::Show()
{
    showFitted();
    raise();
    if (Application()->ActiveForm() == this)
        return;
    activateWindow();
    // Wait for the window system to make this the active window, so that the activation runs once, in
    // order after whatever the window system still had queued (closing a dialog activates the window
    // behind it first). Only window-system and posted events are handled meanwhile, not the user's input.
    const int before = m_activateCount;
    QElapsedTimer waited;
    waited.start();
    while (m_activateCount == before && isVisible() && Application()->ActiveForm() != this &&
           waited.elapsed() < kActivationWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 20);
    // A window system that never hands the activation over (or refuses it) still gets one activation.
    if (m_activateCount == before && isVisible())
        Application()->WindowActivated(this);
}

void TForm::Close() { close(); }

void TForm::SetFocus()
{
    activateWindow();
    // The keyboard focus goes to the control that had it last, or to the first that takes it.
    if (QWidget* w = focusWidget()) {
        w->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The focus chain also holds controls that never take the focus (panels, labels): skip them, or the
    // keyboard would land on a title panel instead of the first grid.
    for (QWidget* next = nextInFocusChain(); next && next != this; next = next->nextInFocusChain()) {
        if (isAncestorOf(next) && (next->focusPolicy() & Qt::TabFocus) && next->isEnabled() &&
            next->isVisibleTo(this)) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    setFocus(Qt::OtherFocusReason);
}

namespace {

// Depth first, parents before their children, in creation order (the order findChildren lists them), and
// stopping at the first match: a refresh resolves about ninety names, and collecting the whole tree for
// each of them was a large part of its own time.
QObject* findByName(const QObject* parent, const QString& name)
{
    for (QObject* child : parent->children()) {
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return child;
        if (QObject* found = findByName(child, name))
            return found;
    }
    return nullptr;
}

} // namespace

QObject* FindOwnedComponent(const QObject* owner, const QString& name)
{
    if (!owner || name.isEmpty())
        return nullptr;
    return findByName(owner, name);
}

QObject* TForm::FindComponent(const QString& name) const
{
    const QString key = name.toCaseFolded();
    if (QObject* cached = m_componentCache.value(key).data()) {
        // Still ours and still so named: renamed or re-parented components are looked up afresh.
        bool owned = false;
        for (const QObject* p = cached->parent(); p && !owned; p = p->parent())
            owned = p == this;
        if (owned && cached->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return cached;
    }
    QObject* found = FindOwnedComponent(this, name);
    if (found)
        m_componentCache.insert(key, found);
    else
        m_componentCache.remove(key);
    return found;
}

void TForm::DoActivate()
{
    ++m_activateCount;
    const int failures = HandlerFailures();
    emit OnActivate(this);
    m_lastActivateCompleted = HandlerFailures() == failures;
}

void TForm::DoDeactivate()
{
    ++m_deactivateCount;
    emit OnDeactivate(this);
}

QChar TForm::KeyChar(const QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        return QChar(27);
    const QString text = event->text();
    return text.isEmpty() ? QChar() : text.at(0);
}

bool TForm::DispatchKeyPress(QObject* sender, QChar& key)
{
    if (key.isNull())
        return false;
    emit OnKeyPress(sender, key);
    return key.isNull();
}

void TForm::keyPressEvent(QKeyEvent* event)
{
    QChar key = KeyChar(event);
    if (DispatchKeyPress(this, key)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
