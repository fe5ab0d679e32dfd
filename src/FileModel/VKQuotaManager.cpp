#include "FileModel/VKQuotaManager.h"

#include "FileModel/VKQuotaQueries.h"

#include "Kit/MIMETypes.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/Assert.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"

#include <algorithm>
#include <fmt/format.h>
#include <limits>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

std::mutex quotaManagerMutex;
std::shared_ptr<VKQuotaManager> sharedQuotaManager;

std::optional<uint64_t> volumeFreeSpace(const std::string& path)
{
    struct statvfs info;
    if (statvfs(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(info.f_frsize) * static_cast<uint64_t>(info.f_bavail);
}

std::mutex freeSpaceMutex;
VKQuotaManager::FreeSpaceFunction freeSpaceFunction = volumeFreeSpace;

std::optional<uint64_t> freeSpace(const std::string& path)
{
    VKQuotaManager::FreeSpaceFunction function;
    {
        std::lock_guard lock(freeSpaceMutex);
        function = freeSpaceFunction;
    }
    return function(path);
}

core::Value valueOfItem(const VKQuotaItem& item)
{
    if (!item.folder)
        return core::Value(item.size);
    size_t leftOut = 0;
    return item.folder->toValue(leftOut);
}

} // namespace

std::shared_ptr<VKQuotaManager> VKQuotaManager::defaultManager()
{
    std::lock_guard lock(quotaManagerMutex);
    if (!sharedQuotaManager) {
        auto layout = VKHomeLayout::current();
        sharedQuotaManager = create(layout->homeDirectory(), layout->serversDirectory());
    }
    return sharedQuotaManager;
}

void VKQuotaManager::setDefaultManagerForTesting(std::shared_ptr<VKQuotaManager> manager)
{
    std::lock_guard lock(quotaManagerMutex);
    sharedQuotaManager = std::move(manager);
}

std::shared_ptr<VKQuotaManager> VKQuotaManager::create(std::string rootPath, std::string serversPath)
{
    return std::shared_ptr<VKQuotaManager>(new VKQuotaManager(std::move(rootPath), std::move(serversPath)));
}

VKQuotaManager::VKQuotaManager(std::string rootPath, std::string serversPath)
    : m_rootPath(core::path::standardizingPath(rootPath))
    , m_serversPath(core::path::standardizingPath(serversPath))
    , m_root(std::make_unique<VKQuotaFolder>())
{
}

void VKQuotaManager::setFreeSpaceFunctionForTesting(FreeSpaceFunction function)
{
    std::lock_guard lock(freeSpaceMutex);
    freeSpaceFunction = function ? std::move(function) : volumeFreeSpace;
}

std::optional<uint64_t> VKQuotaManager::freeSpaceAtPath(const std::string& path)
{
    return freeSpace(path);
}

bool VKQuotaManager::isServersPath(std::string_view path) const
{
    return core::path::isWithin(path, m_serversPath);
}

std::optional<std::vector<std::string>> VKQuotaManager::pathComponentsRelativeToRootForPath(std::string_view path) const
{
    std::string standardized = core::path::standardizingPath(path);
    if (!core::path::isWithin(standardized, m_rootPath))
        return std::nullopt;
    auto components = core::path::pathComponents(std::string_view(standardized).substr(m_rootPath.size()));
    if (!components.empty() && components.front() == "/")
        components.erase(components.begin());
    return components;
}

std::string VKQuotaManager::pathForComponents(const std::vector<std::string>& components, size_t count) const
{
    std::string path = m_rootPath;
    for (size_t i = 0; i < count; ++i)
        path.append("/").append(components[i]);
    return path;
}

const VKQuotaItem* VKQuotaManager::itemAt(const std::vector<std::string>& components) const
{
    const VKQuotaFolder* folder = m_root.get();
    const VKQuotaItem* item = nullptr;
    for (const auto& component : components) {
        if (!folder)
            return nullptr;
        item = folder->find(component);
        if (!item)
            return nullptr;
        folder = item->folder.get();
    }
    return item;
}

const VKQuotaFolder* VKQuotaManager::folderAt(std::string_view path) const
{
    auto components = pathComponentsRelativeToRootForPath(path);
    if (!components)
        return nullptr;
    if (components->empty())
        return m_root.get();
    const VKQuotaItem* item = itemAt(*components);
    return item ? item->folder.get() : nullptr;
}

VKQuotaManager::Sizes VKQuotaManager::Sizes::of(const VKQuotaItem* item)
{
    return item ? Sizes { item->structureSize(), item->contentSize() } : Sizes {};
}

void VKQuotaManager::replaceItem(const std::vector<std::string>& components, std::optional<VKQuotaItem> item,
    Sizes old)
{
    if (components.empty()) {
        m_root = item && item->folder ? std::move(item->folder) : std::make_unique<VKQuotaFolder>();
        return;
    }
    const Sizes fresh = Sizes::of(item ? &*item : nullptr);
    const bool changed = fresh.total != old.total;
    // Both wrap for a shrink; the sums wrap back.
    const uint64_t delta = fresh.total - old.total;
    const uint64_t contentDelta = fresh.content - old.content;
    m_root->content += contentDelta;
    if (changed) {
        m_root->total += delta;
        m_root->stamp = VKQuotaStamp::forPath(m_rootPath);
        m_root->hasDot = true;
    }
    VKQuotaFolder* folder = m_root.get();
    std::string path = m_rootPath;
    for (size_t i = 0; i + 1 < components.size(); ++i) {
        path.append("/").append(components[i]);
        VKQuotaItem* child = folder->find(components[i]);
        if (child && child->folder) {
            child->folder->content += contentDelta;
            if (changed) {
                child->folder->total += delta;
                child->folder->stamp = VKQuotaStamp::forPath(path);
            }
            folder = child->folder.get();
            continue;
        }
        // Nothing to take out below a folder the tree does not hold.
        if (!item)
            return;
        auto made = std::make_unique<VKQuotaFolder>();
        made->stamp = VKQuotaStamp::forPath(path);
        made->hasDot = true;
        made->total = made->stamp.ownSize + fresh.total;
        made->content = fresh.content;
        VKQuotaFolder* next = made.get();
        folder->set(components[i], VKQuotaItem { 0, std::move(made) });
        folder = next;
    }
    if (item)
        folder->set(components.back(), std::move(*item));
    else
        folder->remove(components.back());
}

void VKQuotaManager::insertItem(const std::vector<std::string>& components, std::optional<VKQuotaItem> item)
{
    std::lock_guard lock(m_updateLock);
    const VKQuotaItem* old = components.empty() ? nullptr : itemAt(components);
    Sizes sizes = components.empty() ? Sizes { m_root->total, m_root->content } : Sizes::of(old);
    replaceItem(components, std::move(item), sizes);
    noteUsedBytes();
}

core::Value VKQuotaManager::quotaStore() const
{
    size_t leftOut = 0;
    core::Value store;
    {
        std::lock_guard lock(m_updateLock);
        store = m_root->toValue(leftOut);
    }
    if (leftOut)
        core::log("Warning, quota store left out {} names that are not UTF-8", leftOut);
    return store;
}

void VKQuotaManager::setQuotaStore(const core::Value& store)
{
    size_t dropped = 0;
    auto root = VKQuotaFolder::fromValue(store, true, dropped);
    if (!root) {
        if (!store.isNull())
            core::log("Warning, quota store is not a tree: {}", store.description().substr(0, 100));
        root = std::make_unique<VKQuotaFolder>();
    }
    if (dropped)
        core::log("Warning, quota store dropped {} malformed entries", dropped);
    std::lock_guard lock(m_updateLock);
    m_root = std::move(root);
    noteUsedBytes();
}

core::Value VKQuotaManager::structureForPath(std::string_view path) const
{
    auto components = pathComponentsRelativeToRootForPath(path);
    if (!components) {
        core::log("structureForPath failed for: {}", path);
        return {};
    }
    std::unique_lock lock(m_updateLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        core::log("Warning: structureForPath failed to acquire lock!");
        return {};
    }
    if (components->empty()) {
        size_t leftOut = 0;
        return m_root->toValue(leftOut);
    }
    const VKQuotaItem* item = itemAt(*components);
    return item ? valueOfItem(*item) : core::Value();
}

uint64_t VKQuotaManager::sizeForStructure(const core::Value& structure)
{
    if (structure.isInteger())
        return static_cast<uint64_t>(structure.integer());
    if (structure.isDictionary() && structure["."].isString()) {
        const std::string& text = structure["."].string();
        uint64_t total = 0;
        for (char c : text) {
            if (c < '0' || c > '9')
                break;
            total = total * 10 + static_cast<uint64_t>(c - '0');
        }
        return total;
    }
    return 0;
}

core::Value VKQuotaManager::createStructureForPath(std::string_view path) const
{
    auto components = pathComponentsRelativeToRootForPath(path);
    if (!components || isServersPath(path))
        return {};
    auto item = VKQuotaFolder::scan(pathForComponents(*components, components->size()), m_serversPath);
    return item ? valueOfItem(*item) : core::Value();
}

void VKQuotaManager::insertStructure(const core::Value& structure, std::string_view path)
{
    auto components = pathComponentsRelativeToRootForPath(path);
    if (!components || isServersPath(path))
        return;
    std::optional<VKQuotaItem> item;
    if (structure.isInteger() && structure.integer() >= 0) {
        item = VKQuotaItem { static_cast<uint64_t>(structure.integer()), nullptr };
    } else if (structure.isDictionary()) {
        size_t dropped = 0;
        auto folder = VKQuotaFolder::fromValue(structure, false, dropped);
        if (!folder) {
            core::log("Warning, malformed quota structure for: {}", path);
            return;
        }
        item = VKQuotaItem { 0, std::move(folder) };
    } else if (!structure.isNull()) {
        core::log("Warning, malformed quota structure for: {}", path);
        return;
    }
    insertItem(*components, std::move(item));
}

void VKQuotaManager::updateLocked(const std::string& path, const std::vector<std::string>& components)
{
    insertItem(components, VKQuotaFolder::scan(path, m_serversPath));
}

void VKQuotaManager::removeEntries(const std::vector<std::string>& folderComponents, std::vector<std::string> names)
{
    std::vector<VKQuotaFolder*> onTheWay { m_root.get() };
    for (const auto& component : folderComponents) {
        VKQuotaItem* child = onTheWay.back()->find(component);
        if (!child || !child->folder)
            return;
        onTheWay.push_back(child->folder.get());
    }
    const uint64_t removed = onTheWay.back()->removeAll(std::move(names));
    if (removed == 0)
        return;
    std::string path = m_rootPath;
    m_root->hasDot = true;
    for (size_t i = 0; i < onTheWay.size(); ++i) {
        if (i > 0)
            path.append("/").append(folderComponents[i - 1]);
        onTheWay[i]->total -= removed;
        onTheWay[i]->stamp = VKQuotaStamp::forPath(path);
    }
}

void VKQuotaManager::updateQuotaForPaths(const std::vector<std::string>& paths)
{
    std::map<std::vector<std::string>, std::vector<std::string>> goneByFolder;
    std::vector<std::string> updated;
    {
        std::lock_guard lock(m_updateLock);
        for (const auto& path : paths) {
            auto components = pathComponentsRelativeToRootForPath(path);
            if (!components || isServersPath(path))
                continue;
            std::string itemPath = pathForComponents(*components, components->size());
            struct stat info;
            if (components->empty() || lstat(itemPath.c_str(), &info) == 0) {
                updateLocked(itemPath, *components);
            } else {
                std::string name = std::move(components->back());
                components->pop_back();
                goneByFolder[std::move(*components)].push_back(std::move(name));
            }
            updated.push_back(std::move(itemPath));
        }
        for (auto& [folderComponents, names] : goneByFolder)
            removeEntries(folderComponents, std::move(names));
        noteUsedBytes();
    }
    for (const auto& path : updated)
        postQuotaUpdateNotification(path);
}

void VKQuotaManager::performUpdate(std::string_view path, const UpdateWork& work)
{
    if (isServersPath(path))
        return;
    auto components = pathComponentsRelativeToRootForPath(path);
    if (!components)
        return;
    std::string itemPath = pathForComponents(*components, components->size());
    {
        std::lock_guard lock(m_updateLock);
        work(itemPath, *components);
        noteUsedBytes();
    }
    postQuotaUpdateNotification(itemPath);
}

void VKQuotaManager::updateQuotaForPath(std::string_view path)
{
    performUpdate(path, [this](const std::string& itemPath, const std::vector<std::string>& components) {
        updateLocked(itemPath, components);
    });
}

void VKQuotaManager::moveStructure(std::string_view from, std::string_view to)
{
    auto fromComponents = isServersPath(from) ? std::nullopt : pathComponentsRelativeToRootForPath(from);
    auto toComponents = isServersPath(to) ? std::nullopt : pathComponentsRelativeToRootForPath(to);
    bool carried = false;
    {
        std::lock_guard lock(m_updateLock);
        auto* item = const_cast<VKQuotaItem*>(
            fromComponents && !fromComponents->empty() ? itemAt(*fromComponents) : nullptr);
        if (item) {
            const Sizes sizes = Sizes::of(item);
            VKQuotaItem taken = std::move(*item);
            replaceItem(*fromComponents, std::nullopt, sizes);
            if (toComponents && !toComponents->empty())
                insertItem(*toComponents, std::move(taken));
            noteUsedBytes();
            carried = true;
        }
    }
    if (!carried) {
        updateQuotaForPath(from);
        updateQuotaForPath(to);
        return;
    }
    postQuotaUpdateNotification(pathForComponents(*fromComponents, fromComponents->size()));
    if (toComponents)
        postQuotaUpdateNotification(pathForComponents(*toComponents, toComponents->size()));
}

void VKQuotaManager::updateQuotaForSingleItemAtPath(std::string_view path)
{
    performUpdate(path, [this](const std::string& itemPath, const std::vector<std::string>& components) {
        auto* item = const_cast<VKQuotaItem*>(components.empty() ? nullptr : itemAt(components));
        struct stat info;
        const bool exists = lstat(itemPath.c_str(), &info) == 0;
        if (!item || (exists && bool(S_ISDIR(info.st_mode)) != item->isFolder())) {
            // Unknown to the tree, or changed kind: the whole item is scanned.
            updateLocked(itemPath, components);
        } else if (!exists) {
            replaceItem(components, std::nullopt, Sizes::of(item));
        } else if (!item->folder) {
            replaceItem(components, VKQuotaItem { static_cast<uint64_t>(info.st_size), nullptr }, Sizes::of(item));
        } else {
            const Sizes old = Sizes::of(item);
            const uint64_t oldOwnSize = item->folder->stamp.known ? item->folder->stamp.ownSize : 0;
            VKQuotaItem moved = std::move(*item);
            moved.folder->stamp = VKQuotaStamp::fromStat(info);
            moved.folder->total = moved.folder->stamp.ownSize - oldOwnSize + old.total;
            replaceItem(components, std::move(moved), old);
        }
    });
}

void VKQuotaManager::smartUpdateQuotaForDirectory(std::string_view path)
{
    rescanDirectory(path);
}

void VKQuotaManager::rescanDirectory(std::string_view path)
{
    performUpdate(path, [this](const std::string& folderPath, const std::vector<std::string>& components) {
        struct stat info;
        if (lstat(folderPath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            updateLocked(folderPath, components);
            return;
        }
        VKQuotaFolder* old = components.empty() ? m_root.get() : const_cast<VKQuotaFolder*>(folderAt(folderPath));
        const VKQuotaItem* oldItem = components.empty() ? nullptr : itemAt(components);
        Sizes sizes = components.empty() ? Sizes { m_root->total, m_root->content } : Sizes::of(oldItem);
        auto folder = VKQuotaFolder::rescan(folderPath, old, m_serversPath);
        replaceItem(components, VKQuotaItem { 0, std::move(folder) }, sizes);
    });
}

void VKQuotaManager::resetQuota()
{
    // The start of a full recount: until its totals arrive, a busy tree
    // still answers the total from before it.
    std::lock_guard lock(m_updateLock);
    m_root = std::make_unique<VKQuotaFolder>();
}

void VKQuotaManager::performWithUpdateLockForTesting(const std::function<void()>& work)
{
    std::lock_guard lock(m_updateLock);
    work();
}

bool VKQuotaManager::isQuotaValidForPath(std::string_view path) const
{
    auto components = pathComponentsRelativeToRootForPath(path);
    if (!components)
        return false;
    std::string folderPath = pathForComponents(*components, components->size());
    struct stat info;
    if (lstat(folderPath.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && !components->empty()) {
        components->pop_back();
        folderPath = pathForComponents(*components, components->size());
    }
    std::lock_guard lock(m_updateLock);
    const VKQuotaFolder* folder = folderAt(folderPath);
    return folder && folder->hasDot && folder->stamp.matches(VKQuotaStamp::forPath(folderPath));
}

void VKQuotaManager::setRebuildingIndex(bool rebuilding)
{
    core::assertIsMainThread();
    m_rebuildingIndex.set(rebuilding);
}

void VKQuotaManager::postQuotaUpdateNotification(std::string_view path)
{
    core::NotificationCenter::defaultCenter().postOnMainThread(VKQuotaManagerDidUpdateQuotaNotification,
        shared_from_this(), { std::string(path) });
}

uint64_t VKQuotaManager::sizeForPath(std::string_view path, bool recurse) const
{
    auto components = pathComponentsRelativeToRootForPath(path);
    if (!components)
        return 0;
    std::lock_guard lock(m_updateLock);
    if (components->empty())
        return m_root->total;
    const VKQuotaItem* item = itemAt(*components);
    if (!item)
        return 0;
    if (recurse || !item->folder)
        return item->structureSize();
    std::string folderPath = pathForComponents(*components, components->size());
    uint64_t total = 0;
    for (const auto& entry : item->folder->entries)
        total += entry.item.folder ? VKQuotaQueries::ownSizeOfFolder(*entry.item.folder, VKQuotaQueries::childPath(folderPath, entry.name))
                                   : entry.item.size;
    return total;
}

uint64_t VKQuotaManager::contentSizeForPath(std::string_view path) const
{
    auto components = pathComponentsRelativeToRootForPath(path);
    if (!components)
        return 0;
    std::lock_guard lock(m_updateLock);
    if (components->empty())
        return m_root->content;
    const VKQuotaItem* item = itemAt(*components);
    return item ? item->contentSize() : 0;
}

bool VKQuotaManager::isQuotaEnforced()
{
    return core::UserDefaults::standard()->boolForKey("VKQuotaEnabled");
}

uint64_t VKQuotaManager::quotaTotalBytes() const
{
    auto defaults = core::UserDefaults::standard();
    if (!defaults->boolForKey("VKQuotaEnabled"))
        return std::numeric_limits<uint64_t>::max();
    int64_t limit = defaults->integerForKey("VKQuotaLimit");
    if (limit <= 0)
        return 0;
    // A limit past what 64 bits hold in bytes is no limit, never a wrapped one.
    if (static_cast<uint64_t>(limit) > (std::numeric_limits<uint64_t>::max() >> 20))
        return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(limit) << 20;
}

uint64_t VKQuotaManager::quotaUsedBytes() const
{
    // A recount may hold the tree for seconds: a check made meanwhile (a
    // PUT, a copy) takes the last total rather than waiting, never 0.
    std::unique_lock lock(m_updateLock, std::try_to_lock);
    if (!lock.owns_lock())
        return m_lastUsedBytes.load();
    return m_root->total;
}

std::optional<uint64_t> VKQuotaManager::quotaAvailableBytes() const
{
    const bool enabled = core::UserDefaults::standard()->boolForKey("VKQuotaEnabled");
    const uint64_t total = quotaTotalBytes();
    const uint64_t used = quotaUsedBytes();
    if (used >= total)
        return 0;
    const uint64_t remaining = total - used;
    if (auto free = freeSpace(m_rootPath))
        return enabled && remaining < *free ? remaining : *free;
    if (enabled)
        return remaining;
    return std::nullopt;
}

std::vector<std::string> VKQuotaManager::collectionNamesForPath(std::string_view path, bool ignorePackages) const
{
    std::vector<std::string> names;
    std::lock_guard lock(m_updateLock);
    if (const VKQuotaFolder* folder = folderAt(path)) {
        for (const auto& entry : folder->entries) {
            if (entry.item.folder && !(ignorePackages && MIMEIsPackageType(entry.name)))
                names.push_back(entry.name);
        }
    }
    return names;
}

std::vector<std::string> VKQuotaManager::collectionPathsRelativeToPath(std::string_view path, bool ignorePackages) const
{
    std::vector<std::string> paths { "/" };
    std::lock_guard lock(m_updateLock);
    const VKQuotaFolder* folder = folderAt(path);
    if (folder && !(ignorePackages && MIMEIsPackageType(std::string(path))))
        VKQuotaQueries::collectFolderPaths(*folder, "", ignorePackages, paths);
    return paths;
}

uint64_t VKQuotaManager::childCountForPath(std::string_view path) const
{
    std::lock_guard lock(m_updateLock);
    const VKQuotaFolder* folder = folderAt(path);
    return folder ? VKQuotaQueries::countItems(*folder) : 0;
}

uint64_t VKQuotaManager::collectionChildCountForPath(std::string_view path, bool ignorePackages) const
{
    std::lock_guard lock(m_updateLock);
    const VKQuotaFolder* folder = folderAt(path);
    return folder ? VKQuotaQueries::countFolders(*folder, ignorePackages) : 0;
}

std::optional<std::vector<std::string>> VKQuotaManager::itemsMatchingQuery(std::string_view query,
    std::string_view rootPath, bool recurse, bool ignorePackageContents) const
{
    VKQuotaQueries::NameQuery nameQuery(query);
    std::lock_guard lock(m_updateLock);
    const VKQuotaFolder* folder = folderAt(rootPath);
    if (!folder)
        return std::nullopt;
    std::vector<std::string> results;
    results.reserve(100);
    VKQuotaQueries::collectMatches(*folder, "", nameQuery, recurse, ignorePackageContents, results);
    return results;
}

uint64_t VKQuotaManager::sizeForPath(std::string_view path, std::string_view query, bool recurse,
    bool ignorePackageContents) const
{
    auto components = pathComponentsRelativeToRootForPath(path);
    if (!components)
        return 0;
    std::optional<VKQuotaQueries::NameQuery> nameQuery;
    if (!query.empty())
        nameQuery.emplace(query);
    std::lock_guard lock(m_updateLock);
    const VKQuotaItem* item = components->empty() ? nullptr : itemAt(*components);
    const VKQuotaFolder* folder = components->empty() ? m_root.get() : item ? item->folder.get() : nullptr;
    if (!folder)
        return item ? item->size : 0;
    return VKQuotaQueries::sizeOfMatches(*folder, pathForComponents(*components, components->size()), nameQuery, recurse,
        ignorePackageContents);
}

uint64_t VKQuotaManager::contentSizeOfItemsMatchingQuery(std::string_view query, std::string_view rootPath,
    bool recurse, bool ignorePackageContents) const
{
    VKQuotaQueries::NameQuery nameQuery(query);
    std::lock_guard lock(m_updateLock);
    const VKQuotaFolder* folder = folderAt(rootPath);
    return folder ? VKQuotaQueries::contentOfMatches(*folder, "", nameQuery, recurse, ignorePackageContents) : 0;
}

std::string VKQuotaManager::description() const
{
    return core::Object::description() + " " + quotaStore().description();
}
