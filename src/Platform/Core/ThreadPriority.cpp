#include "Platform/Core/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace core {

void lowerCurrentThreadPriority()
{
    // On Linux a thread's nice value is its own; 10 leaves the main thread
    // about nine tenths of a core the two share.
    setpriority(PRIO_PROCESS, id_t(gettid()), 10);
}

} // namespace core
