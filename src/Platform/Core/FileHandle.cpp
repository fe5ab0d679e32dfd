#include "Platform/Core/FileHandle.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

struct FileHandle::Private { };

namespace {

// Reads of a whole file grow by this much at a time when its size is unknown
// (pipes, kernel files).
constexpr size_t ReadChunk = 1 << 16;

bool failHandle(Error* error, int code)
{
    setError(error, Error::posix(code));
    return false;
}

} // namespace

std::shared_ptr<FileHandle> FileHandle::open(const std::string& path, int flags, Error* error)
{
    if (fs::hasNul(path)) {
        failHandle(error, EINVAL);
        return nullptr;
    }
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        Error failure = Error::posix(errno);
        failure.setUserInfoValue(Error::FilePathKey, Value(path));
        setError(error, std::move(failure));
        return nullptr;
    }
    return std::make_shared<FileHandle>(Private {}, fd);
}

std::shared_ptr<FileHandle> FileHandle::fileHandleForReadingAtPath(const std::string& path, Error* error)
{
    return open(path, O_RDONLY, error);
}

std::shared_ptr<FileHandle> FileHandle::fileHandleForReadingRegularFileAtPath(const std::string& path, Error* error)
{
    auto file = fs::openRegularFile(path, error);
    return file ? std::make_shared<FileHandle>(Private {}, file->fd.release()) : nullptr;
}

std::shared_ptr<FileHandle> FileHandle::fileHandleForWritingAtPath(const std::string& path, Error* error)
{
    return open(path, O_WRONLY, error);
}

FileHandle::FileHandle(const Private&, int fd)
    : m_fd(fd)
{
}

FileHandle::~FileHandle()
{
    closeFile();
}

bool FileHandle::checkOpen(Error* error) const
{
    return m_fd >= 0 || failHandle(error, EBADF);
}

uint64_t FileHandle::seekToEndOfFile(Error* error)
{
    if (!checkOpen(error))
        return 0;
    const off_t offset = lseek(m_fd, 0, SEEK_END);
    if (offset < 0) {
        failHandle(error, errno);
        return 0;
    }
    return static_cast<uint64_t>(offset);
}

bool FileHandle::seekToFileOffset(uint64_t offset, Error* error)
{
    if (!checkOpen(error))
        return false;
    if (offset > static_cast<uint64_t>(INT64_MAX))
        return failHandle(error, EINVAL);
    return lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) >= 0 || failHandle(error, errno);
}

uint64_t FileHandle::offsetInFile() const
{
    if (m_fd < 0)
        return 0;
    const off_t offset = lseek(m_fd, 0, SEEK_CUR);
    return offset < 0 ? 0 : static_cast<uint64_t>(offset);
}

Data FileHandle::readDataOfLength(size_t length, Error* error)
{
    if (!checkOpen(error))
        return {};
    // A request larger than what is left of a regular file gets a buffer of
    // what is left: callers pass "everything" as a huge length.
    struct stat info;
    if (fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        const uint64_t offset = offsetInFile();
        const uint64_t left = static_cast<uint64_t>(info.st_size) > offset ? info.st_size - offset : 0;
        length = static_cast<size_t>(std::min<uint64_t>(length, std::max<uint64_t>(left, ReadChunk)));
    }
    std::string bytes;
    while (bytes.size() < length) {
        const size_t want = std::min(length - bytes.size(), std::max(ReadChunk, bytes.size()));
        const size_t had = bytes.size();
        bytes.resize(had + want);
        const ssize_t got = read(m_fd, bytes.data() + had, want);
        if (got < 0 && errno == EINTR) {
            bytes.resize(had);
            continue;
        }
        if (got < 0) {
            failHandle(error, errno);
            return {};
        }
        bytes.resize(had + static_cast<size_t>(got));
        if (got == 0)
            break;
    }
    return Data(std::move(bytes));
}

bool FileHandle::writeData(std::string_view bytes, Error* error)
{
    if (!checkOpen(error))
        return false;
    if (const int injected = FileTestHooks::takeWriteError(); injected && !bytes.empty())
        return failHandle(error, injected);
    FileTestHooks::willWrite(bytes.size());
    while (!bytes.empty()) {
        const ssize_t written = write(m_fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return failHandle(error, errno);
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

void FileHandle::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace core
