#include "Platform/Core/Descriptor.h"

#include "Platform/Core/FileTestHooks.h"

#include <cerrno>

namespace core {

namespace {

// Runs a positioned read or write until all is moved; a call that moves
// nothing fails.
template <typename Byte, typename Call>
bool transferAt(Byte* at, size_t length, uint64_t offset, Call call)
{
    while (length > 0) {
        ssize_t count = call(at, length, static_cast<off_t>(offset));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        at += count;
        length -= static_cast<size_t>(count);
        offset += static_cast<uint64_t>(count);
    }
    return true;
}

} // namespace

bool readAt(int fd, void* buffer, size_t length, uint64_t offset)
{
    return transferAt(static_cast<char*>(buffer), length, offset,
        [fd](char* at, size_t count, off_t where) { return ::pread(fd, at, count, where); });
}

bool writeAt(int fd, const void* bytes, size_t length, uint64_t offset)
{
    // A full disk on cue, for the tests.
    if (const int injected = FileTestHooks::takeWriteError(); injected && length != 0) {
        errno = injected;
        return false;
    }
    return transferAt(static_cast<const char*>(bytes), length, offset,
        [fd](const char* at, size_t count, off_t where) { return ::pwrite(fd, at, count, where); });
}

} // namespace core
