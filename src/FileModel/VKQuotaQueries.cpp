#include "FileModel/VKQuotaQueries.h"

#include "FileModel/VKQuotaFolder.h"
#include "Kit/MIMETypes.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/TextFolding.h"

#include <algorithm>
#include <sys/stat.h>

namespace VKQuotaQueries {

static uint64_t ownSizeOnDisk(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

uint64_t ownSizeOfFolder(const VKQuotaFolder& folder, const std::string& path)
{
    return folder.stamp.known ? folder.stamp.ownSize : ownSizeOnDisk(path);
}

std::string childPath(std::string_view parent, std::string_view name)
{
    std::string path;
    path.reserve(parent.size() + 1 + name.size());
    path.append(parent).append("/").append(name);
    return path;
}

std::string relativeChild(const std::string& prefix, std::string_view name)
{
    return prefix.empty() ? std::string(name) : childPath(prefix, name);
}

NameQuery::NameQuery(std::string_view query)
    : folded(core::foldedForSearch(query))
{
}

bool NameQuery::matches(std::string_view name) const
{
    return !folded.empty() && core::foldedForSearch(name).find(folded) != std::string::npos;
}

void collectFolderPaths(const VKQuotaFolder& folder, const std::string& prefix, bool ignorePackages,
    std::vector<std::string>& paths)
{
    std::vector<const VKQuotaEntry*> subfolders;
    for (const auto& entry : folder.entries) {
        if (entry.item.folder && !(ignorePackages && MIMEIsPackageType(entry.name)))
            subfolders.push_back(&entry);
    }
    std::sort(subfolders.begin(), subfolders.end(), [](const VKQuotaEntry* a, const VKQuotaEntry* b) {
        return localizedNumericAndCaseInsensitiveCompare(a->name, b->name) < 0;
    });
    for (const auto* entry : subfolders) {
        std::string path = prefix + "/" + entry->name;
        paths.push_back(path);
        collectFolderPaths(*entry->item.folder, path, ignorePackages, paths);
    }
}

uint64_t countItems(const VKQuotaFolder& folder)
{
    uint64_t count = folder.entries.size();
    for (const auto& entry : folder.entries) {
        if (entry.item.folder)
            count += countItems(*entry.item.folder);
    }
    return count;
}

uint64_t countFolders(const VKQuotaFolder& folder, bool ignorePackages)
{
    uint64_t count = 0;
    for (const auto& entry : folder.entries) {
        if (!entry.item.folder || (ignorePackages && MIMEIsPackageType(entry.name)))
            continue;
        count += 1 + countFolders(*entry.item.folder, ignorePackages);
    }
    return count;
}

void collectMatches(const VKQuotaFolder& folder, const std::string& prefix, const NameQuery& query, bool recurse,
    bool ignorePackageContents, std::vector<std::string>& results)
{
    for (const auto& entry : folder.entries) {
        // Hidden items, and everything inside hidden folders, are never results.
        if (entry.name.starts_with('.'))
            continue;
        std::string relative = relativeChild(prefix, entry.name);
        if (query.matches(entry.name))
            results.push_back(relative);
        if (recurse && entry.item.folder && !(ignorePackageContents && MIMEIsPackageType(relative)))
            collectMatches(*entry.item.folder, relative, query, recurse, ignorePackageContents, results);
    }
}

uint64_t contentOfMatches(const VKQuotaFolder& folder, const std::string& prefix, const NameQuery& query,
    bool recurse, bool ignorePackageContents)
{
    uint64_t total = 0;
    for (const auto& entry : folder.entries) {
        if (entry.name.starts_with('.'))
            continue;
        if (query.matches(entry.name)) {
            total += entry.item.contentSize();
            continue;
        }
        std::string relative = relativeChild(prefix, entry.name);
        if (recurse && entry.item.folder && !(ignorePackageContents && MIMEIsPackageType(relative)))
            total += contentOfMatches(*entry.item.folder, relative, query, recurse, ignorePackageContents);
    }
    return total;
}

uint64_t sizeOfMatches(const VKQuotaFolder& folder, const std::string& path, const std::optional<NameQuery>& query,
    bool recurse, bool ignorePackageContents)
{
    uint64_t total = 0;
    for (const auto& entry : folder.entries) {
        std::string entryPath = childPath(path, entry.name);
        const bool isPackage = entry.item.folder && MIMEIsPackageType(entry.name);
        if (!query || query->matches(entry.name)) {
            if (!entry.item.folder)
                total += entry.item.size;
            else if (isPackage)
                total += entry.item.folder->total;
            else
                total += ownSizeOfFolder(*entry.item.folder, entryPath);
        }
        if (recurse && entry.item.folder && !(ignorePackageContents && isPackage))
            total += sizeOfMatches(*entry.item.folder, entryPath, query, recurse, ignorePackageContents);
    }
    if (recurse)
        total += ownSizeOfFolder(folder, path);
    return total;
}

} // namespace VKQuotaQueries
