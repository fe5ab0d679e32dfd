#include "Platform/Core/ExtendedAttributes.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/limits.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

// listxattrat(2), Linux 6.13: the same number on every architecture.
#ifndef SYS_listxattrat
#define SYS_listxattrat 465
#endif

namespace core {

namespace {

// A value or list that keeps changing size between the two calls of a read
// is given up on after this many tries.
constexpr int MaximumReadAttempts = 16;

bool failAttribute(Error* error, int code, const std::string& path)
{
    if (error) {
        Error failure = Error::posix(code);
        failure.setUserInfoValue(Error::FilePathKey, Value(path));
        *error = std::move(failure);
    }
    return false;
}

bool hasNul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

// The on-disk name, or nothing (with the error) for a name the kernel would
// refuse or misread.
std::optional<std::string> diskName(const std::string& path, std::string_view name, Error* error)
{
    std::string full = std::string(ExtendedAttributes::NamespacePrefix) + std::string(name);
    if (name.empty() || hasNul(name)) {
        failAttribute(error, EINVAL, path);
        return std::nullopt;
    }
    if (full.size() > ExtendedAttributes::MaximumNameLength) {
        failAttribute(error, ERANGE, path);
        return std::nullopt;
    }
    return full;
}

// Most lists and values are small: read into a buffer of this size first,
// in one call.
constexpr size_t FirstReadBytes = 4096;

// Reads into a small buffer; one that does not fit (ERANGE) is sized, then
// read, and asked for again when it grew in between.
template<typename Call>
std::optional<std::string> readSized(const std::string& path, Error* error, Call call)
{
    char first[FirstReadBytes];
    ssize_t got = call(first, sizeof first);
    if (got >= 0)
        return std::string(first, static_cast<size_t>(got));
    if (errno != ERANGE) {
        failAttribute(error, errno, path);
        return std::nullopt;
    }
    for (int attempt = 0; attempt < MaximumReadAttempts; ++attempt) {
        ssize_t size = call(nullptr, 0);
        if (size < 0) {
            failAttribute(error, errno, path);
            return std::nullopt;
        }
        // The kernel's own bound on a value or a list; more is a lie.
        if (size > std::max(XATTR_SIZE_MAX, XATTR_LIST_MAX)) {
            failAttribute(error, E2BIG, path);
            return std::nullopt;
        }
        std::string buffer(static_cast<size_t>(size), '\0');
        if (size == 0)
            return buffer;
        ssize_t read = call(buffer.data(), buffer.size());
        if (read >= 0) {
            buffer.resize(static_cast<size_t>(read));
            return buffer;
        }
        if (errno != ERANGE) {
            failAttribute(error, errno, path);
            return std::nullopt;
        }
    }
    failAttribute(error, ERANGE, path);
    return std::nullopt;
}

// The item the calls go to: an open descriptor, or a path whose final link
// is followed or not.
struct Item {
    const std::string& path;
    int descriptor = -1;
    bool noFollow = false;
    // For lists only: the item as a name inside this open folder (never
    // following a final link), where the kernel can look it up so.
    int folder = -1;
    const char* name = nullptr;

    ssize_t list(char* buffer, size_t size) const
    {
        if (descriptor >= 0)
            return flistxattr(descriptor, buffer, size);
        if (folder >= 0) {
            long got = syscall(SYS_listxattrat, folder, name, AT_SYMLINK_NOFOLLOW, buffer, size);
            if (got >= 0 || (errno != ENOSYS && errno != EPERM))
                return got;
        }
        return noFollow ? llistxattr(path.c_str(), buffer, size) : listxattr(path.c_str(), buffer, size);
    }
    ssize_t get(const char* name, char* buffer, size_t size) const
    {
        if (descriptor >= 0)
            return fgetxattr(descriptor, name, buffer, size);
        return noFollow ? lgetxattr(path.c_str(), name, buffer, size) : getxattr(path.c_str(), name, buffer, size);
    }
    int set(const char* name, std::string_view value, int flags) const
    {
        if (descriptor >= 0)
            return fsetxattr(descriptor, name, value.data(), value.size(), flags);
        return noFollow ? lsetxattr(path.c_str(), name, value.data(), value.size(), flags)
                        : setxattr(path.c_str(), name, value.data(), value.size(), flags);
    }
};

Item byPath(const std::string& path, int options)
{
    return { path, -1, (options & ExtendedAttributes::NoFollow) != 0 };
}

std::optional<std::vector<std::string>> namesOf(const Item& item, Error* error)
{
    if (hasNul(item.path)) {
        failAttribute(error, EINVAL, item.path);
        return std::nullopt;
    }
    auto list = readSized(item.path, error, [&](char* buffer, size_t size) { return item.list(buffer, size); });
    if (!list)
        return std::nullopt;
    std::vector<std::string> result;
    std::string_view rest(*list);
    while (!rest.empty()) {
        size_t end = rest.find('\0');
        std::string_view name = rest.substr(0, end);
        if (name.size() > ExtendedAttributes::NamespacePrefix.size() && name.starts_with(ExtendedAttributes::NamespacePrefix))
            result.emplace_back(name.substr(ExtendedAttributes::NamespacePrefix.size()));
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return result;
}

std::optional<Data> valueOf(const Item& item, std::string_view name, Error* error)
{
    if (hasNul(item.path)) {
        failAttribute(error, EINVAL, item.path);
        return std::nullopt;
    }
    auto full = diskName(item.path, name, error);
    if (!full)
        return std::nullopt;
    auto bytes = readSized(item.path, error, [&](char* buffer, size_t size) { return item.get(full->c_str(), buffer, size); });
    if (!bytes)
        return std::nullopt;
    return Data(std::move(*bytes));
}

bool setValueOf(const Item& item, std::string_view name, std::string_view value, int options, Error* error)
{
    if (hasNul(item.path))
        return failAttribute(error, EINVAL, item.path);
    auto full = diskName(item.path, name, error);
    if (!full)
        return false;
    if (value.size() > XATTR_SIZE_MAX)
        return failAttribute(error, E2BIG, item.path);
    int flags = 0;
    if (options & ExtendedAttributes::CreateOnly)
        flags |= XATTR_CREATE;
    if (options & ExtendedAttributes::ReplaceOnly)
        flags |= XATTR_REPLACE;
    return item.set(full->c_str(), value, flags) == 0 || failAttribute(error, errno, item.path);
}

} // namespace

std::optional<std::vector<std::string>> ExtendedAttributes::names(const std::string& path, int options, Error* error)
{
    return namesOf(byPath(path, options), error);
}

std::optional<Data> ExtendedAttributes::value(const std::string& path, std::string_view name, int options,
    Error* error)
{
    return valueOf(byPath(path, options), name, error);
}

bool ExtendedAttributes::setValue(const std::string& path, std::string_view name, std::string_view value,
    int options, Error* error)
{
    return setValueOf(byPath(path, options), name, value, options, error);
}

bool ExtendedAttributes::remove(const std::string& path, std::string_view name, int options, Error* error)
{
    if (hasNul(path))
        return failAttribute(error, EINVAL, path);
    auto full = diskName(path, name, error);
    if (!full)
        return false;
    int result = (options & NoFollow) ? lremovexattr(path.c_str(), full->c_str()) : removexattr(path.c_str(), full->c_str());
    return result == 0 || failAttribute(error, errno, path);
}

std::optional<std::vector<std::string>> ExtendedAttributes::names(int descriptor, const std::string& path, Error* error)
{
    return namesOf({ path, descriptor }, error);
}

std::optional<std::vector<std::string>> ExtendedAttributes::names(int folder, const std::string& name,
    const std::string& path, Error* error)
{
    if (hasNul(name)) {
        failAttribute(error, EINVAL, path);
        return std::nullopt;
    }
    return namesOf({ path, -1, true, folder, name.c_str() }, error);
}

std::optional<Data> ExtendedAttributes::value(int descriptor, const std::string& path, std::string_view name,
    Error* error)
{
    return valueOf({ path, descriptor }, name, error);
}

bool ExtendedAttributes::setValue(int descriptor, const std::string& path, std::string_view name,
    std::string_view value, Error* error)
{
    return setValueOf({ path, descriptor }, name, value, 0, error);
}

} // namespace core
