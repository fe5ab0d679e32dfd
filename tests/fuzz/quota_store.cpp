// fuzz: tandry_filemodel
// The saved quota tree comes back from the settings file at launch: any
// property list must restore to a tree (malformed parts dropped) whose totals,
// searches and folder lists answer without failing, whose result paths stay
// inside the folder searched, and whose saved form restores unchanged.

#include "FileModel/VKQuotaManager.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/PropertyList.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static core::LogCapture quiet(true);
    const std::string root = "/nonexistent-tandry-home";
    core::Value store = core::PropertyList::read(std::string_view(reinterpret_cast<const char*>(data), size));
    auto manager = VKQuotaManager::create(root, root + "/Library/Servers");
    manager->setQuotaStore(store);

    manager->quotaUsedBytes();
    manager->childCountForPath(root);
    manager->collectionPathsRelativeToPath(root, true);
    manager->sizeForPath(root + "/Library/Documents", "a", true, true);
    if (auto found = manager->itemsMatchingQuery("a", root, true, false)) {
        for (const auto& path : *found) {
            if (path.empty() || path.front() == '/' || path.find("..") != std::string::npos)
                std::abort();
        }
    }

    core::Value saved = manager->quotaStore();
    auto again = VKQuotaManager::create(root, root + "/Library/Servers");
    again->setQuotaStore(saved);
    if (!(again->quotaStore() == saved) || again->quotaUsedBytes() != manager->quotaUsedBytes())
        std::abort();
    quiet.clear();
    return 0;
}
