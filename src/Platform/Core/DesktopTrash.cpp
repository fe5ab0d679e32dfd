#include "Platform/Core/DesktopTrash.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Path.h"

#include <cerrno>
#include <cstdio>
#include <stdio.h>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fmt/format.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace core::desktopTrash {

namespace {

std::mutex locationMutex;
std::string setPath;

// The path in a .trashinfo: percent-escaped bytes, "/" kept.
std::string escapedPath(const std::string& path)
{
    std::string escaped;
    for (unsigned char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-'
            || c == '_' || c == '.' || c == '~')
            escaped.push_back(char(c));
        else
            escaped += fmt::format("%{:02X}", c);
    }
    return escaped;
}

std::string localTimestamp()
{
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// Writes the .trashinfo of `candidate` exclusively, as the desktops
// expect, so that two programs never claim one name. False with EEXIST when
// the name is taken.
bool claim(const std::string& infoPath, const std::string& info, Error* error)
{
    int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        setError(error, Error::posix(errno));
        return false;
    }
    bool written = write(fd, info.data(), info.size()) == ssize_t(info.size());
    int code = errno;
    close(fd);
    if (!written) {
        unlink(infoPath.c_str());
        setError(error, Error::posix(code ? code : EIO));
    }
    return written;
}

// The device of the folder that holds, or would hold, `path`: the nearest
// part of it that exists.
std::optional<dev_t> deviceOfNearest(std::string path)
{
    struct stat info;
    for (;;) {
        if (stat(path.c_str(), &info) == 0)
            return info.st_dev;
        if (path.empty() || path == "/")
            return std::nullopt;
        path = path::deletingLastPathComponent(path);
    }
}

// The top of the mount `path` (on `device`) lies in: its highest folder on
// the same device.
std::string mountTop(const std::string& path, dev_t device)
{
    std::string top = path::deletingLastPathComponent(path);
    struct stat info;
    while (!top.empty() && top != "/") {
        std::string up = path::deletingLastPathComponent(top);
        if (up.empty() || stat(up.c_str(), &info) != 0 || info.st_dev != device)
            break;
        top = std::move(up);
    }
    return top.empty() ? std::string("/") : top;
}

// The trash of another mount: ".Trash-<uid>" at its top, made private when
// missing; refused when it is a link, not a folder or someone else's.
std::optional<std::string> mountTrash(const std::string& top, Error* error)
{
    const std::string trash = path::appendingPathComponent(top, fmt::format(".Trash-{}", getuid()));
    if (mkdir(trash.c_str(), 0700) != 0 && errno != EEXIST) {
        setError(error, Error::posix(errno));
        return std::nullopt;
    }
    struct stat info;
    if (lstat(trash.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        setError(error, Error::posix(EPERM));
        return std::nullopt;
    }
    return trash;
}

// Where the trashed item goes: the home's trash when it lies on the home
// trash's file system, else its mount's own (whose .trashinfo names it
// relative to the mount's top).
struct TrashPlace {
    std::string trash;
    std::string recordedPath;
};

std::optional<TrashPlace> placeFor(const std::string& path, const std::string& originalPath, Error* error)
{
    struct stat item;
    if (lstat(path.c_str(), &item) != 0) {
        setError(error, Error::posix(errno));
        return std::nullopt;
    }
    TrashPlace place { location(), originalPath };
    if (deviceOfNearest(place.trash) == item.st_dev || !path::isAbsolute(path) || !path::isAbsolute(originalPath))
        return place;
    const std::string top = mountTop(path, item.st_dev);
    auto trash = mountTrash(top, error);
    if (!trash)
        return std::nullopt;
    place.trash = *trash;
    if (top != "/" && originalPath.starts_with(top + "/"))
        place.recordedPath = originalPath.substr(top.size() + 1);
    return place;
}

} // namespace

std::string location()
{
    {
        std::lock_guard lock(locationMutex);
        if (!setPath.empty())
            return setPath;
    }
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return path::appendingPathComponent(data, "Trash");
    const char* home = std::getenv("HOME");
    return path::appendingPathComponent(home && home[0] == '/' ? home : "/", ".local/share/Trash");
}

void setLocation(std::string path)
{
    std::lock_guard lock(locationMutex);
    setPath = std::move(path);
}

std::optional<std::string> moveItem(const std::string& path, const std::string& originalPath, Error* error)
{
    auto place = placeFor(path, originalPath, error);
    if (!place)
        return std::nullopt;
    const std::string& trash = place->trash;
    if (!fs::createDirectory(path::appendingPathComponent(trash, "files"), true, error, 0700)
        || !fs::createDirectory(path::appendingPathComponent(trash, "info"), true, error, 0700))
        return std::nullopt;
    std::string name = path::lastPathComponent(originalPath);
    if (name.empty() || name == "." || name == "..")
        name = "item";
    const std::string info = fmt::format("[Trash Info]\nPath={}\nDeletionDate={}\n", escapedPath(place->recordedPath),
        localTimestamp());
    for (int attempt = 1; attempt < 10000; ++attempt) {
        const std::string candidate = attempt == 1 ? name : fmt::format("{}.{}", name, attempt);
        const std::string infoPath = path::appendingPathComponent(trash, "info/" + candidate + ".trashinfo");
        Error claimError;
        if (!claim(infoPath, info, &claimError)) {
            if (claimError.is(Error::POSIXDomain, EEXIST))
                continue;
            setError(error, claimError);
            return std::nullopt;
        }
        const std::string target = path::appendingPathComponent(trash, "files/" + candidate);
        const int injected = FileTestHooks::renameItemError(path);
        if (!injected && renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return target;
        const int code = injected ? injected : errno;
        unlink(infoPath.c_str());
        if (code == EEXIST)
            continue;
        setError(error, Error::posix(code));
        return std::nullopt;
    }
    setError(error, Error::posix(EEXIST));
    return std::nullopt;
}

} // namespace core::desktopTrash
