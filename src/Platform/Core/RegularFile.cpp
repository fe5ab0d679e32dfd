#include "Platform/Core/RegularFile.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>

namespace core::fs {

namespace {

std::optional<RegularFile> refuse(Error* error, Error failure)
{
    setError(error, std::move(failure));
    return std::nullopt;
}

std::optional<RegularFile> refuse(Error* error, int code, const std::string& path)
{
    Error failure = Error::posix(code);
    failure.setUserInfoValue(Error::FilePathKey, Value(path));
    return refuse(error, std::move(failure));
}

} // namespace

Error notRegularFileError(const std::string& path)
{
    Error failure(Error::POSIXDomain, ENODEV,
        fmt::format(fmt::runtime(localized("\u201C{}\u201D is not a regular file and cannot be read.")),
            path::lastPathComponent(path)));
    failure.setUserInfoValue(Error::FilePathKey, Value(path));
    return failure;
}

Error outsideFolderError(const std::string& path)
{
    Error failure(RegularFileErrorDomain, RegularFileErrorOutsideFolder,
        fmt::format(fmt::runtime(localized("\u201C{}\u201D leads out of the folder it must stay in.")),
            path::lastPathComponent(path)));
    failure.setUserInfoValue(Error::FilePathKey, Value(path));
    return failure;
}

bool isSpecialFile(const std::string& path)
{
    struct stat info;
    return !hasNul(path) && stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

std::optional<RegularFile> openRegularFile(const std::string& path, Error* error, int flags)
{
    if (hasNul(path))
        return refuse(error, EINVAL, path);
    // A device is not even opened when it shows as one: opening some has
    // effects of its own. The descriptor's kind below is what counts.
    if (isSpecialFile(path))
        return refuse(error, notRegularFileError(path));
    if (const int injected = FileTestHooks::openFileError(path))
        return refuse(error, injected, path);
    int fd;
    do
        fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        // A socket cannot be opened at all.
        return errno == ENXIO ? refuse(error, notRegularFileError(path)) : refuse(error, errno, path);
    RegularFile file { Descriptor(fd), 0 };
    struct stat info;
    if (fstat(fd, &info) != 0)
        return refuse(error, errno, path);
    if (S_ISDIR(info.st_mode))
        return refuse(error, EISDIR, path);
    if (!S_ISREG(info.st_mode))
        return refuse(error, notRegularFileError(path));
    const int status = fcntl(fd, F_GETFL);
    if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)
        return refuse(error, errno, path);
    file.size = static_cast<uint64_t>(info.st_size);
    return file;
}

std::optional<RegularFile> openRegularFileWithin(
    const std::string& path, const std::string& folder, Error* error, int flags)
{
    auto file = openRegularFile(path, error, flags);
    if (!file || folder.empty())
        return file;
    // What the descriptor leads to counts, not the path: a link swapped in
    // after the open changes nothing. The folder itself may lie behind a link.
    const auto opened = pathOfDescriptor(file->fd.get());
    char* resolved = realpath(folder.c_str(), nullptr);
    const std::string inside = resolved ? std::string(resolved) : folder;
    std::free(resolved);
    if (!opened || !path::isWithin(*opened, inside))
        return refuse(error, outsideFolderError(path));
    return file;
}

std::optional<std::string> pathOfDescriptor(int fd)
{
    char buffer[PATH_MAX];
    ssize_t length = readlink(fmt::format("/proc/self/fd/{}", fd).c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer)
        return std::nullopt;
    return std::string(buffer, static_cast<size_t>(length));
}

size_t readAt(int fd, uint64_t offset, size_t length, std::string& into)
{
    size_t begin = into.size();
    into.resize(begin + length);
    size_t done = 0;
    while (done < length) {
        ssize_t got = ::pread(fd, into.data() + begin + done, length - done, off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += size_t(got);
    }
    into.resize(begin + done);
    return done;
}

} // namespace core::fs
