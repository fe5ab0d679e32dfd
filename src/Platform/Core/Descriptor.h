#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace core {

// A file descriptor closed when it goes out of scope; -1 holds none.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) { }
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : m_fd(other.release()) { }
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        reset(other.release());
        return *this;
    }

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Reads all `length` bytes at `offset`, or fails (the end of the file
// included; errno tells the rest).
bool readAt(int fd, void* buffer, size_t length, uint64_t offset);
// Writes all `length` bytes at `offset`, or fails with errno set (a full
// disk is ENOSPC).
bool writeAt(int fd, const void* bytes, size_t length, uint64_t offset);

} // namespace core
