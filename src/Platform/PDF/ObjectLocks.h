#pragma once

// How often a document's object lock was taken on the main thread since the
// process started: tests check that scrolling through pages takes none.

#include <cstdint>

namespace pdf {

uint64_t objectLocksOnMainThread();

} // namespace pdf
