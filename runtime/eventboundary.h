#pragma once

#include <exception>
#include <utility>

// Every event handler of a module window runs inside this boundary: an EAbort ends the handler quietly,
// any other exception is shown to the user as an error. Nothing crosses Qt's event loop.
void HandleException(std::exception_ptr error) noexcept;

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
