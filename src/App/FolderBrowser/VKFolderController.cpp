#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderChangeFeed.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKFolderMedia.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "App/FolderBrowser/VKIndexView.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/TableViewCell.h"
#include "WebDAV/WebDAVResponse.h"

#include <fmt/format.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_set>

namespace {

constexpr double CollapsedUpdateDelay = 0.4;
constexpr const char* ModelUpdateTag = "updateModelAndView";
constexpr const char* ReloadTag = "reloadData";

std::mutex& factoryMutex()
{
    static std::mutex mutex;
    return mutex;
}

VKFolderController::Factory& cloudFactory()
{
    static VKFolderController::Factory factory;
    return factory;
}

// Splits an alphabet into its characters, one label each.
std::vector<std::string> listFromAlphabet(std::string_view alphabet)
{
    std::vector<std::string> labels;
    for (size_t offset = 0; offset < alphabet.size();) {
        core::CodePoint point = core::decodeCodePoint(alphabet, offset);
        labels.emplace_back(alphabet.substr(offset, point.length));
        offset += point.length;
    }
    return labels;
}

bool isGuestMode()
{
    auto hooks = VKAppDelegateHooks::current();
    return hooks && hooks->isGuestMode();
}

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

} // namespace

void VKFolderController::setCloudFolderControllerFactory(Factory factory)
{
    std::lock_guard lock(factoryMutex());
    cloudFactory() = std::move(factory);
}

std::shared_ptr<VKFolderController> VKFolderController::folderControllerWithResource(
    const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return nullptr;
    Factory factory;
    {
        std::lock_guard lock(factoryMutex());
        factory = cloudFactory();
    }
    if (resource->isCloudResource() && factory)
        return factory(resource);
    return create(resource);
}

std::shared_ptr<VKFolderController> VKFolderController::create(const std::shared_ptr<VKFileResource>& resource)
{
    auto controller = std::make_shared<VKFolderController>(resource);
    controller->startObserving();
    return controller;
}

VKFolderController::VKFolderController(std::shared_ptr<VKFileResource> resource)
    : m_resource(std::move(resource))
    , m_folderPath(core::path::standardizingPath(m_resource->path()))
{
    setTitle(m_resource->localizedName());
}

VKFolderController::~VKFolderController()
{
    m_observations.clear();
}

std::shared_ptr<VKFolderController> VKFolderController::self()
{
    return std::static_pointer_cast<VKFolderController>(shared_from_this());
}

void VKFolderController::startObserving()
{
    auto& center = core::NotificationCenter::defaultCenter();
    std::weak_ptr<VKFolderController> weak = self();
    // What other programs do to the folder shows as the server's changes do.
    m_changeFeed = std::make_unique<VKFolderChangeFeed>(m_folderPath, isLocalFolder(), [weak] {
        if (auto controller = weak.lock())
            controller->folderDidChange();
    });
    auto to = [weak](void (VKFolderController::*handler)(const core::Notification&)) {
        return [weak, handler](const core::Notification& notification) {
            if (auto controller = weak.lock())
                (controller.get()->*handler)(notification);
        };
    };
    m_observations.push_back(center.observe(WebDAVCollectionDidUpdateNotification, nullptr,
        to(&VKFolderController::collectionDidUpdate)));
    m_observations.push_back(center.observe(VKFolderControllerCollectionDidUpdateNotification, nullptr,
        to(&VKFolderController::collectionDidUpdate)));
    m_observations.push_back(center.observe(VKQuotaManagerDidUpdateQuotaNotification, nullptr,
        to(&VKFolderController::quotaDidUpdate)));
    m_transfers.observe(std::static_pointer_cast<VKFolderTransferRows::Host>(self()), m_folderPath);
    for (const char* name : { VKCloudUploadManagerUploadDidStartNotification, VKCloudUploadManagerUploadDidEndNotification }) {
        m_observations.push_back(center.observe(name, nullptr, [weak](const core::Notification&) {
            // Uploads start and end on the cloud layer's threads.
            core::RunLoop::main().post([weak] {
                if (auto controller = weak.lock()) {
                    controller->updateUploadProgressView();
                    controller->updateEditButton();
                }
            });
        }));
    }
    // A desktop window resized without turning: the editing buttons fit
    // the bar once it has its new width.
    m_observations.push_back(center.observe(ui::Application::didResizeScreenNotification, nullptr,
        [weak](const core::Notification&) {
            core::RunLoop::main().post([weak] {
                if (auto controller = weak.lock(); controller && controller->isEditing())
                    controller->editing().fitToolbarItems();
            });
        }));
    for (const char* key : { "VKDisplayFileExtensions", "VKFileSortOrder", "VKShowHiddenFiles" }) {
        m_observations.push_back(core::UserDefaults::standard()->observe(key, [weak, key](const core::Value&) {
            // Settings may change on any thread; the list follows on the main one.
            core::RunLoop::main().post([weak, key] {
                if (auto controller = weak.lock())
                    controller->settingDidChange(key);
            });
        }));
    }
}

bool VKFolderController::isLocalFolder() const
{
    return !m_resource->isCloudResource();
}

std::string VKFolderController::description() const
{
    return fmt::format("VKFolderController ({}): {}", static_cast<const void*>(this),
        core::path::abbreviatingWithTildeInPath(m_resource->path()));
}

// MARK: The rows

const VKFolderSorting& VKFolderController::sorting()
{
    if (!m_sorting)
        m_sorting.emplace(VKFolderSorting::currentOrder());
    return *m_sorting;
}

bool VKFolderController::showsHiddenFiles() const
{
    return core::UserDefaults::standard()->boolForKey("VKShowHiddenFiles");
}

bool VKFolderController::isHiddenName(const std::string& name) const
{
    return name.starts_with('.') && !showsHiddenFiles();
}

std::vector<VKFolderRow>& VKFolderController::rows()
{
    return m_rowsAreSearchResults ? m_searchRows : m_children;
}

const std::vector<VKFolderRow>& VKFolderController::rows() const
{
    return m_rowsAreSearchResults ? m_searchRows : m_children;
}

void VKFolderController::readChildren()
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
    if (reuse) {
        NameTable known(old);
        std::vector<char> kept(old.size(), 0);
        if (auto names = m_resource->childNames()) {
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
    } else if (auto listed = m_resource->children()) {
        fresh = order.makeRows(std::move(*listed));
        if (!showHidden)
            std::erase_if(fresh, [](const VKFolderRow& row) { return row.name.starts_with('.'); });
    }
    if (auto downloads = VKDownloadHooks::current()) {
        for (auto& download : downloads->downloadsForTargetFolder(m_resource->path())) {
            if (!download)
                continue;
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
        if (order.order() == VKFolderSorting::SizeOrder || order.order() == VKFolderSorting::DateOrder) {
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
        if (reuse && (order.order() == VKFolderSorting::SizeOrder || order.order() == VKFolderSorting::DateOrder))
            order.prepare(m_children, true);
        order.sort(m_children);
    }
    m_childrenOrder = order.order();
    m_childrenValid = true;
}

std::vector<std::shared_ptr<VKFileResource>> VKFolderController::searchResults(const std::string& text) const
{
    if (searchScope() == 0)
        return m_resource->childrenMatchingName(text);
    std::vector<std::shared_ptr<VKFileResource>> results;
    auto application = VKApplication::sharedApplication();
    std::vector<std::string> roots { application->publicDirectory() };
    if (!isGuestMode())
        roots.push_back(application->documentsDirectory());
    auto quota = VKQuotaManager::defaultManager();
    for (const auto& root : roots) {
        auto matches = quota->itemsMatchingQuery(text, root, true, true);
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

void VKFolderController::updateModelFlushingCache(bool flush)
{
    ++m_modelBuilds;
    const VKFolderSorting& order = sorting();
    if (!m_childrenValid || flush) {
        readChildren();
    } else if (m_childrenOrder != order.order()) {
        // A new order sorts the rows again on the keys they have.
        order.sort(m_children);
        m_childrenOrder = order.order();
    }
    m_sectionIndexes.reset();
    m_rowsBuilt = true;
    m_searchRows.clear();
    auto text = searchText();
    m_rowsAreSearchResults = text && !text->empty();
    if (m_rowsAreSearchResults) {
        for (auto& result : searchResults(*text))
            m_searchRows.push_back(order.makeRow(std::move(result)));
        order.sort(m_searchRows);
    }
    editing().prune();
    if (isEditing() && isViewLoaded())
        editing().updateBars();
}

void VKFolderController::updateModelAndView()
{
    updateModelFlushingCache(false);
    updateView();
}

void VKFolderController::updateView()
{
    if (!isSearching())
        updateIndexView();
    updateFolderInfo();
    if (isViewLoaded())
        activeTableView().reloadData();
}

std::vector<std::shared_ptr<VKFileResource>> VKFolderController::filteredResources()
{
    if (!m_rowsBuilt)
        updateModelFlushingCache(false);
    std::vector<std::shared_ptr<VKFileResource>> resources;
    resources.reserve(rows().size());
    for (const auto& row : rows())
        resources.push_back(row.resource);
    return resources;
}

size_t VKFolderController::rowCount()
{
    if (!m_rowsBuilt)
        updateModelFlushingCache(false);
    return rows().size();
}

std::shared_ptr<VKFileResource> VKFolderController::resourceAtIndexPath(ui::IndexPath path)
{
    if (path.section != tableSectionForResources() || path.row < 0 || size_t(path.row) >= rowCount())
        return nullptr;
    return rows()[size_t(path.row)].resource;
}

std::optional<size_t> VKFolderController::rowIndexOfPath(const std::vector<VKFolderRow>& rows, const std::string& path) const
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

std::optional<ui::IndexPath> VKFolderController::indexPathOfResource(const VKFileResource& resource) const
{
    if (!m_rowsBuilt)
        return std::nullopt;
    auto row = rowIndexOfPath(rows(), resource.path());
    if (!row)
        return std::nullopt;
    return ui::IndexPath { tableSectionForResources(), int(*row) };
}

std::vector<std::shared_ptr<VKFileResource>> VKFolderController::childResources() const
{
    std::vector<std::shared_ptr<VKFileResource>> children;
    if (m_childrenValid)
        for (const auto& row : m_children)
            children.push_back(row.resource);
    return children;
}

// MARK: Edits by the browser

bool VKFolderController::removeChild(const VKFileResource& resource)
{
    // The row's own resource first: a cloud item's path is gone once its
    // node is deleted.
    auto own = std::find_if(m_children.begin(), m_children.end(),
        [&](const VKFolderRow& row) { return row.resource.get() == &resource; });
    if (own != m_children.end()) {
        m_children.erase(own);
        return true;
    }
    auto row = rowIndexOfPath(m_children, resource.path());
    if (!row)
        return false;
    m_children.erase(m_children.begin() + std::ptrdiff_t(*row));
    return true;
}

void VKFolderController::insertChild(const std::shared_ptr<VKFileResource>& resource)
{
    removeChild(*resource);
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

void VKFolderController::reserveChildren(size_t more)
{
    // A little room beyond: the next few items added move no other row.
    if (m_children.capacity() < m_children.size() + more)
        m_children.reserve(m_children.size() + more + m_children.size() / 16 + 16);
}

void VKFolderController::modelDidChange()
{
    m_sectionIndexes.reset();
    // The browser's own edit is in the rows already: its news from the
    // watcher is no reason to read the folder again.
    if (m_changeFeed)
        m_changeFeed->acknowledgeChanges();
    if (m_inModelUpdate)
        return;
    if (!m_childrenValid || m_childrenOrder != sorting().order() || m_rowsAreSearchResults || !m_rowsBuilt)
        updateModelAndView();
    else
        updateView();
}

void VKFolderController::addResourceToModel(const std::shared_ptr<VKFileResource>& resource)
{
    // Hidden names stay out of the list however they arrive.
    if (!resource || isHiddenName(resource->name()))
        return;
    if (m_childrenValid)
        insertChild(resource);
    modelDidChange();
}

void VKFolderController::removeResourceFromModel(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return;
    removeChild(*resource);
    if (m_rowsAreSearchResults) {
        if (auto row = rowIndexOfPath(m_searchRows, resource->path()))
            m_searchRows.erase(m_searchRows.begin() + std::ptrdiff_t(*row));
    }
    modelDidChange();
}

void VKFolderController::removeResourcesFromModel(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    if (resources.empty())
        return;
    // The resources are mostly the rows' own: matched by identity first,
    // and by path only when some were made elsewhere.
    std::unordered_set<const VKFileResource*> objects;
    for (const auto& resource : resources)
        if (resource)
            objects.insert(resource.get());
    auto remove = [&](std::vector<VKFolderRow>& from) {
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
    remove(m_children);
    if (m_rowsAreSearchResults)
        remove(m_searchRows);
    modelDidChange();
}

void VKFolderController::replaceResourceInModel(const std::shared_ptr<VKFileResource>& from,
    const std::shared_ptr<VKFileResource>& to)
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
    modelDidChange();
}

// MARK: The letter strip

const VKFolderController::IndexLabels& VKFolderController::localizedIndexLabels(const std::string& language)
{
    static const std::map<std::string, IndexLabels> labels = [] {
        std::vector<std::string> latin = listFromAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        std::map<std::string, IndexLabels> table;
        table["en"] = { { { "#" }, latin }, { false, true } };
        table["ru"] = { { { "#" }, latin, listFromAlphabet("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ") }, { false, true, true } };
        table["ja"] = { { { "#" }, latin, listFromAlphabet("あかさたなはまやらわ") }, { false, true, false } };
        return table;
    }();
    auto found = labels.find(language);
    return found != labels.end() ? found->second : labels.at("en");
}

size_t VKFolderController::numberOfSectionsInIndexView(VKIndexView&)
{
    return localizedIndexLabels(VKApplication::currentLanguage()).sections.size();
}

std::vector<std::string> VKFolderController::labelsForSection(VKIndexView&, size_t section)
{
    const auto& labels = localizedIndexLabels(VKApplication::currentLanguage());
    return section < labels.sections.size() ? labels.sections[section] : std::vector<std::string> {};
}

bool VKFolderController::canCompressLabelsInSection(VKIndexView&, size_t section)
{
    const auto& labels = localizedIndexLabels(VKApplication::currentLanguage());
    return section < labels.canCompress.size() && labels.canCompress[section];
}

void VKFolderController::selectedIndexLabelDidChange()
{
    if (!m_indexView || !m_indexView->selectedLabel())
        return;
    jumpToIndexLabel(*m_indexView->selectedLabel());
}

void VKFolderController::jumpToIndexLabel(const std::string& label)
{
    if (!isViewLoaded())
        return;
    if (!m_rowsBuilt)
        updateModelFlushingCache(false);
    if (!m_sectionIndexes)
        m_sectionIndexes.emplace(rows(), sorting().order() == VKFolderSorting::KindOrder);
    ui::TableView& table = tableView();
    auto target = m_sectionIndexes->targetRowForLabel(label);
    if (!target || *target >= rows().size()) {
        table.setContentOffset({ 0, 0 });
        return;
    }
    gfx::Rect row = table.rectForRow({ tableSectionForResources(), int(*target) });
    float lowest = table.contentSize().height - table.frame().height();
    float y = std::max(0.0f, std::min(row.y(), lowest));
    if (table.contentOffset().y == y)
        return;
    table.setContentOffset({ row.x(), y });
    table.setNeedsDisplay();
}

bool VKFolderController::shouldDisplayIndexView()
{
    return sorting().showsIndex();
}

gfx::Rect VKFolderController::indexViewFrame() const
{
    if (!isViewLoaded())
        return {};
    auto& table = const_cast<VKFolderController*>(this)->tableView();
    float width = m_indexView ? m_indexView->frame().width() : 0;
    gfx::Rect bounds = table.bounds();
    return { bounds.maxX() - width - VKFolderControllerIndexViewMargin, bounds.y() + VKFolderControllerIndexViewMargin,
        width, bounds.height() - 2 * VKFolderControllerIndexViewMargin };
}

void VKFolderController::updateIndexView()
{
    if (!isViewLoaded())
        return;
    ui::TableView& table = tableView();
    if (!shouldDisplayIndexView()) {
        setIndexViewHidden(true, false);
        return;
    }
    if (m_indexView && m_indexView->superview() == &table) {
        setIndexViewHidden(false, false);
        return;
    }
    if (!m_indexView) {
        m_indexView = VKIndexView::create();
        m_indexView->setDataSource(self());
        std::weak_ptr<VKFolderController> weak = self();
        m_indexView->addTarget(nullptr, "selectedIndexLabelDidChange", [weak](ui::Control&, const ui::Event*) {
            if (auto controller = weak.lock())
                controller->selectedIndexLabelDidChange();
        }, ui::Control::ValueChanged);
    }
    m_indexView->setFrame(indexViewFrame());
    table.addSubview(m_indexView);
    setIndexViewHidden(false, false);
}

void VKFolderController::setIndexViewHidden(bool hidden, bool)
{
    if (!m_indexView || m_indexView->isHidden() == hidden)
        return;
    if (hidden) {
        m_indexView->setHidden(true);
        return;
    }
    if (shouldDisplayIndexView() && !isEditing() && !isSearching())
        m_indexView->setHidden(false);
}

// MARK: The summary

void VKFolderController::updateFolderInfo()
{
    uint64_t size = 0;
    size_t count = rows().size();
    auto text = searchText();
    // Sizes are what the items hold (a folder's files at every depth), each
    // byte once, whether listed or found.
    if (count > 0) {
        auto quota = VKQuotaManager::defaultManager();
        if (text && !text->empty()) {
            if (searchScope() == 1) {
                auto application = VKApplication::sharedApplication();
                size = quota->contentSizeOfItemsMatchingQuery(*text, application->publicDirectory(), true, true);
                if (!isGuestMode())
                    size += quota->contentSizeOfItemsMatchingQuery(*text, application->documentsDirectory(), true, true);
            } else if (isLocalFolder()) {
                size = quota->contentSizeOfItemsMatchingQuery(*text, m_resource->path(), false, false);
            } else {
                size = m_resource->sizeOfChildrenMatchingName(*text);
            }
        } else {
            size = m_resource->contentSize();
        }
    }
    m_folderInfo = summaryForItemCount(uint32_t(std::min<size_t>(count, UINT32_MAX)),
        int64_t(std::min<uint64_t>(size, INT64_MAX)), false);
    if (auto* label = folderInfoLabel())
        label->setInfo(m_folderInfo);
}

std::string VKFolderController::summaryForItemCount(uint32_t count, int64_t size, bool isSelection)
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

// MARK: Following changes

bool VKFolderController::isTopViewController() const
{
    auto* navigation = navigationController();
    return navigation && navigation->topViewController() == this;
}

bool VKFolderController::isVisibleViewController() const
{
    auto* navigation = navigationController();
    return navigation && navigation->visibleViewController() == this;
}

void VKFolderController::scheduleModelUpdate(double delay)
{
    std::weak_ptr<VKFolderController> weak = self();
    core::RunLoop::main().performAfter(delay, [weak] {
        if (auto controller = weak.lock())
            controller->updateModelAndView();
    }, core::PerformKey { shared_from_this(), ModelUpdateTag, {} });
}

void VKFolderController::cancelModelUpdate()
{
    core::RunLoop::main().cancelPerforms(core::PerformKey { shared_from_this(), ModelUpdateTag, {} });
}

void VKFolderController::scheduleReload(double delay)
{
    core::PerformKey key { shared_from_this(), ReloadTag, {} };
    core::RunLoop::main().cancelPerforms(key);
    std::weak_ptr<VKFolderController> weak = self();
    auto reload = [weak] {
        if (auto controller = weak.lock(); controller && controller->isViewLoaded())
            controller->activeTableView().reloadData();
    };
    if (delay <= 0)
        reload();
    else
        core::RunLoop::main().performAfter(delay, std::move(reload), std::move(key));
}

void VKFolderController::collectionDidUpdate(const core::Notification& notification)
{
    if (notification.name() == VKFolderControllerCollectionDidUpdateNotification && notification.object().get() == this)
        return;
    const core::Value* changed = &notification.userInfo()["Path"];
    if (!changed->isString())
        changed = &notification.userInfo()["VKCloudServiceLocalPath"];
    if (!changed->isString() || changed->string().empty())
        return;
    std::string path = core::path::standardizingPath(changed->string());
    // Clients' changes come in bursts: one rebuild after the last.
    double delay = notification.name() == WebDAVCollectionDidUpdateNotification ? CollapsedUpdateDelay : 0;
    if (path == m_folderPath) {
        m_childrenValid = false;
        if (!isTopViewController())
            return;
        if (delay > 0 && m_changeFeed)
            m_changeFeed->noteChange();
        else
            updateModelAndView();
    } else if (core::path::deletingLastPathComponent(path) == m_folderPath) {
        if (isTopViewController())
            scheduleReload(delay);
    }
}

void VKFolderController::quotaDidUpdate(const core::Notification& notification)
{
    const core::Value& value = notification.userInfo()["path"];
    const std::string path = value.isString() ? core::path::standardizingPath(value.string()) : std::string();
    // Searches read the quota tree: what it learns may find more.
    auto text = searchText();
    if (text && !text->empty()) {
        if (searchScope() == 1 || core::path::isWithin(path, m_folderPath)) {
            updateModelFlushingCache(searchScope() == 1);
            updateView();
        }
        return;
    }
    if (!path.empty())
        contentSizeDidChange(path);
}

void VKFolderController::folderDidChange()
{
    m_childrenValid = false;
    if (isTopViewController())
        updateModelAndView();
}

void VKFolderController::contentSizeDidChange(const std::string& path)
{
    if (!core::path::isWithin(path, m_folderPath) || !isLocalFolder())
        return;
    updateFolderInfo();
    if (!m_childrenValid || m_rowsAreSearchResults || !isViewLoaded())
        return;
    const bool bySize = sorting().order() == VKFolderSorting::SizeOrder;
    if (path == m_folderPath) {
        // Files of the folder itself may have been rewritten.
        if (bySize) {
            sorting().prepare(m_children, true);
            sorting().sort(m_children);
            m_sectionIndexes.reset();
        }
        tableView().reloadData();
        return;
    }
    std::string relative = path.substr(m_folderPath.size() + 1);
    std::string child = relative.substr(0, relative.find('/'));
    auto row = rowIndexOfPath(m_children, core::path::appendingPathComponent(m_folderPath, child));
    if (!row || !bySize)
        return;
    VKFolderRow moved = std::move(m_children[*row]);
    m_children.erase(m_children.begin() + std::ptrdiff_t(*row));
    sorting().prepare(moved, true);
    size_t place = sorting().insertionIndex(m_children, moved);
    m_children.insert(m_children.begin() + std::ptrdiff_t(place), std::move(moved));
    if (place != *row)
        tableView().reloadData();
}

void VKFolderController::settingDidChange(const std::string& key)
{
    // The folder on top follows at once, also behind the settings sheet, so
    // that it shows the new settings when the sheet closes.
    if (key == "VKDisplayFileExtensions") {
        if (isTopViewController() && isViewLoaded())
            activeTableView().reloadData();
        return;
    }
    if (key == "VKFileSortOrder")
        m_sorting.reset();
    else if (key == "VKShowHiddenFiles")
        m_childrenValid = false;
    else
        return;
    if (isTopViewController())
        updateModelAndView();
}

// MARK: Transfers

bool VKFolderController::transferIsListed(const std::shared_ptr<VKFileResource>& download)
{
    return m_childrenValid
        && std::any_of(m_children.begin(), m_children.end(), [&](const auto& row) { return row.resource == download; });
}

void VKFolderController::transferFinished(const std::shared_ptr<VKFileResource>& download,
    const std::shared_ptr<VKFileResource>& file)
{
    if (file)
        replaceResourceInModel(download, file);
    else
        removeResourceFromModel(download);
}

void VKFolderController::transferDeleted()
{
    if (isVisibleViewController())
        return;
    updateModelFlushingCache(true);
    updateView();
}

void VKFolderController::transferFailed(const std::shared_ptr<VKFileResource>& download)
{
    if (!isViewLoaded())
        return;
    if (auto path = indexPathOfResource(*download))
        activeTableView().reloadRows({ *path }, ui::TableView::RowAnimation::None);
}

// MARK: The table

ui::TableView& VKFolderController::activeTableView()
{
    if (auto* search = searchDisplayController(); search && search->isShowingResults())
        return search->searchResultsTableView();
    return tableView();
}

int VKFolderController::numberOfSections(ui::TableView&)
{
    return tableSectionForResources() + 1;
}

int VKFolderController::numberOfRows(ui::TableView&, int section)
{
    if (section != tableSectionForResources())
        return 0;
    return int(std::min<size_t>(rowCount(), INT_MAX));
}

void VKFolderController::loadView()
{
    gfx::Rect frame = ui::Application::shared() ? ui::Application::shared()->applicationFrame()
                                                : gfx::Rect { 0, 20, 320, 460 };
    auto table = VKFolderTableView::create({ 0, 0, frame.width(), frame.height() }, tableStyle());
    table->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    table->setDataSource(self());
    table->setDelegate(self());
    table->setFolderController(self());
    table->setRowHeight(VKFileResourceCell::RowHeight);
    table->setEditingMode(VKMultiEditTableView::MultiEditMode);
    table->setEditing(isEditing());
    setView(table);
}

void VKFolderController::viewDidLoad()
{
    VKFolderControllerBase::viewDidLoad();
    if (isRootViewController())
        navigationItem().setLeftBarButtonItem(helpBarButtonItem());
    updateSearchControllerIfNecessary();
}

void VKFolderController::viewWillAppear(bool animated)
{
    VKFolderControllerBase::viewWillAppear(animated);
    if (auto* label = folderInfoLabel())
        label->setState(0);
    updateDownloadsBadgeValue();
    // A folder that changed, or an order or hidden-files setting that
    // changed while another screen showed, is listed afresh.
    if (!m_rowsBuilt || !m_childrenValid || m_childrenOrder != sorting().order())
        updateModelFlushingCache(false);
    updateView();
    scrollToStoredFolderContentYOffset();
}

void VKFolderController::viewWillDisappear(bool animated)
{
    VKFolderControllerBase::viewWillDisappear(animated);
    storeFolderContentYOffset();
}

void VKFolderController::viewDidDisappear(bool animated)
{
    VKFolderControllerBase::viewDidDisappear(animated);
    // The picked media land in this folder: marking ends under the picker.
    auto* navigation = navigationController();
    auto* shown = navigation ? navigation->modalViewController() : modalViewController();
    auto picker = m_commands ? m_commands->media().imagePickerInUse() : nullptr;
    if (picker && shown == picker->imagePickerController().get())
        setEditing(false, false);
}

void VKFolderController::willRotate(ui::Orientation orientation, double duration)
{
    setIndexViewHidden(true, false);
    VKFolderControllerBase::willRotate(orientation, duration);
}

void VKFolderController::didRotate(ui::Orientation fromOrientation)
{
    VKFolderControllerBase::didRotate(fromOrientation);
    if (isEditing())
        editing().fitToolbarItems();
    setIndexViewHidden(false, false);
}

void VKFolderController::didReceiveMemoryWarning()
{
    core::log("VKFolderController didReceiveMemoryWarning");
    if (!isVisibleViewController()) {
        if (isViewLoaded())
            storeFolderContentYOffset();
        m_children.clear();
        m_childrenValid = false;
        m_searchRows.clear();
        m_rowsBuilt = false;
        m_sectionIndexes.reset();
    }
    VKFolderControllerBase::didReceiveMemoryWarning();
}
