#include "App/FolderBrowser/VKFolderPickerViewController.h"

#include "App/FolderBrowser/VKFolderPickerController.h"
#include "App/FolderBrowser/VKRootFolderDataSource.h"
#include "Shell/Interface/LayoutConstants.h"
#include "Shell/VKApplication.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/StringAdditions.h"
#include "Kit/StringTruncation.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "WebDAV/WebDAVResponse.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<VKFolderPickerViewController> VKFolderPickerViewController::create(
    const std::shared_ptr<VKRootFolderDataSource>& dataSource)
{
    auto screen = std::make_shared<VKFolderPickerViewController>(dataSource, nullptr);
    screen->startObserving();
    return screen;
}

std::shared_ptr<VKFolderPickerViewController> VKFolderPickerViewController::create(
    const std::shared_ptr<VKFileResource>& folder)
{
    auto screen = std::make_shared<VKFolderPickerViewController>(nullptr, folder);
    screen->startObserving();
    return screen;
}

VKFolderPickerViewController::VKFolderPickerViewController(std::shared_ptr<VKRootFolderDataSource> dataSource,
    std::shared_ptr<VKFileResource> folder)
    : VKNonRotatingTableViewController(ui::TableView::Style::Plain)
    , m_resource(std::move(folder))
    , m_rootDataSource(std::move(dataSource))
{
    setContentSizeForViewInPopover(VKModalPopoverContentSize);
    if (m_resource)
        setTitle(m_resource->localizedName());
}

VKFolderPickerViewController::~VKFolderPickerViewController() = default;

void VKFolderPickerViewController::startObserving()
{
    if (!m_resource)
        return;
    auto& center = core::NotificationCenter::defaultCenter();
    std::weak_ptr<VKFolderPickerViewController> weak
        = std::static_pointer_cast<VKFolderPickerViewController>(shared_from_this());
    auto to = [weak](void (VKFolderPickerViewController::*handler)(const core::Notification&)) {
        return [weak, handler](const core::Notification& notification) {
            // The server and the cloud layer may post on other threads.
            core::RunLoop::main().post(weak, [handler, notification](VKFolderPickerViewController& screen) {
                (screen.*handler)(notification);
            });
        };
    };
    auto folderUpdated = [weak](std::string path) {
        core::RunLoop::main().post(weak, [path = std::move(path)](VKFolderPickerViewController& screen) {
            screen.folderDidUpdate(path);
        });
    };
    m_observations.push_back(center.observe(WebDAVCollectionDidUpdateNotification, nullptr,
        [folderUpdated](const WebDAVItemNews& item) { folderUpdated(item.path); }));
    m_observations.push_back(center.observe(VKFolderControllerCollectionDidUpdateNotification, nullptr,
        [folderUpdated](const VKFolderUpdate& update) { folderUpdated(update.path); }));
    m_observations.push_back(center.observe(VKCloudServiceDidUpdateMetadataNotification, nullptr,
        to(&VKFolderPickerViewController::cloudMetadataDidUpdate)));
    m_observations.push_back(center.observe(VKCloudServiceMetadataUnchangedNotification, nullptr,
        to(&VKFolderPickerViewController::cloudMetadataDidUpdate)));
    m_observations.push_back(center.observe(VKCloudServiceMetadataLoadFailedNotification, nullptr,
        to(&VKFolderPickerViewController::cloudMetadataLoadFailed)));
}

VKFolderPickerController* VKFolderPickerViewController::parentFolderPickerController() const
{
    return dynamic_cast<VKFolderPickerController*>(navigationController());
}

void VKFolderPickerViewController::setSubfolderBrowsingDisabled(bool disabled)
{
    if (m_subfolderBrowsingDisabled == disabled)
        return;
    m_subfolderBrowsingDisabled = disabled;
    if (isViewLoaded())
        tableView().reloadData();
}

std::shared_ptr<VKFileResource> VKFolderPickerViewController::resourceForIndexPath(ui::IndexPath path) const
{
    if (m_rootDataSource)
        return m_rootDataSource->resourceForIndexPath(path);
    if (path.section != 0 || path.row < 0 || size_t(path.row) >= m_folders.size())
        return nullptr;
    return m_folders[size_t(path.row)];
}

// ---- The folders ----------------------------------------------------------

void VKFolderPickerViewController::reloadFolders()
{
    if (!m_resource)
        return;
    m_foldersLoaded = true;
    std::vector<std::shared_ptr<VKFileResource>> folders;
    if (auto children = m_resource->childrenMatchingIsCollection())
        folders = std::move(*children);
    bool showsHidden = core::UserDefaults::standard()->boolForKey("VKShowHiddenFiles");
    std::erase_if(folders, [&](const std::shared_ptr<VKFileResource>& folder) {
        if (!folder)
            return true;
        if (!showsHidden && folder->name().starts_with('.'))
            return true;
        return m_customPredicate && !m_customPredicate(*folder);
    });
    // Each name's key is made once: a folder of thousands sorts in
    // n log n comparisons of ready keys.
    std::vector<std::pair<std::string, std::shared_ptr<VKFileResource>>> keyed;
    keyed.reserve(folders.size());
    for (auto& folder : folders)
        keyed.emplace_back(localizedNumericAndCaseInsensitiveSortKey(folder->name()), std::move(folder));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    m_folders.clear();
    m_folders.reserve(keyed.size());
    for (auto& [key, folder] : keyed)
        m_folders.push_back(std::move(folder));

    if (m_folders.empty())
        setErrorMessage(core::localized("No Folders"));
    else
        setErrorMessage(std::nullopt);
    if (isViewLoaded())
        tableView().reloadData();
}

// ---- Message and spinner -------------------------------------------------

void VKFolderPickerViewController::setErrorMessage(std::optional<std::string> message)
{
    if (!message) {
        if (m_errorLabel) {
            m_errorLabel->removeFromSuperview();
            m_errorLabel.reset();
        }
        return;
    }
    if (!m_errorLabel) {
        m_errorLabel = ui::Label::create();
        m_errorLabel->setFont(ui::Fonts::boldSystemFont(19));
        m_errorLabel->setTextColor(gfx::Color::white(2.0f / 3));
        m_errorLabel->setBackgroundColor(gfx::Color::white(0, 0));
        m_errorLabel->setTextAlignment(gfx::TextAlignment::Center);
        m_errorLabel->setAutoresizingMask(ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin
            | ui::View::FlexibleTopMargin | ui::View::FlexibleBottomMargin);
    }
    m_errorLabel->setText(*message);
    m_errorLabel->sizeToFit();
    if (isViewLoaded()) {
        // Never wider than the table: a long message is cut, not spilled.
        gfx::Rect frame = m_errorLabel->frame();
        float room = tableView().bounds().width() - 20;
        if (room > 0 && frame.width() > room)
            m_errorLabel->setFrame({ frame.x(), frame.y(), room, frame.height() });
        tableView().addSubview(m_errorLabel);
        layoutCustomSubview(*m_errorLabel);
    }
}

ui::ActivityIndicator& VKFolderPickerViewController::activityIndicator()
{
    if (!m_activityIndicator) {
        m_activityIndicator = ui::ActivityIndicator::create(ui::ActivityIndicator::Style::Gray);
        m_activityIndicator->setAutoresizingMask(ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin
            | ui::View::FlexibleTopMargin | ui::View::FlexibleBottomMargin);
        m_activityIndicator->sizeToFit();
        if (isViewLoaded()) {
            tableView().addSubview(m_activityIndicator);
            layoutCustomSubview(*m_activityIndicator);
        }
    }
    return *m_activityIndicator;
}

void VKFolderPickerViewController::removeActivityIndicator()
{
    if (!m_activityIndicator)
        return;
    m_activityIndicator->stopAnimating();
    m_activityIndicator->removeFromSuperview();
    m_activityIndicator.reset();
}

void VKFolderPickerViewController::layoutCustomSubview(ui::View& view)
{
    if (!isViewLoaded())
        return;
    auto& table = tableView();
    gfx::Rect bounds = table.bounds();
    gfx::Rect frame = view.frame();
    float r = table.rowHeight();
    float h = table.numberOfSections() > 0 ? table.rectForHeader(0).height() : 0;
    float band = h + r * std::floor((bounds.height() - h) * 0.5f / r);
    if (bounds.height() > bounds.width())
        band -= r;
    float x = std::floor((bounds.width() - frame.width()) * 0.5f);
    float y = band + std::floor((r - frame.height()) * 0.5f);
    view.setFrame({ x, y, frame.width(), frame.height() });
}

void VKFolderPickerViewController::layoutCustomSubviews()
{
    if (m_errorLabel)
        layoutCustomSubview(*m_errorLabel);
    if (m_activityIndicator)
        layoutCustomSubview(*m_activityIndicator);
}

// ---- Appearing -------------------------------------------------------------

void VKFolderPickerViewController::viewDidLoad()
{
    VKNonRotatingTableViewController::viewDidLoad();
    // Shown as a sheet over a page or a list: opaque below its rows.
    tableView().setBackgroundColor(ui::StandardColors::white());
    if (m_errorLabel) {
        tableView().addSubview(m_errorLabel);
        layoutCustomSubview(*m_errorLabel);
    }
    if (m_activityIndicator) {
        tableView().addSubview(m_activityIndicator);
        layoutCustomSubview(*m_activityIndicator);
    }
}

void VKFolderPickerViewController::viewWillAppear(bool animated)
{
    if (auto* picker = parentFolderPickerController()) {
        navigationItem().setPrompt(picker->navigationItem().prompt());
        navigationItem().setRightBarButtonItem(picker->navigationItem().rightBarButtonItem());
    }
    if (m_resource && !m_foldersLoaded) {
        if (m_resource->isCloudResource()) {
            auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(m_resource);
            auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*m_resource);
            if (cloud && service) {
                // The listing as it is now shows at once; the fresh one
                // follows by notification.
                m_foldersLoaded = true;
                if (auto children = m_resource->childrenMatchingIsCollection(); children && !children->empty())
                    reloadFolders();
                activityIndicator().startAnimating();
                service->updateMetadataForResource(cloud, nullptr);
            } else {
                reloadFolders();
            }
        } else {
            reloadFolders();
        }
    }
    VKNonRotatingTableViewController::viewWillAppear(animated);
    // The header's path is cut to the width in this orientation.
    if (m_resource && isViewLoaded())
        tableView().reloadData();
    layoutCustomSubviews();
}

void VKFolderPickerViewController::didRotate(ui::Orientation fromOrientation)
{
    VKNonRotatingTableViewController::didRotate(fromOrientation);
    if (m_resource && isViewLoaded())
        tableView().reloadData();
    // The table takes its new bounds on this pass; the message follows on the next.
    core::RunLoop::main().performAfter(sharedAs<VKFolderPickerViewController>(), 0, [](VKFolderPickerViewController& screen) {
        screen.layoutCustomSubviews();
    });
}

// ---- Updates ---------------------------------------------------------------

bool VKFolderPickerViewController::isShownFolder(const std::string& changed) const
{
    if (!m_resource)
        return false;
    std::string path = m_resource->path();
    return !path.empty() && core::path::standardizingPath(changed) == core::path::standardizingPath(path);
}

void VKFolderPickerViewController::folderDidUpdate(const std::string& path)
{
    if (isShownFolder(path))
        reloadFolders();
}

void VKFolderPickerViewController::cloudMetadataDidUpdate(const core::Notification& notification)
{
    if (!isShownFolder(cloudServiceNews(notification).localPath))
        return;
    removeActivityIndicator();
    reloadFolders();
}

void VKFolderPickerViewController::cloudMetadataLoadFailed(const core::Notification& notification)
{
    if (!isShownFolder(cloudServiceNews(notification).localPath))
        return;
    removeActivityIndicator();
    setErrorMessage(core::localized("Sync Failed"));
}

// ---- The table -------------------------------------------------------------

int VKFolderPickerViewController::numberOfSections(ui::TableView& table)
{
    return m_rootDataSource ? m_rootDataSource->numberOfSections(table) : 1;
}

int VKFolderPickerViewController::numberOfRows(ui::TableView& table, int section)
{
    if (m_rootDataSource)
        return m_rootDataSource->numberOfRows(table, section);
    return section == 0 ? int(m_folders.size()) : 0;
}

std::string VKFolderPickerViewController::folderHeaderTitle()
{
    if (!m_resource)
        return {};
    auto application = VKApplication::sharedApplication();
    std::string path = m_resource->path();
    std::string prefix = application->localizedPrefixForPath(path);
    auto root = application->rootDirectoryForPath(path);
    std::vector<std::string> components { prefix };
    if (root && core::path::isWithin(path, *root)) {
        auto below = core::path::pathComponents(core::path::standardizingPath(path));
        auto rootComponents = core::path::pathComponents(core::path::standardizingPath(*root));
        components.insert(components.end(), below.begin() + std::ptrdiff_t(rootComponents.size()), below.end());
    }
    // Joined as a relative path: the cut keeps whole "a > b" steps.
    std::string joined = core::path::pathWithComponents(components);
    float width = (isViewLoaded() ? tableView().bounds().width() : VKModalPopoverContentSize.width) - HeaderMargin;
    return pathComponentsJoinedByString(joined, " > ", width, ui::Fonts::boldSystemFont(HeaderFontSize));
}

std::optional<std::string> VKFolderPickerViewController::titleForHeader(ui::TableView& table, int section)
{
    if (m_rootDataSource)
        return m_rootDataSource->titleForHeader(table, section);
    if (section != 0)
        return std::nullopt;
    return folderHeaderTitle();
}

std::shared_ptr<ui::TableViewCell> VKFolderPickerViewController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto cell = table.dequeueReusableCell(CellIdentifier);
    if (!cell) {
        cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, CellIdentifier);
        auto button = ui::Button::create(ui::Button::Type::Custom, { 0, 0, AccessoryButtonSize, AccessoryButtonSize });
        button->setImage(ui::Images::imageNamed("VKFolderPickerCellAccessoryButton.png"), ui::Control::Normal);
        button->setImage(ui::Images::imageNamed("VKFolderPickerCellAccessoryButtonSelected.png"), ui::Control::Highlighted);
        std::weak_ptr<VKFolderPickerViewController> weak
            = std::static_pointer_cast<VKFolderPickerViewController>(shared_from_this());
        button->addTarget(nullptr, "accessoryButtonTapped:", [weak](ui::Control& control, const ui::Event*) {
            if (auto screen = weak.lock())
                screen->accessoryButtonTapped(static_cast<ui::Button&>(control));
        }, ui::Control::TouchUpInside);
        cell->setAccessoryView(button);
    }
    cell->imageView().setImage(ui::Images::imageNamed("Folder-32.png"));
    if (m_rootDataSource) {
        cell->textLabel().setText(m_rootDataSource->titleForIndexPath(path));
    } else {
        auto folder = resourceForIndexPath(path);
        cell->textLabel().setText(folder ? folder->localizedName() : std::string());
    }
    return cell;
}

void VKFolderPickerViewController::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath path)
{
    auto folder = resourceForIndexPath(path);
    auto* picker = parentFolderPickerController();
    std::string folderPath = folder ? folder->path() : std::string();
    bool disabled = !folder || (picker && picker->isFolderDisabled(folderPath));
    bool closed = !folder || (picker && picker->isWithinRecursivelyDisabledFolder(folderPath));
    cell.contentView().setAlpha(disabled ? 0.5f : 1.0f);
    if (const auto& accessory = cell.accessoryView())
        accessory->setHidden(m_subfolderBrowsingDisabled || closed);
}

bool VKFolderPickerViewController::canPick(ui::IndexPath path) const
{
    auto folder = resourceForIndexPath(path);
    auto* picker = parentFolderPickerController();
    return folder && !(picker && picker->isFolderDisabled(folder->path()));
}

bool VKFolderPickerViewController::canOpenSubfolders(ui::IndexPath path) const
{
    auto folder = resourceForIndexPath(path);
    auto* picker = parentFolderPickerController();
    return folder && picker && !m_subfolderBrowsingDisabled && !picker->isWithinRecursivelyDisabledFolder(folder->path());
}

// The arrows rest on a row that picks or opens: a grey one may still open.
bool VKFolderPickerViewController::canSelectRow(ui::TableView&, ui::IndexPath path)
{
    return canPick(path) || canOpenSubfolders(path);
}

std::optional<ui::IndexPath> VKFolderPickerViewController::willSelectRow(ui::TableView&, ui::IndexPath path)
{
    if (!canPick(path))
        return std::nullopt;
    return path;
}

void VKFolderPickerViewController::didSelectRow(ui::TableView&, ui::IndexPath path)
{
    auto folder = resourceForIndexPath(path);
    auto* picker = parentFolderPickerController();
    if (!folder || !picker)
        return;
    if (auto delegate = picker->pickerDelegate())
        delegate->folderPickerController(*picker, folder);
}

void VKFolderPickerViewController::accessoryButtonTapped(ui::Button& button)
{
    if (!isViewLoaded())
        return;
    auto& table = tableView();
    for (auto* cell : table.visibleCells()) {
        if (cell->accessoryView().get() != &button)
            continue;
        if (auto path = table.indexPathForCell(*cell))
            openSubfolders(*path);
        return;
    }
}

bool VKFolderPickerViewController::openSubfolders(ui::IndexPath path)
{
    if (!canOpenSubfolders(path))
        return false;
    parentFolderPickerController()->pushViewController(create(resourceForIndexPath(path)), true);
    return true;
}

// Right opens the folder of the row the arrows reached, as its accessory
// does; Return picks it.
bool VKFolderPickerViewController::performKeyCommand(ui::KeyCommand command)
{
    if (command == ui::KeyCommand::Right && isViewLoaded())
        if (auto path = tableView().indexPathForSelectedRow(); path && openSubfolders(*path))
            return true;
    return VKNonRotatingTableViewController::performKeyCommand(command);
}
