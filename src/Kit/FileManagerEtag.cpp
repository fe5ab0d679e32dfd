#include "Kit/FileManagerEtag.h"

#include "Kit/FileManagerAdditions.h"

#include <cerrno>

std::optional<std::string> etagForItemAtPath(const std::string& path, core::Error* error)
{
    if (core::fs::hasNul(path)) {
        errno = EINVAL;
        core::setError(error, VKPOSIXDomainErrorFromErrno());
        return std::nullopt;
    }
    auto attributes = core::fs::attributes(path, error);
    return attributes ? std::optional(etagForAttributes(*attributes)) : std::nullopt;
}

std::string etagForAttributes(const core::fs::Attributes& attributes)
{
    // Whole seconds rounded down, as the kernel counts them before 1970; the
    // file number as 32 bits.
    constexpr int64_t NanosecondsPerSecond = 1000000000;
    int64_t seconds = attributes.modificationTime / NanosecondsPerSecond;
    if (attributes.modificationTime % NanosecondsPerSecond < 0)
        --seconds;
    return etagWithFileNumber(static_cast<uint32_t>(attributes.inode), attributes.size, seconds);
}

std::string etagWithFileNumber(uint64_t fileNumber, uint64_t size, int64_t modificationTime)
{
    // Lowercase hex of at least two digits each, written by hand: every GET
    // and every listed item makes one. A time before 1970 shows as its two's
    // complement, as "%llx" prints it.
    std::string etag;
    etag.reserve(3 * 16 + 2);
    const auto appendHex = [&etag](uint64_t value) {
        char digits[16];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value & 0xf];
            value >>= 4;
        } while (value);
        if (count == 1)
            digits[count++] = '0';
        while (count)
            etag += digits[--count];
    };
    appendHex(fileNumber);
    etag += '-';
    appendHex(size);
    etag += '-';
    appendHex(static_cast<uint64_t>(modificationTime));
    return etag;
}
