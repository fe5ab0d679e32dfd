#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKFolderMedia.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/TableViewCell.h"

#include <fmt/format.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <map>
#include <mutex>

namespace {

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

} // namespace

void VKFolderController::setCloudFolderControllerFactory(Factory factory)
{
    std::lock_guard lock(factoryMutex());
    cloudFactory() = std::move(factory);
}

std::shared_ptr<VKFolderController> VKFolderController::folderControllerWithResource(
    const std::shared_ptr<VKFileResource>& resource, std::weak_ptr<VKFolderBrowserServices> services)
{
    if (!resource)
        return nullptr;
    Factory factory;
    {
        std::lock_guard lock(factoryMutex());
        factory = cloudFactory();
    }
    auto controller = resource->isCloudResource() && factory ? factory(resource) : create(resource);
    if (controller)
        controller->setServices(std::move(services));
    return controller;
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
    , m_listing(std::make_unique<VKFolderListing>(m_resource))
    , m_opener(std::make_unique<VKFolderRowOpener>(*m_listing))
    , m_scrollMemory(m_folderPath)
    , m_changes(m_folderPath)
    , m_strip(std::make_shared<VKFolderLetterStrip>(*m_listing))
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
    listing().watchFolder();
    m_changes.follow(std::static_pointer_cast<VKFolderChanges::Host>(self()), shared_from_this().get());
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

VKFolderListing& VKFolderController::listing() const
{
    if (!m_listing->hasHost())
        if (auto shared = weak_from_this().lock())
            m_listing->setHost(std::static_pointer_cast<VKFolderController>(std::const_pointer_cast<core::Object>(shared)));
    return *m_listing;
}

VKFolderRowOpener& VKFolderController::rowOpener() const
{
    if (!m_opener->hasHost())
        if (auto shared = weak_from_this().lock())
            m_opener->setHost(std::static_pointer_cast<VKFolderController>(std::const_pointer_cast<core::Object>(shared)));
    return *m_opener;
}

std::vector<std::string> VKFolderController::localFilesRoots() const
{
    auto application = VKApplication::sharedApplication();
    std::vector<std::string> roots { application->publicDirectory() };
    if (!isGuest())
        roots.push_back(application->documentsDirectory());
    return roots;
}

std::optional<VKFolderListing::Query> VKFolderController::listingQuery() const
{
    auto text = searchText();
    if (!text || text->empty())
        return std::nullopt;
    return VKFolderListing::Query { *text, searchScope() == 1 ? localFilesRoots() : std::vector<std::string> {} };
}

void VKFolderController::listingDidRebuild()
{
    editing().prune();
    if (isEditing() && isViewLoaded())
        editing().updateBars();
}

void VKFolderController::updateModelAndView()
{
    listing().rebuild(false);
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

std::shared_ptr<VKFileResource> VKFolderController::resourceAtIndexPath(ui::IndexPath path)
{
    if (path.section != tableSectionForResources() || path.row < 0)
        return nullptr;
    return listing().resourceAt(size_t(path.row));
}

std::optional<ui::IndexPath> VKFolderController::indexPathOfResource(const VKFileResource& resource) const
{
    auto row = listing().indexOf(resource.path());
    if (!row)
        return std::nullopt;
    return ui::IndexPath { tableSectionForResources(), int(*row) };
}

// MARK: The letter strip

void VKFolderController::updateIndexView()
{
    if (isViewLoaded())
        m_strip->update(tableView(), !isEditing() && !isSearching());
}

void VKFolderController::setIndexViewHidden(bool hidden, bool)
{
    m_strip->setHidden(hidden, !isEditing() && !isSearching());
}

// MARK: The summary

void VKFolderController::updateFolderInfo()
{
    uint64_t size = 0;
    size_t count = listing().rows().size();
    auto text = searchText();
    // Sizes are what the items hold (a folder's files at every depth), each
    // byte once, whether listed or found.
    if (count > 0) {
        auto quota = VKQuotaManager::defaultManager();
        if (text && !text->empty()) {
            if (searchScope() == 1) {
                for (const auto& root : localFilesRoots())
                    size += quota->contentSizeOfItemsMatchingQuery(*text, root, true, true);
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

// MARK: What changes the rows (VKFolderChanges)

void VKFolderController::changesFolderChanged(bool burst)
{
    listing().folderDidChange(burst);
}

void VKFolderController::changesReloadTable()
{
    if (isViewLoaded())
        activeTableView().reloadData();
}

void VKFolderController::changesSearchMayFindMore()
{
    listing().rebuild(searchScope() == 1);
    updateView();
}

void VKFolderController::changesContentSizeChanged(const std::string& path)
{
    if (!isLocalFolder())
        return;
    updateFolderInfo();
    if (isViewLoaded() && listing().contentSizeDidChange(path))
        tableView().reloadData();
}

void VKFolderController::changesSettingChanged(const std::string& key)
{
    // The folder on top follows at once, also behind the settings sheet, so
    // that it shows the new settings when the sheet closes.
    if (key == "VKDisplayFileExtensions") {
        if (isTopViewController() && isViewLoaded())
            activeTableView().reloadData();
        return;
    }
    listing().settingDidChange(key);
}

// MARK: Transfers

bool VKFolderController::transferIsListed(const std::shared_ptr<VKFileResource>& download)
{
    return listing().listsChild(download);
}

void VKFolderController::transferFinished(const std::shared_ptr<VKFileResource>& download,
    const std::shared_ptr<VKFileResource>& file)
{
    if (file)
        listing().replace(download, file);
    else
        listing().remove(download);
}

void VKFolderController::transferDeleted()
{
    if (isVisibleViewController())
        return;
    listing().rebuild(true);
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
    return int(std::min<size_t>(listing().count(), INT_MAX));
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
        navigationItem().setLeftBarButtonItem(barItems().helpItem());
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
    if (listing().isStale())
        listing().rebuild(false);
    updateView();
    scrollToStoredPosition();
}

void VKFolderController::viewWillDisappear(bool animated)
{
    VKFolderControllerBase::viewWillDisappear(animated);
    storeScrollPosition();
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
            storeScrollPosition();
        listing().drop();
    }
    VKFolderControllerBase::didReceiveMemoryWarning();
}
