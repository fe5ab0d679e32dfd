#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class VKQuotaFolder;

// The walks that read a quota tree without changing it: the folders below
// a folder, how many items or folders it holds, and the items whose names
// hold a search text (hidden items and everything in hidden folders never
// match), with their sizes. The quota manager runs them under its lock.
namespace VKQuotaQueries {

// Matching by pre-folded texts: the query is folded once per search.
struct NameQuery {
    explicit NameQuery(std::string_view query);
    bool matches(std::string_view name) const;
    std::string folded;
};

// A folder's own size as the tree last saw it (what its totals count), read
// from the disk only when the tree never could.
uint64_t ownSizeOfFolder(const VKQuotaFolder& folder, const std::string& path);
std::string childPath(std::string_view parent, std::string_view name);
std::string relativeChild(const std::string& prefix, std::string_view name);

// Every folder below `folder`, depth first, each level in the names' order,
// as paths below `prefix`.
void collectFolderPaths(const VKQuotaFolder& folder, const std::string& prefix, bool ignorePackages,
    std::vector<std::string>& paths);
uint64_t countItems(const VKQuotaFolder& folder);
uint64_t countFolders(const VKQuotaFolder& folder, bool ignorePackages);
// The matching items' paths below `prefix`.
void collectMatches(const VKQuotaFolder& folder, const std::string& prefix, const NameQuery& query, bool recurse,
    bool ignorePackageContents, std::vector<std::string>& results);
// The walk of collectMatches, summing what the results hold instead.
uint64_t contentOfMatches(const VKQuotaFolder& folder, const std::string& prefix, const NameQuery& query,
    bool recurse, bool ignorePackageContents);
// The sizes of the matching items (every item without a query) at and
// below `path`, folders by their own size, packages whole.
uint64_t sizeOfMatches(const VKQuotaFolder& folder, const std::string& path, const std::optional<NameQuery>& query,
    bool recurse, bool ignorePackageContents);

} // namespace VKQuotaQueries
