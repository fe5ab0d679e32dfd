#include "App/FolderBrowser/VKFolderPickerController.h"

#include "App/FolderBrowser/VKFolderPickerViewController.h"
#include "App/FolderBrowser/VKRootFolderDataSource.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/LayoutConstants.h"
#include "Shell/VKApplication.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"

#include <algorithm>

namespace {

std::vector<std::string> localDirectories()
{
    auto application = VKApplication::sharedApplication();
    return { application->documentsDirectory(), application->publicDirectory() };
}

} // namespace

// ---- Making ----------------------------------------------------------------

std::shared_ptr<VKFolderPickerController> VKFolderPickerController::create(
    const std::shared_ptr<VKRootFolderDataSource>& dataSource)
{
    auto picker = std::make_shared<VKFolderPickerController>();
    picker->setContentSizeForViewInPopover(VKModalPopoverContentSize);
    picker->setFormSheetContentSize(VKModalPopoverContentSize);
    picker->setViewControllers({ VKFolderPickerViewController::create(dataSource) }, false);
    return picker;
}

std::shared_ptr<VKFolderPickerController> VKFolderPickerController::folderPickerWithLocalDirectories()
{
    return create(VKRootFolderDataSource::create(localDirectories()));
}

std::shared_ptr<VKFolderPickerController> VKFolderPickerController::folderPickerWithStandardDirectories()
{
    return create(VKRootFolderDataSource::create(localDirectories(),
        VKCloudServicesManager::sharedManager()->linkedServiceKeys()));
}

std::shared_ptr<VKFolderPickerController> VKFolderPickerController::folderPickerWithLinkedCloudServices()
{
    return create(VKRootFolderDataSource::create({}, VKCloudServicesManager::sharedManager()->linkedServiceKeys()));
}

std::shared_ptr<VKFolderPickerController> VKFolderPickerController::folderPickerWithCloudService(
    const std::shared_ptr<VKCloudService>& service)
{
    if (!service)
        return folderPickerWithLinkedCloudServices();
    auto picker = create(VKRootFolderDataSource::create({}, { service->name() }));
    auto root = service->resourceForCloudPath("/");
    auto leaf = lastKnownLeaf();
    std::string rootPath = root ? root->path() : std::string();
    if (root && !rootPath.empty() && !(leaf && core::path::isWithin(leaf->path(), rootPath)))
        setLastKnownLeaf(root);
    return picker;
}

// ---- Cancel ----------------------------------------------------------------

bool VKFolderPickerController::showsCancelButton() const
{
    return const_cast<VKFolderPickerController*>(this)->navigationItem().rightBarButtonItem() != nullptr;
}

void VKFolderPickerController::setShowsCancelButton(bool shows)
{
    std::shared_ptr<ui::BarButtonItem> item;
    if (shows) {
        std::weak_ptr<VKFolderPickerController> weak
            = std::static_pointer_cast<VKFolderPickerController>(shared_from_this());
        item = barButtonSystemItem(ui::BarButtonItem::SystemItem::Cancel, shared_from_this(), CancelAction,
            [weak](ui::BarButtonItem& sender) {
                if (auto picker = weak.lock())
                    picker->didCancel(sender.shared_from_this());
            });
    }
    navigationItem().setRightBarButtonItem(item);
    if (auto* top = topViewController())
        top->navigationItem().setRightBarButtonItem(item);
}

void VKFolderPickerController::didCancel(const std::shared_ptr<core::Object>&)
{
    if (auto delegate = pickerDelegate())
        delegate->didCancelFolderPickerController(*this);
}

// ---- Disabled folders ------------------------------------------------------

void VKFolderPickerController::addDisabledFolder(const std::shared_ptr<VKFileResource>& folder, bool recursive)
{
    if (!folder)
        return;
    std::string path = core::path::standardizingPath(folder->path());
    if (path.empty())
        return;
    m_disabledItems[path] = recursive;
    auto* top = topViewController();
    if (top && top->isViewLoaded())
        if (auto* screen = dynamic_cast<VKFolderPickerViewController*>(top))
            screen->tableView().reloadData();
}

std::optional<bool> VKFolderPickerController::disabledValueForFolder(const VKFileResource& folder) const
{
    auto found = m_disabledItems.find(core::path::standardizingPath(folder.path()));
    if (found == m_disabledItems.end())
        return std::nullopt;
    return found->second;
}

bool VKFolderPickerController::isFolderDisabled(const std::string& path) const
{
    if (path.empty())
        return false;
    if (m_disabledItems.contains(core::path::standardizingPath(path)))
        return true;
    return isWithinRecursivelyDisabledFolder(path);
}

bool VKFolderPickerController::isWithinRecursivelyDisabledFolder(const std::string& path) const
{
    if (path.empty())
        return false;
    // Whole components: "/A" disables "/A/B", never "/AB".
    return std::any_of(m_disabledItems.begin(), m_disabledItems.end(), [&](const auto& item) {
        return item.second && core::path::isWithin(path, item.first);
    });
}

// ---- The root screen -------------------------------------------------------

VKFolderPickerViewController* VKFolderPickerController::rootScreen() const
{
    return viewControllers().empty() ? nullptr : dynamic_cast<VKFolderPickerViewController*>(viewControllers().front().get());
}

std::shared_ptr<VKRootFolderDataSource> VKFolderPickerController::rootFolderDataSource() const
{
    auto* root = rootScreen();
    return root ? root->rootDataSource() : nullptr;
}

std::shared_ptr<VKFileResource> VKFolderPickerController::rootResource() const
{
    auto* root = rootScreen();
    return root ? root->resource() : nullptr;
}

bool VKFolderPickerController::subfolderBrowsingDisabled() const
{
    auto* root = rootScreen();
    return root && root->subfolderBrowsingDisabled();
}

void VKFolderPickerController::setSubfolderBrowsingDisabled(bool disabled)
{
    if (disabled) {
        popToRootViewController(false);
        setLastKnownLeaf(nullptr);
    }
    if (auto* root = rootScreen())
        root->setSubfolderBrowsingDisabled(disabled);
}

// ---- The remembered folder -------------------------------------------------

std::shared_ptr<VKFileResource> VKFolderPickerController::lastKnownLeaf()
{
    core::Value stored = core::UserDefaults::standard()->object(LastKnownLeafKey);
    if (!stored.isString() || stored.string().empty())
        return nullptr;
    auto folder = VKFileResource::resourceWithPath(core::path::expandingTildeInPath(stored.string()));
    return folder && folder->exists() ? folder : nullptr;
}

void VKFolderPickerController::setLastKnownLeaf(const std::shared_ptr<VKFileResource>& folder)
{
    std::string path = folder ? folder->path() : std::string();
    if (path.empty()) {
        core::UserDefaults::standard()->remove(LastKnownLeafKey);
        return;
    }
    core::UserDefaults::standard()->set(LastKnownLeafKey, core::Value(core::path::abbreviatingWithTildeInPath(path)));
}

std::optional<std::string> VKFolderPickerController::takeRestorableLeaf()
{
    auto defaults = core::UserDefaults::standard();
    core::Value stored = defaults->object(LastKnownLeafKey);
    defaults->remove(LastKnownLeafKey);
    // What the defaults hold may have been written by anyone: a relative
    // path, "..", a NUL or a place outside the roots opens nothing.
    if (!stored.isString())
        return std::nullopt;
    const std::string& text = stored.string();
    if (text.empty() || text.find('\0') != std::string::npos)
        return std::nullopt;
    std::string path = core::path::expandingTildeInPath(text);
    if (!core::path::isAbsolute(path))
        return std::nullopt;
    auto components = core::path::pathComponents(path);
    if (std::find(components.begin(), components.end(), "..") != components.end())
        return std::nullopt;
    path = core::path::standardizingPath(path);
    if (isWithinRecursivelyDisabledFolder(path))
        return std::nullopt;

    auto application = VKApplication::sharedApplication();
    auto root = application->rootDirectoryForPath(path);
    auto source = rootFolderDataSource();
    if (!root || !source)
        return std::nullopt;
    if (core::path::isWithin(path, application->serversDirectory())) {
        const auto& keys = source->cloudServiceKeys();
        auto service = VKCloudServicesManager::sharedManager()->cloudServiceForPath(path);
        if (keys.empty() || !service || !service->isLinked()
            || std::find(keys.begin(), keys.end(), service->name()) == keys.end())
            return std::nullopt;
    } else {
        const auto& directories = source->localDirectories();
        bool listed = std::any_of(directories.begin(), directories.end(), [&](const std::string& directory) {
            return core::path::standardizingPath(directory) == core::path::standardizingPath(*root);
        });
        if (!listed)
            return std::nullopt;
    }
    return path;
}

void VKFolderPickerController::restoreStack(const std::string& leaf)
{
    auto application = VKApplication::sharedApplication();
    auto root = application->rootDirectoryForPath(leaf);
    if (!root)
        return;
    std::string rootPath = core::path::standardizingPath(*root);
    auto rootComponents = core::path::pathComponents(rootPath);
    auto leafComponents = core::path::pathComponents(leaf);
    if (leafComponents.size() < rootComponents.size())
        return;
    std::vector<std::shared_ptr<ui::ViewController>> stack { viewControllers().front() };
    std::string path = rootPath;
    for (size_t i = rootComponents.size();; ++i) {
        auto folder = VKFileResource::resourceWithPath(path);
        if (!folder || !folder->exists() || !folder->isDirectory())
            return;
        stack.push_back(VKFolderPickerViewController::create(folder));
        if (i >= leafComponents.size())
            break;
        path = core::path::appendingPathComponent(path, leafComponents[i]);
    }
    setViewControllers(std::move(stack), false);
}

void VKFolderPickerController::viewDidLoad()
{
    VKNavigationController::viewDidLoad();
    if (auto leaf = takeRestorableLeaf())
        restoreStack(*leaf);
}

void VKFolderPickerController::viewWillDisappear(bool animated)
{
    VKNavigationController::viewWillDisappear(animated);
    const auto& stack = viewControllers();
    auto* top = stack.size() >= 2 ? dynamic_cast<VKFolderPickerViewController*>(stack.back().get()) : nullptr;
    setLastKnownLeaf(top ? top->resource() : nullptr);
}
