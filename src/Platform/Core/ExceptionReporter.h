#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace core {

// What happens to an exception that escapes a callback of a run loop, a
// thread's body or a stand-in's handler: it is logged with its name and
// reason and the caller goes on. A handler (the test environment's) hears of
// it too, so that a test in which it happens fails.
class ExceptionReporter {
public:
    using Handler = std::function<void(const std::string& description)>;

    // Logs "Warning, exception escaped <where>: <name>: <reason>".
    static void report(std::exception_ptr exception, std::string_view where);
    // Runs `call`, reporting what escapes it; false when something did.
    template<typename F> static bool guard(std::string_view where, F&& call)
    {
        try {
            call();
            return true;
        } catch (...) {
            report(std::current_exception(), where);
            return false;
        }
    }
    // "<name>: <reason>" of an exception (core::Exception keeps its own name).
    static std::string describe(std::exception_ptr exception);

    static void setHandlerForTesting(Handler handler);
};

} // namespace core
