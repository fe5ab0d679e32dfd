#pragma once

// The memory a process allocates itself, for comparing programs that link
// different numbers of shared libraries or that map a file instead of
// reading it: its peak resident size (VmHWM) less its file-backed resident
// pages (RssFile: the program, its libraries and any file it maps, clean
// pages the page cache holds and the kernel may drop at any time), read
// from /proc/self/status at the end of the work, when every page of code it
// touched is resident. Header-only: the PDF bench's child and the peer's
// preloaded libmemory_at_exit share it.

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

struct OwnMemory {
    long peakKiB = 0;
    long fileKiB = 0;
    long ownKiB() const { return peakKiB - fileKiB; }
};

inline OwnMemory ownMemory()
{
    OwnMemory memory;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::strncmp(line, "VmHWM:", 6) == 0)
                memory.peakKiB = std::atol(line + 6);
            else if (std::strncmp(line, "RssFile:", 8) == 0)
                memory.fileKiB = std::atol(line + 8);
        }
        std::fclose(status);
    }
    return memory;
}

} // namespace bench
