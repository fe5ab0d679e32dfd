#include "FileModel/VKQuotaFolder.h"

#include "Platform/Core/Thread.h"
#include "Platform/Core/UTF8.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Seconds between 1970 and 2001, the epoch of the stored times.
constexpr int64_t ReferenceDateOffset = 978307200;
// Deeper saved trees are cut off, well inside what a property list may nest;
// no real store nests this far.
constexpr size_t MaximumSavedDepth = 400;

bool lessByName(const VKQuotaEntry& entry, std::string_view name)
{
    return entry.name < name;
}

// A saved or listed name that can stand for one item in a folder.
bool isPlainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

bool parseUnsigned(std::string_view text, uint64_t& value)
{
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool parseSigned(std::string_view text, int64_t& value)
{
    if (text.empty())
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Reads "total:own:time"; the last two may be empty (attributes unknown).
bool parseDotText(std::string_view text, VKQuotaFolder& folder)
{
    size_t first = text.find(':');
    if (first == std::string_view::npos)
        return false;
    size_t second = text.find(':', first + 1);
    if (second == std::string_view::npos || text.find(':', second + 1) != std::string_view::npos)
        return false;
    if (!parseUnsigned(text.substr(0, first), folder.total))
        return false;
    std::string_view own = text.substr(first + 1, second - first - 1);
    std::string_view time = text.substr(second + 1);
    folder.stamp = {};
    if (own.empty() && time.empty())
        return true;
    if (!parseUnsigned(own, folder.stamp.ownSize) || !parseSigned(time, folder.stamp.modificationTime))
        return false;
    folder.stamp.known = true;
    return true;
}

struct Child {
    std::string name;
    struct stat info;
};

// The folder's entries with their own lstat, read with the folder open. It is
// closed again before anything descends, so that a deep tree never holds
// more than one descriptor; links are never followed.
std::vector<Child> listChildren(const std::string& path)
{
    std::vector<Child> children;
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return children;
    DIR* directory = fdopendir(fd);
    if (!directory) {
        close(fd);
        return children;
    }
    while (dirent* entry = readdir(directory)) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        Child child { std::string(name), {} };
        if (fstatat(dirfd(directory), entry->d_name, &child.info, AT_SYMLINK_NOFOLLOW) == 0)
            children.push_back(std::move(child));
    }
    closedir(directory);
    return children;
}

std::unique_ptr<VKQuotaFolder> scanFolder(const std::string& path, const struct stat& info, const std::string& excluded);

// Fills the folder from its listed children; `reuse` may hand over a
// subfolder instead of scanning it. Answers the sum of the entries' sizes.
// A walk on a cancelled thread (the recount when the program ends) stops at
// its next entry, and what it leaves reads as unknown.
template<typename Reuse>
uint64_t fillFolder(VKQuotaFolder& folder, const std::string& path, std::vector<Child>& children,
    const std::string& excluded, Reuse reuse)
{
    const auto thread = core::Thread::current();
    uint64_t total = 0;
    folder.entries.reserve(children.size());
    std::string childPath = path;
    childPath.push_back('/');
    const size_t prefixLength = childPath.size();
    for (auto& child : children) {
        if (thread->isCancelled()) {
            folder.stamp.known = false;
            break;
        }
        childPath.resize(prefixLength);
        childPath += child.name;
        VKQuotaItem item;
        if (S_ISDIR(child.info.st_mode)) {
            if (childPath == excluded)
                continue;
            item.folder = reuse(child.name, child.info);
            if (!item.folder)
                item.folder = scanFolder(childPath, child.info, excluded);
        } else {
            item.size = static_cast<uint64_t>(child.info.st_size);
        }
        total += item.structureSize();
        folder.content += item.contentSize();
        folder.entries.push_back({ std::move(child.name), std::move(item) });
    }
    folder.sortEntries();
    return total;
}

std::unique_ptr<VKQuotaFolder> scanFolder(const std::string& path, const struct stat& info, const std::string& excluded)
{
    auto folder = std::make_unique<VKQuotaFolder>();
    folder->stamp = VKQuotaStamp::fromStat(info);
    folder->hasDot = true;
    auto children = listChildren(path);
    folder->total = folder->stamp.ownSize
        + fillFolder(*folder, path, children, excluded,
            [](const std::string&, const struct stat&) { return std::unique_ptr<VKQuotaFolder>(); });
    return folder;
}

std::unique_ptr<VKQuotaFolder> folderFromValue(const core::Value& value, bool isRoot, size_t depth, size_t& dropped,
    bool& droppedBelow);

// One saved entry as an item; nothing when it is malformed.
std::optional<VKQuotaItem> itemFromValue(const core::Value& value, size_t depth, size_t& dropped, bool& droppedBelow)
{
    if (value.isInteger() && value.integer() >= 0)
        return VKQuotaItem { static_cast<uint64_t>(value.integer()), nullptr };
    if (value.isDictionary() && depth < MaximumSavedDepth) {
        if (auto folder = folderFromValue(value, false, depth + 1, dropped, droppedBelow))
            return VKQuotaItem { 0, std::move(folder) };
    }
    return std::nullopt;
}

std::unique_ptr<VKQuotaFolder> folderFromValue(const core::Value& value, bool isRoot, size_t depth, size_t& dropped,
    bool& droppedAbove)
{
    auto folder = std::make_unique<VKQuotaFolder>();
    const core::Value& dot = value["."];
    if (dot.isString() && parseDotText(dot.string(), *folder))
        folder->hasDot = true;
    else if (!(isRoot && dot.isNull()))
        return nullptr;

    bool droppedHere = false;
    for (const auto& [name, child] : value.dictionary()) {
        if (name == ".")
            continue;
        bool droppedBelow = false;
        std::optional<VKQuotaItem> item;
        if (isPlainName(name))
            item = itemFromValue(child, depth, dropped, droppedBelow);
        if (!item) {
            ++dropped;
            droppedHere = true;
            continue;
        }
        droppedHere = droppedHere || droppedBelow;
        folder->content += item->contentSize();
        // Saved dictionaries come sorted by name, so this appends.
        folder->entries.push_back({ name, std::move(*item) });
    }
    folder->sortEntries();
    if (droppedHere) {
        // Something below is missing: the folder must not pass as valid.
        folder->stamp.known = false;
        droppedAbove = true;
    }
    return folder;
}

} // namespace

VKQuotaStamp VKQuotaStamp::forPath(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return {};
    return fromStat(info);
}

VKQuotaStamp VKQuotaStamp::fromStat(const struct stat& info)
{
    double seconds = static_cast<double>(info.st_mtim.tv_sec - ReferenceDateOffset)
        + static_cast<double>(info.st_mtim.tv_nsec) * 1e-9;
    // "%.0f" rounds to nearest, halves to even; so does nearbyint.
    return { static_cast<uint64_t>(info.st_size), static_cast<int64_t>(std::nearbyint(seconds)), true };
}

bool VKQuotaStamp::matches(const VKQuotaStamp& fresh) const
{
    return known && fresh.known && ownSize == fresh.ownSize && modificationTime == fresh.modificationTime;
}

uint64_t VKQuotaItem::structureSize() const
{
    return folder ? folder->total : size;
}

uint64_t VKQuotaItem::contentSize() const
{
    return folder ? folder->content : size;
}

VKQuotaItem* VKQuotaFolder::find(std::string_view name)
{
    auto it = std::lower_bound(entries.begin(), entries.end(), name, lessByName);
    return it != entries.end() && it->name == name ? &it->item : nullptr;
}

const VKQuotaItem* VKQuotaFolder::find(std::string_view name) const
{
    return const_cast<VKQuotaFolder*>(this)->find(name);
}

void VKQuotaFolder::set(std::string_view name, VKQuotaItem item)
{
    auto it = std::lower_bound(entries.begin(), entries.end(), name, lessByName);
    if (it != entries.end() && it->name == name)
        it->item = std::move(item);
    else
        entries.insert(it, { std::string(name), std::move(item) });
}

void VKQuotaFolder::remove(std::string_view name)
{
    auto it = std::lower_bound(entries.begin(), entries.end(), name, lessByName);
    if (it != entries.end() && it->name == name)
        entries.erase(it);
}

uint64_t VKQuotaFolder::removeAll(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    uint64_t removed = 0;
    std::erase_if(entries, [&](const VKQuotaEntry& entry) {
        if (!std::binary_search(names.begin(), names.end(), entry.name))
            return false;
        removed += entry.item.structureSize();
        return true;
    });
    return removed;
}

void VKQuotaFolder::sortEntries()
{
    if (!std::is_sorted(entries.begin(), entries.end(),
            [](const VKQuotaEntry& a, const VKQuotaEntry& b) { return a.name < b.name; }))
        std::sort(entries.begin(), entries.end(), [](const VKQuotaEntry& a, const VKQuotaEntry& b) { return a.name < b.name; });
}

std::string VKQuotaFolder::dotText() const
{
    if (!stamp.known)
        return fmt::format("{}::", total);
    return fmt::format("{}:{}:{}", total, stamp.ownSize, stamp.modificationTime);
}

std::optional<VKQuotaItem> VKQuotaFolder::scan(const std::string& path, const std::string& excluded)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return std::nullopt;
    if (!S_ISDIR(info.st_mode))
        return VKQuotaItem { static_cast<uint64_t>(info.st_size), nullptr };
    if (path == excluded)
        return std::nullopt;
    return VKQuotaItem { 0, scanFolder(path, info, excluded) };
}

std::unique_ptr<VKQuotaFolder> VKQuotaFolder::rescan(const std::string& path, VKQuotaFolder* old,
    const std::string& excluded)
{
    auto folder = std::make_unique<VKQuotaFolder>();
    folder->stamp = VKQuotaStamp::forPath(path);
    folder->hasDot = true;
    auto children = listChildren(path);
    folder->total = fillFolder(*folder, path, children, excluded,
        [old](const std::string& name, const struct stat& info) {
            VKQuotaItem* previous = old ? old->find(name) : nullptr;
            if (previous && previous->folder && previous->folder->stamp.matches(VKQuotaStamp::fromStat(info)))
                return std::move(previous->folder);
            return std::unique_ptr<VKQuotaFolder>();
        });
    return folder;
}

core::Value VKQuotaFolder::toValue(size_t& leftOut) const
{
    bool incomplete = false;
    return toValue(leftOut, 0, incomplete);
}

core::Value VKQuotaFolder::toValue(size_t& leftOut, size_t depth, bool& incompleteAbove) const
{
    core::Value::Dictionary dictionary;
    bool incomplete = false;
    if (depth < MaximumSavedDepth) {
        for (const auto& entry : entries) {
            if (!core::utf8::isValid(entry.name)) {
                ++leftOut;
                incomplete = true;
                continue;
            }
            if (entry.item.folder)
                dictionary.emplace_hint(dictionary.end(), entry.name, entry.item.folder->toValue(leftOut, depth + 1, incomplete));
            else
                dictionary.emplace_hint(dictionary.end(), entry.name, core::Value(entry.item.size));
        }
    } else {
        incomplete = !entries.empty();
    }
    if (incomplete)
        incompleteAbove = true;
    if (hasDot) {
        // A folder saved without all of its entries must not pass as valid
        // when it is read back: its stamp is left out.
        VKQuotaFolder stampOnly;
        stampOnly.total = total;
        stampOnly.stamp = incomplete ? VKQuotaStamp() : stamp;
        dictionary.emplace(".", stampOnly.dotText());
    }
    return core::Value(std::move(dictionary));
}

std::unique_ptr<VKQuotaFolder> VKQuotaFolder::fromValue(const core::Value& value, bool isRoot, size_t& dropped)
{
    if (!value.isDictionary())
        return nullptr;
    bool droppedBelow = false;
    return folderFromValue(value, isRoot, 0, dropped, droppedBelow);
}
