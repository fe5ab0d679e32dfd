#include "Kit/FileManagerEtag.h"

#include "Kit/FileManagerAdditions.h"

#include <cmath>
#include <fmt/format.h>

std::optional<std::string> etagForItemAtPath(const std::string& path, core::Error* error)
{
    auto attributes = standardAttributesForItemAtPath(path, error);
    if (!attributes)
        return std::nullopt;
    auto number = static_cast<uint64_t>((*attributes)[NSFileSystemFileNumber].toInteger());
    auto size = static_cast<uint64_t>((*attributes)[NSFileSize].toInteger());
    double seconds = std::trunc((*attributes)[NSFileModificationDate].date().timeIntervalSince1970());
    return etagWithFileNumber(number, size, static_cast<int64_t>(seconds));
}

std::string etagWithFileNumber(uint64_t fileNumber, uint64_t size, int64_t modificationTime)
{
    // A time before 1970 shows as its two's complement, as "%llx" prints it.
    return fmt::format("{:02x}-{:02x}-{:02x}", fileNumber, size, static_cast<uint64_t>(modificationTime));
}
