#include "Platform/Core/ExtendedAttributes.h"

#include <algorithm>
#include <cerrno>
#include <linux/limits.h>
#include <sys/xattr.h>

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

// Asks for the size, then reads; a value that grew in between (ERANGE) is
// asked for again.
template<typename Call>
std::optional<std::string> readSized(const std::string& path, Error* error, Call call)
{
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

bool noFollow(int options)
{
    return options & ExtendedAttributes::NoFollow;
}

} // namespace

std::optional<std::vector<std::string>> ExtendedAttributes::names(const std::string& path, int options, Error* error)
{
    if (hasNul(path)) {
        failAttribute(error, EINVAL, path);
        return std::nullopt;
    }
    auto list = readSized(path, error, [&](char* buffer, size_t size) {
        return noFollow(options) ? llistxattr(path.c_str(), buffer, size) : listxattr(path.c_str(), buffer, size);
    });
    if (!list)
        return std::nullopt;
    std::vector<std::string> result;
    std::string_view rest(*list);
    while (!rest.empty()) {
        size_t end = rest.find('\0');
        std::string_view name = rest.substr(0, end);
        if (name.size() > NamespacePrefix.size() && name.starts_with(NamespacePrefix))
            result.emplace_back(name.substr(NamespacePrefix.size()));
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return result;
}

std::optional<Data> ExtendedAttributes::value(const std::string& path, std::string_view name, int options,
    Error* error)
{
    if (hasNul(path)) {
        failAttribute(error, EINVAL, path);
        return std::nullopt;
    }
    auto full = diskName(path, name, error);
    if (!full)
        return std::nullopt;
    auto bytes = readSized(path, error, [&](char* buffer, size_t size) {
        return noFollow(options) ? lgetxattr(path.c_str(), full->c_str(), buffer, size)
                                 : getxattr(path.c_str(), full->c_str(), buffer, size);
    });
    if (!bytes)
        return std::nullopt;
    return Data(std::move(*bytes));
}

bool ExtendedAttributes::setValue(const std::string& path, std::string_view name, std::string_view value,
    int options, Error* error)
{
    if (hasNul(path))
        return failAttribute(error, EINVAL, path);
    auto full = diskName(path, name, error);
    if (!full)
        return false;
    if (value.size() > XATTR_SIZE_MAX)
        return failAttribute(error, E2BIG, path);
    int flags = 0;
    if (options & CreateOnly)
        flags |= XATTR_CREATE;
    if (options & ReplaceOnly)
        flags |= XATTR_REPLACE;
    int result = noFollow(options) ? lsetxattr(path.c_str(), full->c_str(), value.data(), value.size(), flags)
                                   : setxattr(path.c_str(), full->c_str(), value.data(), value.size(), flags);
    return result == 0 || failAttribute(error, errno, path);
}

bool ExtendedAttributes::remove(const std::string& path, std::string_view name, int options, Error* error)
{
    if (hasNul(path))
        return failAttribute(error, EINVAL, path);
    auto full = diskName(path, name, error);
    if (!full)
        return false;
    int result = noFollow(options) ? lremovexattr(path.c_str(), full->c_str()) : removexattr(path.c_str(), full->c_str());
    return result == 0 || failAttribute(error, errno, path);
}

} // namespace core
