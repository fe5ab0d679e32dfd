#include "Platform/Core/ExceptionReporter.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Object.h"

#include <mutex>

namespace core {

namespace {

std::mutex handlerMutex;
ExceptionReporter::Handler handler;

} // namespace

std::string ExceptionReporter::describe(std::exception_ptr exception)
{
    try {
        std::rethrow_exception(exception);
    } catch (const Exception& e) {
        return e.name() + ": " + e.reason();
    } catch (const std::exception& e) {
        return demangledClassName(typeid(e)) + ": " + e.what();
    } catch (...) {
        return "unknown exception: (no reason)";
    }
}

void ExceptionReporter::report(std::exception_ptr exception, std::string_view where)
{
    std::string description = describe(exception);
    log("Warning, exception escaped {}: {}", where, description);
    Handler current;
    {
        std::lock_guard lock(handlerMutex);
        current = handler;
    }
    if (current)
        current(description);
}

void ExceptionReporter::setHandlerForTesting(Handler newHandler)
{
    std::lock_guard lock(handlerMutex);
    handler = std::move(newHandler);
}

} // namespace core
