// libmemory_at_exit: preloaded into a peer program (LD_PRELOAD), prints
// "own <KiB> <peak KiB> <file-backed KiB>" on its standard output as the program
// exits (see OwnMemory.h), so that a benchmark compares the peer's own
// memory with its own by the same measure.
#include "OwnMemory.h"

#include <unistd.h>

namespace {

[[gnu::destructor]] void printAtExit()
{
    bench::OwnMemory memory = bench::ownMemory();
    char line[128];
    int length = std::snprintf(line, sizeof line, "own %ld %ld %ld\n", memory.ownKiB(), memory.peakKiB, memory.fileKiB);
    if (length > 0 && ::write(STDOUT_FILENO, line, size_t(length)) < 0)
        return;
}

} // namespace
