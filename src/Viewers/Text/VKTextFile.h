#pragma once

// A text file read piece by piece with pread, never mapped: another program
// may shorten the file while it is read (a log rotated in place), and a
// mapping would then fault. The size is taken once when the file opens; a
// growing file is read to that size, a shrinking one ends where reading
// ended.

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"

#include <cstddef>
#include <functional>
#include <string>

class VKTextFile {
public:
    static constexpr size_t ChunkSize = size_t(1) << 20;

    // Only a regular file inside `home` opens (a link out of it does not);
    // an empty `home` bounds nothing.
    explicit VKTextFile(const std::string& path, const std::string& home = {});
    ~VKTextFile();
    VKTextFile(const VKTextFile&) = delete;
    VKTextFile& operator=(const VKTextFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Why the file did not open (permission denied, gone, a FIFO...).
    const core::Error& openError() const { return m_openError; }
    // The size when opened.
    size_t size() const { return m_size; }
    // The open descriptor (-1 when the file did not open).
    int fd() const { return m_fd; }
    // Appends up to `length` bytes at `offset` to `into`; the count read
    // (0 at the end, also when the file shrank below `offset`).
    size_t read(size_t offset, size_t length, std::string& into) const;
    // Every byte up to the size at opening, or fewer when the file shrank.
    core::Data readAll() const;

    // Called on the reading thread after each chunk a decoding pass reads
    // (tests hold the worker there).
    using ChunkHook = std::function<void(const std::string& path, size_t chunk)>;
    static void setChunkHookForTesting(ChunkHook hook);
    void chunkDidRead(size_t chunk) const;

private:
    std::string m_path;
    int m_fd = -1;
    size_t m_size = 0;
    core::Error m_openError;
};
