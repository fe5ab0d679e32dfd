#pragma once

namespace core {

// The calling thread gives way to others (the main thread above all)
// whenever they want a core: for bulk work that no screen waits for. It
// still runs at full speed on cores nothing else wants.
void lowerCurrentThreadPriority();

} // namespace core
