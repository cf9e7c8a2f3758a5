#pragma once

#include "exceptions.h"
#include "messagedlg.h"
#include "tform.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

// Records the messages the module shows instead of opening boxes; restores the previous presenter.
class MessageRecorder {
public:
    MessageRecorder()
        : m_previous(CurrentMessagePresenter())
    {
        SetMessagePresenter([this](MessageKind, const QString& text) { messages.append(text); });
    }
    ~MessageRecorder() { SetMessagePresenter(m_previous); }
    QStringList messages;

private:
    MessagePresenter m_previous;
};

// Runs `action` on the modal widget as soon as one is open (the modal loop of the code under test).
inline void WhenModal(std::function<void(QWidget*)> action, int attempts = 200)
{
    QTimer::singleShot(10, [action = std::move(action), attempts]() mutable {
        if (QWidget* modal = QApplication::activeModalWidget())
            action(modal);
        else if (attempts > 0)
            WhenModal(std::move(action), attempts - 1);
    });
}

// A window's component by name, of the expected type; the test fails loudly when there is none.
template <typename T>
T* ComponentOf(const TForm* form, const char* name)
{
    T* c = form->FindComponentAs<T>(QLatin1String(name));
    if (!c)
        qFatal("componente %s não encontrado", name);
    return c;
}

// The message of what `action` raised: "<EAbort>" for an abandon, "<sem exceção>" when it raised nothing.
inline QString messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EAbort&) {
        return QStringLiteral("<EAbort>");
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("<sem exceção>");
}
