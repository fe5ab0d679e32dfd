#include "App/FolderBrowser/VKCloudFolderController.h"

#include "App/FolderBrowser/VKCloudFolderCommands.h"
#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderScreenFactories.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKNetworkFileResourceCell.h"
#include "App/FolderBrowser/VKUploadFileResourceCell.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "CloudOperations/VKCloudUploadManager.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKCloudHooks.h"
#include "Platform/Core/ErrorValue.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Store/Context.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace path = core::path;

namespace {

constexpr const char* ActivityIndicatorTag = "showCloudActivityIndicator";
constexpr const char* FolderInfoTag = "updateFolderInfo";

std::shared_ptr<VKCloudFileResource> cloudResourceOf(const std::shared_ptr<VKFileResource>& resource)
{
    return std::dynamic_pointer_cast<VKCloudFileResource>(resource);
}

std::vector<std::shared_ptr<VKCloudManagedObject>> nodesIn(const std::vector<std::shared_ptr<store::Object>>& objects)
{
    std::vector<std::shared_ptr<VKCloudManagedObject>> nodes;
    for (const auto& object : objects)
        if (auto node = std::dynamic_pointer_cast<VKCloudManagedObject>(object))
            nodes.push_back(node);
    return nodes;
}

} // namespace

std::shared_ptr<VKCloudFolderController> VKCloudFolderController::create(const std::shared_ptr<VKFileResource>& resource)
{
    auto controller = std::make_shared<VKCloudFolderController>(resource);
    controller->startObserving();
    return controller;
}

void VKCloudFolderController::registerCloudScreens()
{
    VKFolderScreenFactories::setCloudFolderFactory([](const std::shared_ptr<VKFileResource>& resource) -> std::shared_ptr<VKFolderController> {
        return create(resource);
    });
    VKFolderTransferRows::registerCellFactory("VKUploadFileResourceCell", [](const std::string& identifier) -> std::shared_ptr<VKFileResourceCell> {
        return VKUploadFileResourceCell::create(identifier);
    });
}

VKCloudFolderController::VKCloudFolderController(std::shared_ptr<VKFileResource> resource)
    : VKFolderController(std::move(resource))
{
    setCommands(VKCloudFolderCommands::create());
}

VKCloudFolderController::~VKCloudFolderController()
{
    core::RunLoop::main().cancelPerforms(this);
}

std::shared_ptr<VKCloudFolderController> VKCloudFolderController::cloudSelf()
{
    return std::static_pointer_cast<VKCloudFolderController>(shared_from_this());
}

void VKCloudFolderController::startObserving()
{
    VKFolderController::startObserving();
    auto& center = core::NotificationCenter::defaultCenter();
    std::weak_ptr<VKCloudFolderController> weak = cloudSelf();
    auto to = [weak](void (VKCloudFolderController::*handler)(const core::Notification&)) {
        return [weak, handler](const core::Notification& notification) {
            if (auto controller = weak.lock())
                (controller.get()->*handler)(notification);
        };
    };
    for (auto name : { VKCloudServiceDidUpdateMetadataNotification, VKCloudServiceMetadataUnchangedNotification,
             VKCloudServiceMetadataLoadFailedNotification })
        addObservation(center.observe(name, nullptr, to(&VKCloudFolderController::cloudMetadataLoadDidEnd)));
    addObservation(center.observe(ui::Application::didBecomeActiveNotification, nullptr,
        [weak](const core::Notification&) {
            if (auto controller = weak.lock())
                controller->applicationDidBecomeActive();
        }));
    if (auto store = VKCloudFileStore::sharedStore())
        addObservation(center.observe(store::ContextDidSaveNotification, store->managedObjectContext(),
            [weak](const store::ContextSave& save) {
                if (auto controller = weak.lock())
                    controller->cloudFileStoreDidSave(save);
            }));
    for (const char* name : { VKCloudUploadManagerUploadDidStartNotification, VKCloudUploadManagerUploadDidEndNotification })
        addObservation(center.observe(name, nullptr, [weak](const core::Notification& notification) {
            // The upload's resource belongs to the main thread's store.
            if (!core::Thread::isMainThread())
                return;
            if (auto controller = weak.lock())
                controller->cloudUploadDidStartOrEnd(notification);
        }));
}

std::shared_ptr<VKCloudService> VKCloudFolderController::cloudService() const
{
    return VKCloudServicesManager::sharedManager()->cloudServiceForResource(*resource());
}

VKCloudFolderCommands& VKCloudFolderController::cloudCommandsForTesting() const
{
    return static_cast<VKCloudFolderCommands&>(commands());
}

// MARK: The refresh

void VKCloudFolderController::viewWillAppear(bool animated)
{
    VKFolderController::viewWillAppear(animated);
    if (!isEditing())
        updateCloudMetadata();
}

void VKCloudFolderController::applicationDidBecomeActive()
{
    auto* navigation = navigationController();
    if (navigation && navigation->topViewController() == this && !isEditing())
        updateCloudMetadata();
}

void VKCloudFolderController::updateCloudMetadata()
{
    auto service = cloudService();
    auto folder = cloudResourceOf(resource());
    if (!service || !folder)
        return;
    if (!service->isUpdatingMetadataForResource(folder))
        service->updateMetadataForResource(folder, nullptr);
    if (VKBrowserOperation::isOperationInProgress() && VKBrowserOperation::canCancelCurrentOperation())
        return;
    core::RunLoop::main().performAfter(cloudSelf(), ActivityIndicatorDelay, [](VKCloudFolderController& controller) {
        controller.showCloudActivityIndicator();
    }, core::PerformKey { shared_from_this(), ActivityIndicatorTag, {} });
}

void VKCloudFolderController::showCloudActivityIndicator()
{
    auto indicator = ui::ActivityIndicator::create(shouldUseDarkControlStyle() ? ui::ActivityIndicator::Style::Gray
                                                                               : ui::ActivityIndicator::Style::White);
    indicator->startAnimating();
    navigationItem().setRightBarButtonItem(barButtonItemWithCustomView(indicator), true);
}

bool VKCloudFolderController::isShowingCloudActivityIndicator() const
{
    const auto& item = const_cast<VKCloudFolderController*>(this)->navigationItem().rightBarButtonItem();
    return item && dynamic_cast<ui::ActivityIndicator*>(item->customView().get());
}

void VKCloudFolderController::cancelCloudActivityIndicator()
{
    core::RunLoop::main().cancelPerforms(core::PerformKey { shared_from_this(), ActivityIndicatorTag, {} });
}

void VKCloudFolderController::cloudMetadataLoadDidEnd(const core::Notification& notification)
{
    const VKCloudServiceNews& news = cloudServiceNews(notification);
    if (news.localPath.empty())
        return;
    const std::string changed = path::standardizingPath(news.localPath);
    if (changed != folderPath()) {
        if (path::deletingLastPathComponent(changed) == folderPath() && isViewLoaded())
            activeTableView().reloadData();
        return;
    }
    cancelCloudActivityIndicator();
    if (news.error && news.error->code() == 401) {
        auto service = cloudService();
        const std::string name = service ? service->name() : std::string();
        if (service)
            service->unlink();
        showAlertViewWithTitle(core::localized("Warning"),
            fmt::format(fmt::runtime(core::localized("{} Access Denied")), name), core::localized("OK"));
        return;
    }
    if (!navigationItem().rightBarButtonItem() || isShowingCloudActivityIndicator())
        updateEditButton();
    if (notification.name() == VKCloudServiceDidUpdateMetadataNotification.name) {
        changes().folderDidUpdate(news.localPath, false);
    } else if (notification.name() == VKCloudServiceMetadataLoadFailedNotification.name) {
        m_showingSyncFailure = true;
        updateFolderInfo();
        core::PerformKey key { shared_from_this(), FolderInfoTag, {} };
        core::RunLoop::main().cancelPerforms(key);
        core::RunLoop::main().performAfter(cloudSelf(), SyncFailedDuration, [](VKCloudFolderController& controller) {
            controller.m_showingSyncFailure = false;
            controller.updateFolderInfo();
        }, std::move(key));
    }
}

void VKCloudFolderController::updateFolderInfo()
{
    VKFolderController::updateFolderInfo();
    if (!m_showingSyncFailure)
        return;
    if (auto* label = folderInfoLabel())
        label->setInfo(core::localized("Sync Failed"));
}

// MARK: The mirror's saves

void VKCloudFolderController::cloudFileStoreDidSave(const store::ContextSave& save)
{
    auto folder = cloudResourceOf(resource());
    if (!folder)
        return;
    const auto& folderNode = folder->managedObject();
    const auto inserted = nodesIn(save.inserted);
    const auto updated = nodesIn(save.updated);
    const auto deleted = nodesIn(save.deleted);
    auto* navigation = navigationController();
    if (!VKBrowserOperation::fileOperation() || !navigation || navigation->topViewController() != this || !isViewLoaded() || isSearching()) {
        // Not shown as it changes (an upload from another folder, say): the
        // folder is read again when the screen shows next.
        auto here = [&](const auto& node) { return node->parent() == folderNode; };
        if (std::any_of(inserted.begin(), inserted.end(), here) || std::any_of(updated.begin(), updated.end(), here)
            || !deleted.empty())
            listing().invalidate();
        return;
    }

    // A running upload saves its items' states over and over: such saves
    // change no row's place, so only the rows shown are touched (the upload
    // rows follow their item's progress themselves). Anything that may move,
    // add or drop a row takes the whole comparison below.
    // The keys that place a row in this order (a folder's flag also picks
    // its cell).
    std::set<std::string, std::less<>> rowKeys { "name", "parent", "isDirectory" };
    if (listing().sorting().order() == VKFolderSorting::SizeOrder)
        rowKeys.insert("size");
    else if (listing().sorting().order() == VKFolderSorting::DateOrder)
        rowKeys.insert("modificationDate");
    bool structural = std::any_of(inserted.begin(), inserted.end(),
        [&](const auto& node) { return node->parent() == folderNode; });
    // Nodes whose rows only need drawing again, and nodes that may have
    // left the rows (deleted, or moved into another folder).
    std::set<const VKCloudManagedObject*> restyled;
    std::set<const VKCloudManagedObject*> elsewhere;
    // Nodes whose place in the order may have changed (a rename, say).
    std::set<const VKCloudManagedObject*> replaced;
    for (const auto& node : updated) {
        auto keys = save.updatedKeys.find(node->objectID());
        bool moves = keys == save.updatedKeys.end();
        if (!moves)
            for (const auto& key : keys->second)
                moves = moves || rowKeys.contains(key);
        if (moves)
            replaced.insert(node.get());
        if (node->parent() == folderNode) {
            if (moves)
                structural = true;
            else
                restyled.insert(node.get());
        } else if (moves) {
            elsewhere.insert(node.get());
        }
    }
    for (const auto& node : deleted)
        elsewhere.insert(node.get());
    ui::TableView& table = tableView();
    const int section = tableSectionForResources();
    // A node of this folder without a row yet (an item staged by another
    // thread shows once its state is saved here) is an insert; a row whose
    // node left is a delete.
    if (!structural && (!elsewhere.empty() || !restyled.empty())) {
        const auto& listed = listedNodes();
        structural = std::any_of(elsewhere.begin(), elsewhere.end(), [&](auto* node) { return listed.contains(node); })
            || std::any_of(restyled.begin(), restyled.end(), [&](auto* node) { return !listed.contains(node); });
    }
    if (!structural) {
        std::vector<ui::IndexPath> reloads;
        for (auto* cell : table.visibleCells()) {
            auto* fileCell = dynamic_cast<VKFileResourceCell*>(cell);
            auto cloud = fileCell ? cloudResourceOf(fileCell->resource()) : nullptr;
            if (cloud && restyled.contains(cloud->managedObject().get()))
                if (auto path = table.indexPathForCell(*cell))
                    reloads.push_back(*path);
        }
        if (!reloads.empty())
            table.reloadRows(reloads, ui::TableView::RowAnimation::None);
        return;
    }

    const auto before = listing().resources();
    listing().rebuild(true);
    const auto after = listing().resources();
    auto rowsByNode = [](const std::vector<std::shared_ptr<VKFileResource>>& list) {
        std::unordered_map<const VKCloudManagedObject*, size_t> rows;
        rows.reserve(list.size());
        for (size_t i = 0; i < list.size(); ++i)
            if (auto cloud = cloudResourceOf(list[i]))
                rows.emplace(cloud->managedObject().get(), i);
        return rows;
    };
    const auto oldRows = rowsByNode(before);
    const auto newRows = rowsByNode(after);
    auto find = [](const auto& rows, const VKCloudManagedObject* node) -> std::optional<size_t> {
        auto found = rows.find(node);
        return found == rows.end() ? std::nullopt : std::optional<size_t>(found->second);
    };

    // Rows of the old numbering to delete, of the new to insert, and of the
    // old to reload: a table update reads reloads and deletes before the
    // inserts, in the numbering the table had. A row that may have changed
    // its place leaves its old one and comes in at its new one: reloaded
    // where it was, it would show its neighbour there while its own row
    // went missing.
    std::set<size_t> deletes;
    std::set<size_t> inserts;
    std::set<size_t> reloads;
    for (const auto& node : deleted)
        if (auto row = find(oldRows, node.get()))
            deletes.insert(*row);
    for (const auto& node : inserted) {
        if (node->parent() != folderNode)
            continue;
        if (auto row = find(newRows, node.get()))
            inserts.insert(*row);
    }
    for (const auto& node : updated) {
        auto old = find(oldRows, node.get());
        auto now = find(newRows, node.get());
        if (old && now && replaced.contains(node.get())) {
            deletes.insert(*old);
            inserts.insert(*now);
        } else if (old && now) {
            reloads.insert(*old);
        } else if (now) {
            inserts.insert(*now);
        } else if (old) {
            deletes.insert(*old);
        }
    }
    for (size_t row : deletes)
        reloads.erase(row);
    auto paths = [section](const std::set<size_t>& rows) {
        std::vector<ui::IndexPath> list;
        list.reserve(rows.size());
        for (size_t row : rows)
            list.push_back({ section, int(row) });
        return list;
    };
    // The rows the table shows must add up to the model's after the update.
    const size_t shown = size_t(std::max(0, table.numberOfRows(section)));
    if (shown + inserts.size() < deletes.size() || shown + inserts.size() - deletes.size() != after.size()) {
        table.reloadData();
        updateFolderInfo();
        return;
    }
    ++m_rowUpdates;
    table.beginUpdates();
    table.insertRows(paths(inserts), ui::TableView::RowAnimation::Fade);
    table.deleteRows(paths(deletes), ui::TableView::RowAnimation::Fade);
    table.reloadRows(paths(reloads), ui::TableView::RowAnimation::None);
    table.endUpdates();
    updateFolderInfo();
}

const std::unordered_set<const VKCloudManagedObject*>& VKCloudFolderController::listedNodes()
{
    // Kept while the rows are: a save during an upload asks for every
    // row's node, and reading the rows each time would make the upload's
    // row work grow with the square of its items.
    const size_t rows = listing().count();
    if (m_listedBuild != listing().buildCount() || m_listedCount != rows) {
        m_listedNodes.clear();
        m_listedNodes.reserve(rows);
        for (const auto& shown : listing().resources())
            if (auto cloud = cloudResourceOf(shown))
                m_listedNodes.insert(cloud->managedObject().get());
        m_listedBuild = listing().buildCount();
        m_listedCount = rows;
    }
    return m_listedNodes;
}

void VKCloudFolderController::cloudUploadDidStartOrEnd(const core::Notification& notification)
{
    auto uploaded = std::dynamic_pointer_cast<VKFileResource>(notification.object());
    if (!uploaded || !isViewLoaded())
        return;
    if (path::standardizingPath(path::deletingLastPathComponent(uploaded->path())) == folderPath())
        activeTableView().reloadData();
}

// MARK: Rows

void VKCloudFolderController::dressCell(ui::TableViewCell& cell)
{
    VKFolderController::dressCell(cell);
    // A folder's row reads "Folder" (a cloud listing has no item counts);
    // an upload row keeps its transfer's state.
    auto* fileCell = dynamic_cast<VKFileResourceCell*>(&cell);
    if (fileCell && !dynamic_cast<VKNetworkFileResourceCell*>(fileCell) && fileCell->resource()
        && fileCell->resource()->isDirectory())
        fileCell->sizeLabel().setText(core::localized("Folder"));
}

int VKCloudFolderController::moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource)
{
    auto cloud = cloudResourceOf(resource);
    auto service = cloudService();
    if (!cloud || !service)
        return VKFolderController::moveResourceToTrash(resource);
    // Read before the node goes.
    const std::string cloudPath = cloud->cloudPath();
    if (!resource->isLocked()) {
        if (cloud->isUploading())
            VKCloudUploadManager::sharedManager()->cancelUploadOfCloudResource(cloud);
        if (service->isFetchingItemAtPath(cloudPath))
            service->cancelFetchOfItemAtPath(cloudPath);
    }
    int result = VKFolderController::moveResourceToTrash(resource);
    if (result == TrashMoved)
        service->deletePath(cloudPath, nullptr);
    return result;
}
