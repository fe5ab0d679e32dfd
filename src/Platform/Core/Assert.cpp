#include "Platform/Core/Assert.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <cstdio>
#include <cstdlib>

namespace core {

void assertionFailed(const char* condition, std::source_location where)
{
    std::fprintf(stderr, "tandry: assertion failed: %s (%s:%u, %s)\n", condition, where.file_name(),
        static_cast<unsigned>(where.line()), where.function_name());
    std::fflush(stderr);
    std::abort();
}

#ifndef NDEBUG
void assertIsMainThread(std::source_location where)
{
    if (RunLoop::hasMainThread() && !Thread::isMainThread())
        assertionFailed("on the main thread", where);
}
#endif

} // namespace core
