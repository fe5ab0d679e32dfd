#pragma once

#include "Platform/Core/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct stat;
class VKQuotaFolder;

// What the quota tree knows of a folder's own entry: its size and its
// modification time in whole seconds since 2001, as the "." text prints
// them. A folder whose attributes could not be read has empty fields, and
// such a stamp never matches a fresh one.
struct VKQuotaStamp {
    uint64_t ownSize = 0;
    int64_t modificationTime = 0;
    bool known = false;

    // lstat of the path; unknown when that fails.
    static VKQuotaStamp forPath(const std::string& path);
    static VKQuotaStamp fromStat(const struct stat& info);
    bool matches(const VKQuotaStamp& fresh) const;
};

// One item of the tree: a file (its size) or a folder.
struct VKQuotaItem {
    uint64_t size = 0;
    std::unique_ptr<VKQuotaFolder> folder;

    bool isFolder() const { return folder != nullptr; }
    // A file's size, a folder's total.
    uint64_t structureSize() const;
    // A file's size, a folder's content.
    uint64_t contentSize() const;
};

struct VKQuotaEntry {
    std::string name;
    VKQuotaItem item;
};

// A folder of the quota tree: its total, the stamp of its own entry and its
// entries sorted by name (bytes), so that lookups are logarithmic and the
// tree costs a few dozen bytes per item besides the names.
class VKQuotaFolder {
public:
    uint64_t total = 0;
    // The sizes of the files at every depth: what the folder holds as a
    // person counts it, without the folders' own entries. Kept beside the
    // total, never saved (it is summed again when the tree is read back).
    uint64_t content = 0;
    VKQuotaStamp stamp;
    // Whether the folder has its "." entry; only the root may lack it.
    bool hasDot = false;
    std::vector<VKQuotaEntry> entries;

    VKQuotaItem* find(std::string_view name);
    const VKQuotaItem* find(std::string_view name) const;
    void set(std::string_view name, VKQuotaItem item);
    void remove(std::string_view name);
    // Takes out every entry named in one pass (where removing them one by
    // one would shift the entries once each); answers their total size.
    uint64_t removeAll(std::vector<std::string> names);
    // After entries were appended out of order.
    void sortEntries();

    // "%llu:%@:%.0f": total, own size, modification time.
    std::string dotText() const;

    // Scans the item at the path without following links. Nothing when
    // nothing is there. A folder's total is its own size plus everything
    // below. `excluded` (the cloud mirror folder) is never entered or listed.
    static std::optional<VKQuotaItem> scan(const std::string& path, const std::string& excluded);
    // The smart rescan of a folder: each subfolder whose stamp in `old` still
    // matches is taken over from it unscanned (changes deeper down go unseen),
    // everything else is scanned. The total counts the entries only, not the
    // folder's own size.
    static std::unique_ptr<VKQuotaFolder> rescan(const std::string& path, VKQuotaFolder* old,
        const std::string& excluded);

    // The saved form: nested dictionaries, a file as its size, each folder
    // with its "." text. Names that are not UTF-8 cannot be stored there;
    // they are left out and counted in `leftOut`, as is what lies too deep.
    // The folders above anything left out are saved without their stamps, so
    // that they read back as invalid and get rescanned.
    core::Value toValue(size_t& leftOut) const;
    // The tree from its saved form. Malformed entries are dropped one by one
    // and counted; the folders above a dropped entry lose their stamps, so
    // that they read as invalid and the next smart rescan scans them anew.
    static std::unique_ptr<VKQuotaFolder> fromValue(const core::Value& value, bool isRoot, size_t& dropped);

private:
    core::Value toValue(size_t& leftOut, size_t depth, bool& incompleteAbove) const;
};
