#pragma once

#include <QObject>

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

// Every event handler of a module window runs inside this boundary: an EAbort ends the handler quietly,
// any other exception is shown to the user as an error. Nothing crosses Qt's event loop.
void HandleException(std::exception_ptr error) noexcept;

// How many handlers the boundary has stopped so far (abandoned or failed). An emitter that must know whether
// its listeners completed compares the count before and after the emission.
int HandlerFailures() noexcept;

// While one exists, the boundary reports errors once control is back in the event loop instead of at once:
// a message box cannot open while a widget paints.
class DeferredErrorReports {
public:
    DeferredErrorReports() noexcept;
    ~DeferredErrorReports();
    DeferredErrorReports(const DeferredErrorReports&) = delete;
    DeferredErrorReports& operator=(const DeferredErrorReports&) = delete;
};

template <typename F>
bool Guarded(F&& handler) noexcept
{
    try {
        std::forward<F>(handler)();
        return true;
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

// Connects `signal` to `slot` so that the slot runs inside the boundary. `slot` is a member function of
// `receiver` (the usual event handler, as FormActivate) or any callable taking the signal's arguments. The
// connection is direct: arguments passed by reference (a key press's character) reach the slot itself.
template <typename Sender, typename SignalOwner, typename Receiver, typename Slot, typename... Args>
QMetaObject::Connection ConnectGuarded(Sender* sender, void (SignalOwner::*signal)(Args...), Receiver* receiver,
                                       Slot slot)
{
    return QObject::connect(
        sender, signal, receiver,
        [receiver, slot](Args... args) {
            Guarded([&] {
                if constexpr (std::is_member_function_pointer_v<Slot>)
                    std::invoke(slot, receiver, std::forward<Args>(args)...);
                else
                    std::invoke(slot, std::forward<Args>(args)...);
            });
        },
        Qt::DirectConnection);
}
