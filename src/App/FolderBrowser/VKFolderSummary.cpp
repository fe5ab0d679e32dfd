#include "App/FolderBrowser/VKFolderSummary.h"

#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Localized.h"

#include <fmt/format.h>

#include <algorithm>

std::string VKFolderSummary::forCount(uint32_t count, int64_t size, bool isSelection)
{
    if (count == 0)
        return core::localized(isSelection ? "No Items Selected" : "No Items");
    std::string format;
    if (count == 1)
        format = core::localized(isSelection ? "{} Item Selected" : "{} Item");
    else
        format = core::localized(isSelection ? "{} Items Selected" : "{} Items");
    std::string summary = fmt::format(fmt::runtime(format), count);
    if (size >= 0)
        summary += ", " + VKBytesFormatter::sharedFormatter().formatBytesAsString(uint64_t(size));
    return summary;
}

std::string VKFolderSummary::ofRows(size_t count, const VKFileResource& folder, bool localFolder,
    const std::optional<VKFolderListing::Query>& query)
{
    uint64_t size = 0;
    if (count > 0) {
        auto quota = VKQuotaManager::defaultManager();
        if (query && !query->roots.empty()) {
            for (const auto& root : query->roots)
                size += quota->contentSizeOfItemsMatchingQuery(query->text, root, true, true);
        } else if (query && localFolder) {
            size = quota->contentSizeOfItemsMatchingQuery(query->text, folder.path(), false, false);
        } else if (query) {
            size = folder.sizeOfChildrenMatchingName(query->text);
        } else {
            size = folder.contentSize();
        }
    }
    return forCount(uint32_t(std::min<size_t>(count, UINT32_MAX)), int64_t(std::min<uint64_t>(size, INT64_MAX)), false);
}

std::string VKFolderSummary::unreadable()
{
    return core::localized("Cannot Be Read");
}

std::string VKFolderSummary::unreadableNote(const core::Error& error)
{
    return core::localized("This folder cannot be read") + "\n" + error.localizedDescription();
}
