#include "App/FolderBrowser/VKFailureReason.h"

#include "FileModel/VKZipUnarchiver.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RegularFile.h"

#include <cctype>
#include <cerrno>
#include <fmt/format.h>

namespace {

const char* posixReason(int64_t code)
{
    switch (code) {
    case ENOSPC: return "the disk is full";
    case EDQUOT: return "there is not enough space";
    case EACCES:
    case EPERM: return "permission denied";
    case EROFS: return "the disk is read-only";
    case ENAMETOOLONG: return "a name is too long";
    case EEXIST: return "an item of that name is there already";
    case ELOOP: return "a link leads in a loop";
    // What fs::notRegularFileError gives a FIFO, socket or device.
    case ENODEV: return "it is not a regular file";
    default: return nullptr;
    }
}

const char* zipReason(int64_t code)
{
    switch (code) {
    case VKZipErrorOverlappingEntries: return "its entries overlap (a zip bomb)";
    case VKZipErrorUnsafeName: return "an entry has an unsafe name";
    case VKZipErrorUnsupportedMethod: return "an entry is compressed in an unsupported way";
    case VKZipErrorDataMismatch: return "an entry's data does not match its size or checksum";
    default: return nullptr;
    }
}

const char* fileReason(int64_t code)
{
    return code == core::fs::RegularFileErrorOutsideFolder ? "it is a link that leads out of Tandry's home" : nullptr;
}

} // namespace

std::string VKFailureReason(const core::Error& error)
{
    if (!error)
        return {};
    const char* known = error.domain() == core::Error::POSIXDomain ? posixReason(error.code())
        : error.domain() == VKZipErrorDomain                       ? zipReason(error.code())
        : error.domain() == core::fs::RegularFileErrorDomain       ? fileReason(error.code())
                                                                   : nullptr;
    if (known)
        return core::localized(known);
    std::string text = error.localizedDescription();
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string VKTextWithFailureReason(const std::string& text, const core::Error& error)
{
    const std::string reason = VKFailureReason(error);
    return reason.empty() ? text : fmt::format(fmt::runtime(core::localized("{}: {}")), text, reason);
}
