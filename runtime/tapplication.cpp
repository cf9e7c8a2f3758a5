#include "tapplication.h"

#include "messagedlg.h"
#include "tform.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

namespace {
TApplication* g_instance = nullptr;

bool countsAsHostWindow(const QWidget* w)
{
    if (!w || !w->isWindow() || IsTransientMessageWindow(w))
        return false;
    const Qt::WindowType type = w->windowType();
    return type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen;
}
} // namespace

static void releaseOwnedWindows()
{
    // Runs at the start of QApplication's destruction, while the windows can still be torn down.
    if (g_instance)
        QMetaObject::invokeMethod(g_instance, "releaseWindows", Qt::DirectConnection);
}

TApplication* TApplication::Instance()
{
    if (!g_instance) {
        Q_ASSERT(qApp);
        g_instance = new TApplication(qApp);
        qAddPostRoutine(releaseOwnedWindows);
    }
    return g_instance;
}

TApplication::TApplication(QObject* parent) : QObject(parent)
{
    // The window definitions name Windows desktop faces, missing on Linux desktops; Liberation Sans has
    // Arial's metrics and is the closest sans face for both where those are missing.
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    // Qt's own dialogs (a file dialog's "Salvar", "Cancelar", a message box's buttons) speak the cockpit's
    // language, from the distribution's translations of Qt; without them installed they stay in English.
    auto* qtTexts = new QTranslator(this);
    if (qtTexts->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
    qApp->installEventFilter(this);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TApplication::releaseWindows);
}

TApplication::~TApplication()
{
    releaseWindows();
    if (g_instance == this)
        g_instance = nullptr;
}

void TApplication::releaseWindows()
{
    const auto windows = std::exchange(m_windows, {});
    for (const auto& w : windows)
        delete w.data();
}

void TApplication::Adopt(QWidget* window)
{
    if (!window)
        return;
    for (const auto& w : m_windows)
        if (w == window)
            return;
    m_windows.removeAll(nullptr);
    m_windows.append(window);
}

QList<QWidget*> TApplication::OwnedWindows() const
{
    QList<QWidget*> result;
    for (const auto& w : m_windows)
        if (w)
            result.append(w);
    return result;
}

void TApplication::WindowActivated(QWidget* window)
{
    if (!countsAsHostWindow(window) || window == m_active)
        return;
    QPointer<QWidget> previous = m_active;
    m_active = window;
    // The new window is recorded before any handler runs: a message box or a nested activation
    // coming back to it from inside a handler must find it already active.
    if (auto* form = qobject_cast<TForm*>(previous.data()))
        form->DoDeactivate();
    if (m_active == window) {
        emit activeFormChanged(window);
        if (auto* form = qobject_cast<TForm*>(window))
            form->DoActivate();
    }
}

void TApplication::WindowHidden(QWidget* window)
{
    if (!window || window != m_active)
        return;
    // Hiding the active window hands the activation on, so it stops being active now.
    m_active = nullptr;
    emit activeFormChanged(nullptr);
    if (auto* form = qobject_cast<TForm*>(window))
        form->DoDeactivate();
}

bool TApplication::eventFilter(QObject* watched, QEvent* event)
{
    if (watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::WindowActivate && w->isWindow())
            WindowActivated(w);
        else if (event->type() == QEvent::Hide && w->isWindow())
            WindowHidden(w);
    }
    return QObject::eventFilter(watched, event);
}
