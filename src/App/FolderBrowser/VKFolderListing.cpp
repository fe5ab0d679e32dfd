#include "App/FolderBrowser/VKFolderListing.h"

#include "App/FolderBrowser/VKFolderChangeFeed.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/UserDefaults.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <functional>
#include <typeinfo>
#include <unordered_set>

namespace {

// The rows of a listing by name, for a read of the folder to find the rows
// it keeps: a flat table of row numbers with a part of each name's hash, no
// node per name. A download's row is never kept (its file is listed anew).
class NameTable {
public:
    explicit NameTable(const std::vector<VKFolderRow>& rows)
        : m_rows(rows)
    {
        size_t capacity = 16;
        while (capacity < rows.size() * 2)
            capacity <<= 1;
        m_slots.assign(capacity, Slot {});
        m_mask = capacity - 1;
        for (uint32_t i = 0; i < uint32_t(rows.size()); ++i) {
            if (rows[i].download)
                continue;
            size_t hash = std::hash<std::string_view>()(rows[i].name);
            size_t at = hash & m_mask;
            while (m_slots[at].index != Empty)
                at = (at + 1) & m_mask;
            m_slots[at] = { uint32_t(hash >> 32), i };
        }
    }

    std::optional<size_t> find(std::string_view name) const
    {
        size_t hash = std::hash<std::string_view>()(name);
        for (size_t at = hash & m_mask; m_slots[at].index != Empty; at = (at + 1) & m_mask) {
            const Slot& slot = m_slots[at];
            if (slot.tag == uint32_t(hash >> 32) && m_rows[slot.index].name == name)
                return slot.index;
        }
        return std::nullopt;
    }

private:
    static constexpr uint32_t Empty = UINT32_MAX;
    struct Slot {
        uint32_t tag = 0;
        uint32_t index = Empty;
    };
    const std::vector<VKFolderRow>& m_rows;
    std::vector<Slot> m_slots;
    size_t m_mask = 0;
};

bool isAttributeOrder(int order)
{
    return order == VKFolderSorting::SizeOrder || order == VKFolderSorting::DateOrder;
}

} // namespace

VKFolderListing::VKFolderListing(std::shared_ptr<VKFileResource> folder, Host& host)
    : m_host(host)
    , m_folder(std::move(folder))
    , m_folderPath(core::path::standardizingPath(m_folder->path()))
{
}

VKFolderListing::~VKFolderListing() = default;

void VKFolderListing::watchFolder()
{
    // The feed is this listing's own: its call never outlives it.
    m_changeFeed = std::make_unique<VKFolderChangeFeed>(m_folderPath, isLocalFolder(), [this] { folderDidChange(false); },
        [this] {
            m_childrenValid = false;
            m_host.listingFolderMayBeGone();
        });
}

bool VKFolderListing::isWatchingFolder() const
{
    return m_changeFeed && m_changeFeed->isWatching();
}

bool VKFolderListing::isLocalFolder() const
{
    return !m_folder->isCloudResource();
}

const VKFolderSorting& VKFolderListing::sorting()
{
    if (!m_sorting)
        m_sorting.emplace(VKFolderSorting::currentOrder());
    return *m_sorting;
}

bool VKFolderListing::showsHiddenFiles()
{
    return core::UserDefaults::standard()->boolForKey("VKShowHiddenFiles");
}

bool VKFolderListing::isHiddenName(const std::string& name) const
{
    return name.starts_with('.') && !showsHiddenFiles();
}

// MARK: The rows

size_t VKFolderListing::count()
{
    return builtRows().size();
}

const std::vector<VKFolderRow>& VKFolderListing::builtRows()
{
    if (!m_built)
        rebuild(false);
    return rows();
}

std::shared_ptr<VKFileResource> VKFolderListing::resourceAt(size_t index)
{
    const auto& listed = builtRows();
    return index < listed.size() ? listed[index].resource : nullptr;
}

std::vector<std::shared_ptr<VKFileResource>> VKFolderListing::resources()
{
    const auto& listed = builtRows();
    std::vector<std::shared_ptr<VKFileResource>> resources;
    resources.reserve(listed.size());
    for (const auto& row : listed)
        resources.push_back(row.resource);
    return resources;
}

std::optional<size_t> VKFolderListing::indexOf(const std::vector<VKFolderRow>& rows, const std::string& path) const
{
    std::string standardized = core::path::standardizingPath(path);
    std::string name = core::path::lastPathComponent(standardized);
    bool inFolder = core::path::deletingLastPathComponent(standardized) == m_folderPath;
    if (!inFolder && &rows == &m_children)
        return std::nullopt;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == name && core::path::standardizingPath(rows[i].resource->path()) == standardized)
            return i;
    return std::nullopt;
}

std::optional<size_t> VKFolderListing::indexOf(const std::string& path) const
{
    if (!m_built)
        return std::nullopt;
    return indexOf(rows(), path);
}

const std::vector<VKFolderRow>& VKFolderListing::children()
{
    if (!m_childrenValid)
        rebuild(false);
    return m_children;
}

bool VKFolderListing::listsChild(const std::shared_ptr<VKFileResource>& resource) const
{
    return m_childrenValid
        && std::any_of(m_children.begin(), m_children.end(), [&](const auto& row) { return row.resource == resource; });
}

std::optional<size_t> VKFolderListing::rowForIndexLabel(std::string_view label)
{
    const auto& listed = builtRows();
    if (!m_sections)
        m_sections.emplace(listed, sorting().order() == VKFolderSorting::KindOrder);
    return m_sections->targetRowForLabel(label);
}

// MARK: Building

void VKFolderListing::readChildren()
{
    if (m_changeFeed)
        m_changeFeed->willReadFolder();
    ++m_directoryReads;
    const VKFolderSorting& order = sorting();
    bool showHidden = showsHiddenFiles();
    std::vector<VKFolderRow> old = std::move(m_children);
    m_children.clear();
    std::vector<VKFolderRow> fresh;
    // Names listed before keep their rows (resources, keys and ranks), in
    // the order they had; only new names are made into resources and keyed.
    bool reuse = !old.empty() && isLocalFolder();
    core::Error failure;
    bool failed = false;
    if (reuse) {
        NameTable known(old);
        std::vector<char> kept(old.size(), 0);
        auto names = m_folder->childNames(&failure);
        failed = !names;
        if (names) {
            for (auto& name : *names) {
                if (!showHidden && name.starts_with('.'))
                    continue;
                if (auto found = known.find(name)) {
                    kept[*found] = 1;
                    continue;
                }
                if (auto child = VKFileResource::resourceWithPath(core::path::appendingPathComponent(m_folderPath, name)))
                    fresh.push_back(order.makeRow(std::move(child), false));
            }
        }
        // In place: rows before the first that went do not move.
        size_t stay = 0;
        for (size_t i = 0; i < old.size(); ++i)
            if (kept[i] && stay++ != i)
                old[stay - 1] = std::move(old[i]);
        old.resize(stay);
        m_children = std::move(old);
    } else if (auto listed = m_folder->children(&failure)) {
        fresh = order.makeRows(std::move(*listed));
        if (!showHidden)
            std::erase_if(fresh, [](const VKFolderRow& row) { return row.name.starts_with('.'); });
    } else {
        failed = true;
    }
    // A local folder that could not be read lists nothing and says why; it
    // is read again when it changes or shows again.
    m_readError = failed && isLocalFolder() ? std::optional(std::move(failure)) : std::nullopt;
    m_downloadPaths.clear();
    if (auto downloads = VKDownloadHooks::current()) {
        for (auto& download : downloads->downloadsForTargetFolder(m_folder->path())) {
            if (!download)
                continue;
            followDownload(download);
            VKFolderRow row = order.makeRow(std::move(download), false);
            if (showHidden || !row.name.starts_with('.'))
                fresh.push_back(std::move(row));
        }
    }
    old.clear();
    reserveChildren(fresh.size());

    // Sorted already, the kept rows take the new ones by a merge. Sizes and
    // dates may have changed: those orders read them again, and only the
    // rows whose size or date did change are placed anew.
    if (reuse && m_childrenOrder == order.order()) {
        if (isAttributeOrder(order.order())) {
            std::vector<std::pair<uint64_t, double>> before;
            before.reserve(m_children.size());
            for (const auto& row : m_children)
                before.emplace_back(row.size, row.date);
            order.prepare(m_children, true);
            std::vector<char> moved(m_children.size(), 0);
            for (size_t i = 0; i < m_children.size(); ++i)
                moved[i] = before[i] != std::pair(m_children[i].size, m_children[i].date);
            size_t stay = 0;
            for (size_t i = 0; i < m_children.size(); ++i) {
                if (moved[i])
                    fresh.push_back(std::move(m_children[i]));
                else if (stay++ != i)
                    m_children[stay - 1] = std::move(m_children[i]);
            }
            m_children.resize(stay);
        }
        order.merge(m_children, std::move(fresh));
    } else {
        for (auto& row : fresh)
            m_children.push_back(std::move(row));
        if (reuse && isAttributeOrder(order.order()))
            order.prepare(m_children, true);
        order.sort(m_children);
    }
    m_childrenOrder = order.order();
    m_childrenValid = true;
}

std::vector<std::shared_ptr<VKFileResource>> VKFolderListing::searchResults(const Query& query) const
{
    if (query.roots.empty())
        return m_folder->childrenMatchingName(query.text);
    std::vector<std::shared_ptr<VKFileResource>> results;
    auto quota = VKQuotaManager::defaultManager();
    for (const auto& root : query.roots) {
        auto matches = quota->itemsMatchingQuery(query.text, root, true, true);
        if (!matches)
            continue;
        for (const auto& relative : *matches) {
            // A path that vanished since the tree was updated is left out.
            if (auto found = VKFileResource::resourceWithPath(core::path::appendingPathComponent(root, relative)))
                results.push_back(std::move(found));
        }
    }
    return results;
}

void VKFolderListing::rebuild(bool flush)
{
    ++m_builds;
    const VKFolderSorting& order = sorting();
    if (!m_childrenValid || flush || m_readError) {
        readChildren();
    } else if (m_childrenOrder != order.order()) {
        // A new order sorts the rows again on the keys they have.
        order.sort(m_children);
        m_childrenOrder = order.order();
    }
    m_sections.reset();
    m_built = true;
    m_searchRows.clear();
    auto query = m_host.listingQuery();
    m_searchResults = query && !query->text.empty();
    if (m_searchResults) {
        for (auto& result : searchResults(*query))
            m_searchRows.push_back(order.makeRow(std::move(result)));
        order.sort(m_searchRows);
    }
    m_host.listingDidRebuild();
    // No folder where it was: removed or renamed from outside.
    const bool missing = m_readError && m_readError->domain() == core::Error::POSIXDomain
        && (m_readError->code() == ENOENT || m_readError->code() == ENOTDIR);
    if (missing)
        m_host.listingFolderMayBeGone();
}

bool VKFolderListing::isStale()
{
    return !m_built || !m_childrenValid || m_readError || m_childrenOrder != sorting().order();
}

void VKFolderListing::refresh()
{
    rebuild(false);
    m_host.listingDidChange();
}

// MARK: Following changes

void VKFolderListing::settingDidChange(const std::string& key)
{
    if (key == "VKFileSortOrder")
        m_sorting.reset();
    else if (key == "VKShowHiddenFiles")
        m_childrenValid = false;
    else
        return;
    if (m_host.listingIsOnTop())
        refresh();
}

void VKFolderListing::folderDidChange(bool collapse)
{
    m_childrenValid = false;
    if (!m_host.listingIsOnTop())
        return;
    if (collapse && m_changeFeed)
        m_changeFeed->noteChange();
    else
        refresh();
}

void VKFolderListing::folderWasReported(bool burst)
{
    if (isWatchingFolder() && !burst)
        m_changeFeed->reportPendingChanges();
    // A folder whose watch ended on the way (it went) takes the news itself.
    if (!isWatchingFolder())
        folderDidChange(burst);
}

bool VKFolderListing::contentSizeDidChange(const std::string& path)
{
    if (!m_childrenValid || m_searchResults)
        return false;
    const bool bySize = sorting().order() == VKFolderSorting::SizeOrder;
    if (path == m_folderPath) {
        // Files of the folder itself may have been rewritten.
        if (bySize) {
            sorting().prepare(m_children, true);
            sorting().sort(m_children);
            m_sections.reset();
        }
        return true;
    }
    if (!bySize || !core::path::isWithin(path, m_folderPath))
        return false;
    std::string relative = path.substr(m_folderPath.size() + 1);
    std::string child = relative.substr(0, relative.find('/'));
    auto row = indexOf(m_children, core::path::appendingPathComponent(m_folderPath, child));
    if (!row)
        return false;
    VKFolderRow moved = std::move(m_children[*row]);
    m_children.erase(m_children.begin() + std::ptrdiff_t(*row));
    sorting().prepare(moved, true);
    size_t place = sorting().insertionIndex(m_children, moved);
    m_children.insert(m_children.begin() + std::ptrdiff_t(place), std::move(moved));
    return place != *row;
}

void VKFolderListing::drop()
{
    m_downloadPaths.clear();
    m_children.clear();
    m_childrenValid = false;
    m_searchRows.clear();
    m_built = false;
    m_sections.reset();
}

// MARK: Edits by the browser

bool VKFolderListing::removeChild(const VKFileResource& resource)
{
    // The row's own resource first: a cloud item's path is gone once its
    // node is deleted.
    auto own = std::find_if(m_children.begin(), m_children.end(),
        [&](const VKFolderRow& row) { return row.resource.get() == &resource; });
    if (own != m_children.end()) {
        m_children.erase(own);
        return true;
    }
    auto row = indexOf(m_children, resource.path());
    if (!row)
        return false;
    m_children.erase(m_children.begin() + std::ptrdiff_t(*row));
    return true;
}

void VKFolderListing::insertChild(const std::shared_ptr<VKFileResource>& resource)
{
    removeChild(*resource);
    if (resource->isDownloadResource())
        followDownload(resource);
    const VKFolderSorting& order = sorting();
    VKFolderRow row = order.makeRow(resource);
    if (m_childrenOrder != order.order()) {
        // Rows in another order are sorted again at the next build.
        m_children.push_back(std::move(row));
        m_childrenOrder = -1;
        return;
    }
    // A binary insertion on the rows' keys: no directory read, no sort.
    reserveChildren(1);
    size_t at = order.insertionIndex(m_children, row);
    m_children.insert(m_children.begin() + std::ptrdiff_t(at), std::move(row));
}

void VKFolderListing::reserveChildren(size_t more)
{
    // A little room beyond: the next few items added move no other row.
    if (m_children.capacity() < m_children.size() + more)
        m_children.reserve(m_children.size() + more + m_children.size() / 16 + 16);
}

void VKFolderListing::didEdit()
{
    m_sections.reset();
    // The browser's own edit is in the rows already: its news from the
    // watcher is no reason to read the folder again.
    if (m_changeFeed)
        m_changeFeed->acknowledgeChanges();
    if (m_inBatch)
        return;
    if (isStale() || m_searchResults)
        rebuild(false);
    m_host.listingDidChange();
}

void VKFolderListing::followDownload(const std::shared_ptr<VKFileResource>& download)
{
    if (m_downloadPaths.contains(download.get()))
        return;
    // The observation is this listing's own: its call never outlives it.
    std::weak_ptr<VKFileResource> weak = download;
    m_downloadPaths.emplace(download.get(), download->observeValueForKey("path", [this, weak] {
        if (auto moved = weak.lock())
            downloadDidMove(moved);
    }));
}

void VKFolderListing::downloadDidMove(const std::shared_ptr<VKFileResource>& download)
{
    if (!listsChild(download))
        return;
    // Out of the folder (its folder moved), or under a hidden name: the row
    // goes; else it takes its place under the new name.
    std::string path = core::path::standardizingPath(download->path());
    if (core::path::deletingLastPathComponent(path) != m_folderPath || isHiddenName(download->name()))
        removeChild(*download);
    else
        insertChild(download);
    didEdit();
}

void VKFolderListing::add(const std::shared_ptr<VKFileResource>& resource)
{
    // Hidden names stay out of the list however they arrive.
    if (!resource || isHiddenName(resource->name()))
        return;
    if (m_childrenValid)
        insertChild(resource);
    didEdit();
}

void VKFolderListing::remove(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return;
    removeChild(*resource);
    if (m_searchResults) {
        if (auto row = indexOf(m_searchRows, resource->path()))
            m_searchRows.erase(m_searchRows.begin() + std::ptrdiff_t(*row));
    }
    didEdit();
}

void VKFolderListing::remove(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    if (resources.empty())
        return;
    // The resources are mostly the rows' own: matched by identity first,
    // and by path only when some were made elsewhere.
    std::unordered_set<const VKFileResource*> objects;
    for (const auto& resource : resources)
        if (resource)
            objects.insert(resource.get());
    auto removeFrom = [&](std::vector<VKFolderRow>& from) {
        size_t removed = std::erase_if(from, [&](const VKFolderRow& row) { return objects.contains(row.resource.get()); });
        if (removed >= objects.size())
            return;
        std::unordered_set<std::string> paths;
        for (const auto* resource : objects)
            paths.insert(core::path::standardizingPath(resource->path()));
        std::erase_if(from, [&](const VKFolderRow& row) {
            return paths.contains(core::path::standardizingPath(row.resource->path()));
        });
    };
    removeFrom(m_children);
    if (m_searchResults)
        removeFrom(m_searchRows);
    didEdit();
}

void VKFolderListing::replace(const std::shared_ptr<VKFileResource>& from, const std::shared_ptr<VKFileResource>& to)
{
    if (!from || !to)
        return;
    // A download and the file it became share a path yet differ.
    if (from == to || (typeid(*from) == typeid(*to) && from->isEqual(*to)))
        return;
    if (m_childrenValid) {
        removeChild(*from);
        if (!isHiddenName(to->name()))
            insertChild(to);
    }
    didEdit();
}

bool VKFolderListing::hasChildNamed(const std::string& name, bool ignoringCase)
{
    if (name.empty())
        return false;
    if (core::fs::attributes(core::path::appendingPathComponent(m_folderPath, name)))
        return true;
    if (!ignoringCase)
        return false;
    std::string folded = core::caseFolded(name);
    for (const auto& row : children())
        if (core::caseFolded(row.resource->name()) == folded)
            return true;
    return false;
}
