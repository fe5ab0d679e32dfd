#pragma once

// Toolkit code run from a GTK signal reports what it throws instead of
// unwinding through GTK's and GLib's frames, which would leave their
// emission and dispatch records pointing at freed stack. An event whose
// handling threw counts as handled. Connect `GuardedCallback<handler>::call`
// in the handler's place.

#include "Platform/Core/ExceptionReporter.h"

#include <glib.h>
#include <type_traits>

namespace ui {

template<auto Handler> struct GuardedCallback;
template<typename R, typename... A, R (*Handler)(A...)> struct GuardedCallback<Handler> {
    static R call(A... arguments)
    {
        if constexpr (std::is_void_v<R>) {
            core::ExceptionReporter::guard("a window event", [&] { Handler(arguments...); });
        } else {
            R result = R(TRUE);
            core::ExceptionReporter::guard("a window event", [&] { result = Handler(arguments...); });
            return result;
        }
    }
};

} // namespace ui
