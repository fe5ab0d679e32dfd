// fuzz: tandry_filemodel
// The saved quota tree comes back from the settings file at launch: any
// property list must restore to a tree (malformed parts dropped) whose totals,
// searches and folder lists answer without failing, whose result paths stay
// inside the folder searched, and whose saved form restores unchanged.

#include "FileModel/VKQuotaManager.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/PropertyList.h"

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace {

// A result leaves the folder searched when it is absolute or has ".." as a
// whole component; "a..b" is a plain name.
bool escapes(std::string_view path)
{
    if (path.empty() || path.front() == '/')
        return true;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = std::min(path.find('/', start), path.size());
        if (path.substr(start, slash - start) == "..")
            return true;
        start = slash + 1;
    }
    return false;
}

} // namespace

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
            if (escapes(path))
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
