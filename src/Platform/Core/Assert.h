#pragma once

#include <source_location>

// Checks of the program's own invariants, made in the checked builds (Test,
// Fuzz: no NDEBUG) and compiled out of the release build, where the
// condition is not evaluated. A broken one writes what failed and where to
// stderr and ends the process at once: it is a fault of the code, never of
// its input, and nothing after it can be trusted.
#ifdef NDEBUG
#define TANDRY_ASSERT(condition) static_cast<void>(sizeof(!(condition)))
#else
#define TANDRY_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : ::core::assertionFailed(#condition, std::source_location::current()))
#endif

namespace core {

[[noreturn]] void assertionFailed(const char* condition, std::source_location where);

// For code that must run on the main loop (its state is the main thread's
// alone): ends a checked build called from another thread. Before a main
// thread is set (tools, fuzz targets) any thread passes.
#ifdef NDEBUG
inline void assertIsMainThread() { }
#else
void assertIsMainThread(std::source_location where = std::source_location::current());
#endif

} // namespace core
