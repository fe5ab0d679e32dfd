#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderEditingHost.h"
#include "App/FolderBrowser/VKFolderNavigationHost.h"
#include "App/FolderBrowser/VKFolderRowsHost.h"
#include "App/FolderBrowser/VKFolderScreenFactories.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKFolderMedia.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKFolderSummary.h"
#include "App/FolderBrowser/VKFolderTableSide.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "App/FolderBrowser/VKFolderStack.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"

#include <fmt/format.h>

#include <algorithm>

template<typename Host>
std::shared_ptr<Host> VKFolderController::shareHost(Host& host) const
{
    auto screen = weak_from_this().lock();
    return screen ? std::shared_ptr<Host>(std::move(screen), &host) : nullptr;
}

std::shared_ptr<VKFolderController> VKFolderController::folderControllerWithResource(
    const std::shared_ptr<VKFileResource>& resource, std::weak_ptr<VKFolderBrowserServices> services)
{
    if (!resource)
        return nullptr;
    auto factory = VKFolderScreenFactories::cloudFolderFactory();
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
    , m_rowsHost(std::make_unique<VKFolderRowsHost>(*this))
    , m_editingHost(std::make_unique<VKFolderEditingHost>(*this))
    , m_navigationHost(std::make_unique<VKFolderNavigationHost>(*this))
    , m_listing(std::make_unique<VKFolderListing>(m_resource, *m_rowsHost))
    , m_opener(std::make_unique<VKFolderRowOpener>(*m_listing, *m_navigationHost))
    , m_reveal(std::make_unique<VKFolderRowReveal>(*m_rowsHost))
    , m_scrollMemory(m_folderPath)
    , m_changes(m_folderPath)
    , m_strip(std::make_shared<VKFolderLetterStrip>(*m_listing))
    , m_search(std::make_shared<VKFolderSearch>(*m_navigationHost))
    , m_editing(std::make_unique<VKFolderEditing>(m_editingHost.get()))
    , m_tableSide(std::make_unique<VKFolderTableSide>(*this))
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
    m_changes.follow(shareHost(*m_rowsHost), shared_from_this().get());
    m_transfers.observe(shareHost(*m_rowsHost), m_folderPath);
    m_toolbar.observeUploads(shareHost(*m_navigationHost));
    // A desktop window resized without turning: the editing buttons fit
    // the bar once it has its new width.
    m_observations.push_back(center.observe(ui::Application::didResizeScreenNotification, nullptr,
        [weak](const core::Notification&) {
            core::RunLoop::main().post(weak, [](VKFolderController& controller) {
                if (controller.isEditing())
                    controller.editing().fitToolbarItems();
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

std::vector<std::string> VKFolderController::localFilesRoots() const
{
    auto application = VKApplication::sharedApplication();
    std::vector<std::string> roots { application->publicDirectory() };
    if (!isGuest())
        roots.push_back(application->documentsDirectory());
    return roots;
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
        reloadTableKeepingPlace();
}

void VKFolderController::reloadTableKeepingPlace()
{
    auto& table = activeTableView();
    // The place's cell still shows the row as it was before the change.
    std::shared_ptr<VKFileResource> placed;
    if (auto place = table.keyboardPlace())
        if (auto* cell = dynamic_cast<VKFileResourceCell*>(table.cellForRow(*place)))
            placed = cell->resource();
    table.reloadData();
    if (placed)
        if (auto row = indexPathOfResource(*placed))
            table.setKeyboardPlace(row);
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
    auto query = m_rowsHost->listingQuery();
    if (listing().readError() && !listing().showsSearchResults())
        m_folderInfo = VKFolderSummary::unreadable();
    else
        m_folderInfo = VKFolderSummary::ofRows(listing().rows().size(), *m_resource, isLocalFolder(), query);
    if (auto* label = folderInfoLabel())
        label->setInfo(m_folderInfo);
    updateUnreadableNote();
}

void VKFolderController::updateUnreadableNote()
{
    if (!isViewLoaded())
        return;
    ui::TableView& table = tableView();
    const auto& failure = listing().readError();
    if (!failure) {
        if (m_unreadableNote && table.tableFooterView() == m_unreadableNote)
            table.setTableFooterView(nullptr);
        m_unreadableNote.reset();
        return;
    }
    if (!m_unreadableNote) {
        m_unreadableNote = ui::Label::create({ 0, 0, table.bounds().width(), UnreadableNoteHeight });
        m_unreadableNote->setFont(ui::Fonts::boldSystemFont(17));
        m_unreadableNote->setTextColor(gfx::Color::white(0.5f));
        m_unreadableNote->setBackgroundColor(gfx::Color::white(0, 0));
        m_unreadableNote->setTextAlignment(gfx::TextAlignment::Center);
        m_unreadableNote->setNumberOfLines(0);
        m_unreadableNote->setAutoresizingMask(ui::View::FlexibleWidth);
    }
    m_unreadableNote->setText(VKFolderSummary::unreadableNote(*failure));
    if (table.tableFooterView() != m_unreadableNote)
        table.setTableFooterView(m_unreadableNote);
}

// MARK: Following changes

void VKFolderController::folderMayBeGone()
{
    core::RunLoop::main().post(self(), [](VKFolderController& screen) {
        screen.closeBackToExistingFolder();
    });
}

void VKFolderController::closeBackToExistingFolder()
{
    if (!isLocalFolder())
        return;
    if (core::fs::isDirectory(m_folderPath)) {
        // Made again where it was (or never gone): followed and read anew.
        if (!listing().isWatchingFolder()) {
            listing().watchFolder();
            listing().folderDidChange(false);
        }
        return;
    }
    auto* navigation = navigationController();
    if (!navigation)
        return;
    const auto& stack = navigation->viewControllers();
    auto at = std::find_if(stack.begin(), stack.end(), [&](const auto& screen) { return screen.get() == this; });
    if (at == stack.end() || at == stack.begin())
        return;
    // The nearest screen below that is not a folder gone as well (an
    // ancestor removed with it hears of it too, and closes further back).
    ui::ViewController* target = nullptr;
    for (auto below = std::make_reverse_iterator(at); below != stack.rend(); ++below) {
        auto* folder = dynamic_cast<VKFolderController*>(below->get());
        if (!folder || !folder->isLocalFolder() || core::fs::isDirectory(folder->folderPath())) {
            target = below->get();
            break;
        }
    }
    if (!target)
        return;
    core::log("VKFolderController: {} is gone, back to {}", m_folderPath, target->description());
    // The marks of the screens that close go with them.
    for (auto above = std::find_if(stack.begin(), stack.end(), [&](const auto& screen) { return screen.get() == target; }) + 1;
         above != stack.end(); ++above)
        if (auto* folder = dynamic_cast<VKFolderController*>(above->get()); folder && folder->isEditing())
            folder->setEditing(false, false);
    navigation->popToViewController(target, true);
}

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

// MARK: Editing and the marks

VKFolderCommands& VKFolderController::commands() const
{
    if (!m_commands)
        m_commands = VKFolderCommands::create();
    if (!m_commands->hasHost()) {
        if (auto host = shareHost(*m_editingHost))
            m_commands->setHost(std::move(host));
    }
    return *m_commands;
}

void VKFolderController::setCommands(std::shared_ptr<VKFolderCommands> commands)
{
    m_commands = std::move(commands);
}

void VKFolderController::markAllItems()
{
    editing().markAll();
    if (isViewLoaded())
        activeTableView().reloadData();
    editing().updateBars();
}

void VKFolderController::unmarkAllItems()
{
    editing().clear();
    if (isViewLoaded())
        activeTableView().reloadData();
    editing().updateBars();
}

// MARK: Reveal

void VKFolderController::revealResource(const std::shared_ptr<VKFileResource>& resource)
{
    VKFolderStack::reveal(*this, resource);
}

// MARK: Search and keys

bool VKFolderController::performKeyCommand(ui::KeyCommand command)
{
    if (command == ui::KeyCommand::Find && searchBar() && searchBar()->window()) {
        // The bar heads the list: in sight first.
        ui::TableView& table = tableView();
        table.setContentOffset({ table.contentOffset().x, table.minimumContentOffset().y });
        searchBar()->becomeFirstResponder();
        return true;
    }
    if (command == ui::KeyCommand::Delete && isEditing() && !editing().markedResources().empty()) {
        commands().deleteMarkedItems(nullptr);
        return true;
    }
    if (command == ui::KeyCommand::Escape && isEditing()) {
        setEditing(false, true);
        return true;
    }
    // Back from a result, Escape ends the search before it leaves the folder.
    if (command == ui::KeyCommand::Escape && isSearching() && searchDisplayController()) {
        searchDisplayController()->setActive(false, true);
        return true;
    }
    return VKFolderControllerBase::performKeyCommand(command);
}

void VKFolderController::updateSearchControllerIfNecessary()
{
    if (!m_search->isLoaded()) {
        float width = isViewLoaded() ? tableView().bounds().width() : 0;
        auto side = shareHost(*m_tableSide);
        m_search->load(isLocalFolder(), self(), width, tableView().rowHeight(), side, side);
    }
    tableView().setTableHeaderView(m_search->bar());
}

void VKFolderController::beginSearch()
{
    if (!isViewLoaded())
        return;
    updateSearchControllerIfNecessary();
    tableView().setContentOffset(tableView().minimumContentOffset());
    searchBar()->becomeFirstResponder();
}

// MARK: The toolbar (VKFolderToolbar lays it out)

void VKFolderController::updateToolbarItems()
{
    VKFolderControllerBase::updateToolbarItems();
    m_toolbar.update(*this, shareHost(*m_navigationHost), isGuest());
    updateFolderInfo();
    barItems().updateAppearance();
    updateDownloadsBadgeValue();
}

void VKFolderController::showDownloadViewController()
{
    auto factory = VKFolderScreenFactories::downloadScreenFactory();
    auto screen = factory ? factory(m_resource, services()) : nullptr;
    if (!screen) {
        core::log("VKFolderController: no downloads screen to show");
        return;
    }
    presentModalViewController(screen, true);
}

// MARK: The table

ui::TableView& VKFolderController::activeTableView()
{
    if (auto* search = searchDisplayController(); search && search->isShowingResults())
        return search->searchResultsTableView();
    return tableView();
}

void VKFolderController::loadView()
{
    gfx::Rect frame = ui::Application::shared() ? ui::Application::shared()->applicationFrame()
                                                : gfx::Rect { 0, 20, 320, 460 };
    auto table = VKFolderTableView::create({ 0, 0, frame.width(), frame.height() }, tableStyle());
    table->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    tableSide();
    auto side = shareHost(*m_tableSide);
    table->setDataSource(side);
    table->setDelegate(side);
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
    if (!isVisibleViewController()) {
        if (isViewLoaded())
            storeScrollPosition();
        listing().drop();
    }
    VKFolderControllerBase::didReceiveMemoryWarning();
}
