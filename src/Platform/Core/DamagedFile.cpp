#include "Platform/Core/DamagedFile.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

namespace core::fs {

namespace {

constexpr int MaximumDamagedCopies = 1000;

bool renameWithoutReplacing(const std::string& from, const std::string& to)
{
    return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

} // namespace

std::optional<std::string> moveAsideAsDamaged(const std::string& path, std::initializer_list<const char*> sideSuffixes)
{
    for (int copy = 1; copy <= MaximumDamagedCopies; ++copy) {
        std::string target = path + ".corrupt" + (copy == 1 ? std::string() : "-" + std::to_string(copy));
        if (!renameWithoutReplacing(path, target)) {
            if (errno != EEXIST)
                return std::nullopt;
            continue;
        }
        const int saved = errno;
        for (const char* suffix : sideSuffixes)
            renameWithoutReplacing(path + suffix, target + suffix);
        errno = saved;
        return target;
    }
    errno = EEXIST;
    return std::nullopt;
}

} // namespace core::fs
