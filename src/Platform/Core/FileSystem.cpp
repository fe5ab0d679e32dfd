#include "Platform/Core/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace core::fs {

namespace {

bool fail(Error* error, int code)
{
    setError(error, Error::posix(code));
    return false;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    int get() const { return m_fd; }
    int release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

} // namespace

bool hasNul(std::string_view path)
{
    return path.find('\0') != std::string_view::npos;
}

bool writeFileAtomically(const std::string& path, std::string_view contents, Error* error, unsigned mode)
{
    if (path.empty() || hasNul(path))
        return fail(error, EINVAL);
    auto slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "/." + name + ".XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');

    Descriptor fd(mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return fail(error, errno);
    auto abandon = [&](int code) {
        unlink(temporary.data());
        return fail(error, code);
    };
    struct stat existing;
    unsigned finalMode = stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : mode;
    if (fchmod(fd.get(), finalMode) != 0)
        return abandon(errno);
    const char* cursor = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        ssize_t written = write(fd.get(), cursor, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return abandon(errno);
        }
        cursor += written;
        left -= static_cast<size_t>(written);
    }
    if (fsync(fd.get()) != 0)
        return abandon(errno);
    if (close(fd.release()) != 0)
        return abandon(errno);
    if (rename(temporary.data(), path.c_str()) != 0)
        return abandon(errno);
    return true;
}

bool readFile(const std::string& path, Data& contents, Error* error)
{
    if (hasNul(path))
        return fail(error, EINVAL);
    Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return fail(error, errno);
    struct stat info;
    if (fstat(fd.get(), &info) != 0)
        return fail(error, errno);
    if (S_ISDIR(info.st_mode))
        return fail(error, EISDIR);
    if (!S_ISREG(info.st_mode)) {
        // Pipes and devices cannot be mapped: read them through.
        std::string bytes;
        char buffer[65536];
        for (;;) {
            ssize_t count = read(fd.get(), buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                return fail(error, errno);
            if (count == 0)
                break;
            bytes.append(buffer, static_cast<size_t>(count));
        }
        contents = Data(std::move(bytes));
        return true;
    }
    if (info.st_size == 0) {
        contents = Data();
        return true;
    }
    void* mapping = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (mapping == MAP_FAILED)
        return fail(error, errno);
    contents = Data::adoptMapping(mapping, static_cast<size_t>(info.st_size));
    return true;
}

} // namespace core::fs
