#pragma once

// Counts of the toolkit's live objects, by kind. The test environment checks
// that a test leaves none behind: a leftover means a reference cycle.

#include <atomic>

namespace ui {

struct LiveObjects {
    static inline std::atomic<long> views { 0 };
    static inline std::atomic<long> layers { 0 };
    static inline std::atomic<long> recognizers { 0 };
    static inline std::atomic<long> controllers { 0 };
};

} // namespace ui
