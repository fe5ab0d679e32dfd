#include "App/Viewers/VKViewController.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "App/FolderBrowser/VKFailureReason.h"
#include "Shell/Interface/VKPlaceholderView.h"
#include "Shell/VKAppDelegateHooks.h"
#include "App/Viewers/VKFileInfoViewController.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/VKFunctions.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Store/Context.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "WebDAV/WebDAVDeleteResponse.h"

#include <fmt/format.h>

#include <array>
#include <map>

namespace {

// PDF goes to the PDF viewer where scroll views zoom.
constexpr bool scrollViewsZoom = requires(ui::ScrollView& view) { view.setZoomScale(1.0f); };

struct Registrations {
    std::map<VKViewerKind, VKViewController::Factory> factories;
};

Registrations& registrations()
{
    static Registrations shared;
    return shared;
}

VKViewerKind kindOfResource(const VKFileResource& resource)
{
    // A picture the platform's decoders do not read shows in the web view.
    if (resource.isImageType())
        return gfx::Image::canDecodeMIMEType(resource.mimeType()) ? VKViewerKind::Image : VKViewerKind::Web;
    if (resource.isMovieType())
        return VKViewerKind::Movie;
    if (resource.isAudioType())
        return VKViewerKind::Audio;
    if (resource.isTextType() && resource.mimeType() != "text/html")
        return VKViewerKind::Text;
    if (resource.isPDFType() && scrollViewsZoom)
        return VKViewerKind::PDF;
    return VKViewerKind::Web;
}

std::shared_ptr<VKViewController> makeWithFactory(VKViewerKind kind, const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto found = registrations().factories.find(kind);
    std::shared_ptr<VKViewController> viewer;
    if (found != registrations().factories.end() && found->second)
        viewer = found->second(resource, folderController);
    return viewer ? viewer : VKFileInfoViewController::create(resource, folderController);
}

} // namespace

// ---- The choice -----------------------------------------------------------

std::shared_ptr<VKViewController> VKViewController::viewControllerWithResource(
    const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    VKViewerKind kind = resource ? kindOfResource(*resource) : VKViewerKind::Web;
    if (kind == VKViewerKind::Audio)
        return audioPlayerControllerForResource(resource, folderController);
    return makeWithFactory(kind, resource, folderController);
}

std::shared_ptr<VKViewController> VKViewController::audioPlayerControllerForResource(
    const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    return makeWithFactory(VKViewerKind::Audio, resource, folderController);
}

void VKViewController::setViewerFactory(VKViewerKind kind, Factory factory)
{
    if (factory)
        registrations().factories[kind] = std::move(factory);
    else
        registrations().factories.erase(kind);
}

void VKViewController::resetRegistrationsForTesting()
{
    registrations() = {};
}

// ---- Life ----------------------------------------------------------------

VKViewController::VKViewController() = default;

VKViewController::~VKViewController()
{
    // What the viewer showed goes back to the system, not only to the heap.
    VKImageOperationQueue::releaseMemoryLater();
}

void VKViewController::initWithResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    m_folderController = folderController;
    setResource(resource);
    m_currentInterfaceOrientation = ui::Orientation::Portrait;

    std::weak_ptr<VKViewController> weak = sharedAs<VKViewController>();
    auto& center = core::NotificationCenter::defaultCenter();
    auto handle = [&](auto name, void (VKViewController::*handler)(const core::Notification&),
                      const std::shared_ptr<core::Object>& sender = nullptr) {
        m_observations.push_back(center.observe(name, sender, [weak, handler](const core::Notification& notification) {
            if (auto self = weak.lock())
                ((*self).*handler)(notification);
        }));
    };
    handle(VKCloudServiceFetchWillStartDownloadNotification, &VKViewController::cloudFileFetchWillStartDownload);
    handle(VKCloudServiceFetchDidCompleteNotification, &VKViewController::cloudFileFetchDidComplete);
    handle(VKCloudServiceFetchFailedNotification, &VKViewController::cloudFileFetchFailed);
    auto followDeletion = [&]<class Deletion>(core::NoticeName<Deletion> name) {
        m_observations.push_back(center.observe(name, nullptr, [weak](const Deletion& deletion) {
            auto self = weak.lock();
            if (self && !deletion.path.empty())
                self->resourceWillBeDeleted(deletion.path);
        }));
    };
    followDeletion(VKFolderControllerWillDeleteResourceNotification);
    followDeletion(WebDAVWillDeleteResourceNotification);
    for (auto name : { VKFolderControllerDidMoveResourceNotification, WebDAVDidMoveResourceNotification })
        m_observations.push_back(center.observe(name, nullptr, [weak](const VKResourceMove& move) {
            if (auto self = weak.lock())
                self->resourceDidMove(move);
        }));
    if (auto store = VKCloudFileStore::sharedStore())
        m_observations.push_back(center.observe(store::ContextDidSaveNotification, store->managedObjectContext(),
            [weak](const store::ContextSave& save) {
                if (auto self = weak.lock())
                    self->cloudFileStoreDidSave(save);
            }));
    setWantsFullScreenLayout(true);
}

void VKViewController::setResource(const std::shared_ptr<VKFileResource>& resource)
{
    if (resource == m_resource || (resource && m_resource && resource->isEqual(*m_resource)))
        return;
    m_resource = resource;
    m_cloudFetch.observeProgress();
    setTitleFromResource();
}

void VKViewController::setTitleFromResource()
{
    if (!m_resource) {
        setTitle("");
        return;
    }
    std::string name = m_resource->name();
    if (!core::UserDefaults::standard()->boolForKey("VKDisplayFileExtensions"))
        name = core::path::deletingPathExtension(name);
    setTitle(name);
}

// ---- Following the file ----------------------------------------------------

void VKViewController::resourceWillBeDeleted(const std::string& path)
{
    if (!m_resource || path != m_resource->path())
        return;
    setResource(nullptr);
}

void VKViewController::resourceDidMove(const VKResourceMove& move)
{
    if (move.oldPath.empty() || move.newPath.empty() || !m_resource)
        return;
    const std::string path = m_resource->path();
    std::string movedPath;
    if (path == move.oldPath)
        movedPath = move.newPath;
    else if (core::path::deletingLastPathComponent(path) == move.oldPath)
        // Only the file's own folder is followed, not the folders above it.
        movedPath = core::path::appendingPathComponent(move.newPath, core::path::lastPathComponent(path));
    else
        return;
    auto moved = VKFileResource::resourceWithPath(movedPath);
    if (!moved) {
        core::log("Warning, nothing at the moved file's new path: {}", movedPath);
        return;
    }
    setResource(moved);
}

void VKViewController::cloudFileStoreDidSave(const store::ContextSave& save)
{
    if (!m_resource || !m_resource->isCloudResource())
        return;
    for (const auto& item : save.deleted) {
        auto node = std::dynamic_pointer_cast<VKCloudManagedObject>(item);
        if (!node)
            continue;
        VKCloudFileResource gone(node);
        if (!gone.isEqual(*m_resource))
            continue;
        // The path as the resource answers it now: a deleted node's is "".
        resourceWillBeDeleted(m_resource->path());
        return;
    }
}

// ---- Views -----------------------------------------------------------------

void VKViewController::loadView()
{
    gfx::Rect frame;
    if (auto* navigation = navigationController())
        frame = navigation->view()->bounds();
    else if (auto* application = ui::Application::shared())
        frame = application->applicationFrame();
    auto placeholder = VKPlaceholderView::create(frame);
    placeholder->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    setView(placeholder);
}

VKPlaceholderView* VKViewController::placeholderView()
{
    return static_cast<VKPlaceholderView*>(view().get());
}

void VKViewController::viewDidLoad()
{
    VKFullScreenViewController::viewDidLoad();
    setTitleFromResource();
    setToolbarItems(createToolbarItems());
    if (m_contentView || !m_resource)
        return;
    if (m_resource->isCloudResource()) {
        startCloudFileFetch();
        return;
    }
    setContentLoading(true);
    loadContentView();
}

void VKViewController::viewDidUnload()
{
    if (m_resource)
        storePersistentState();
    stopActivityIndicator();
    m_contentView.reset();
    setContentLoading(false);
    m_contentDidLoad = false;
    VKFullScreenViewController::viewDidUnload();
}

void VKViewController::setContentView(const std::shared_ptr<ui::View>& view)
{
    if (view == m_contentView)
        return;
    if (m_contentView)
        m_contentView->removeFromSuperview();
    m_contentView = view;
    if (!view)
        return;
    const auto& root = this->view();
    if (!root->bounds().isEmpty())
        view->setFrame(root->bounds());
    view->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    root->addSubview(view);
    // A spinner already turning goes over the content rather than under it.
    m_spinner.moveInto(*view);
    contentViewDidLoad();
}

void VKViewController::showUnableToDisplayAlertView(const core::Error& error)
{
    std::string name = m_resource ? m_resource->name() : std::string();
    showAlertViewWithMessage(
        VKTextWithFailureReason(fmt::format(fmt::runtime(core::localized("Unable to display \"{}\"")), name), error),
        core::localized("OK"));
}

ui::Window* VKViewController::window()
{
    if (auto* presented = presentedController(); presented && presented->isViewLoaded())
        return presented->view()->window();
    if (auto* navigation = navigationController(); navigation && navigation->isViewLoaded())
        return navigation->view()->window();
    return nullptr;
}

ui::ViewController* VKViewController::presentedController()
{
    if (auto* navigation = navigationController())
        return navigation->modalViewController();
    return modalViewController();
}

ui::Application::StatusBarStyle VKViewController::statusBarStyle() const
{
    auto* self = const_cast<VKViewController*>(this);
    if (self->presentedController()) {
        if (auto* navigation = navigationController(); navigation && navigation->visibleViewController()
            && navigation->visibleViewController() != this)
            return navigation->visibleViewController()->statusBarStyle();
    }
    return ui::Application::StatusBarStyle::BlackTranslucent;
}

// ---- Appearance and rotation -------------------------------------------------

void VKViewController::viewWillAppear(bool animated)
{
    VKFullScreenViewController::viewWillAppear(animated);
    auto* application = ui::Application::shared();
    if (application)
        application->setStatusBarStyle(ui::Application::StatusBarStyle::BlackTranslucent, animated);
    if (auto* navigation = navigationController()) {
        auto& bar = navigation->navigationBar();
        bar.setBarStyle(ui::NavigationBar::Style::Black);
        bar.setTintColor(std::nullopt);
        bar.setTranslucent(true);
        auto& toolbar = navigation->toolbar();
        toolbar.setBarStyle(ui::NavigationBar::Style::Black);
        toolbar.setTintColor(std::nullopt);
        toolbar.setTranslucent(true);
    }
    auto hooks = VKAppDelegateHooks::current();
    if (application && !(hooks && hooks->isOrientationLocked()))
        m_currentInterfaceOrientation = application->statusBarOrientation();
}

void VKViewController::viewDidAppear(bool animated)
{
    VKFullScreenViewController::viewDidAppear(animated);
    if (m_contentDidLoad && shouldSingleTapHideUI())
        setUIHiddenAfterDelay(true, VKUIHideDelay);
}

void VKViewController::viewWillDisappear(bool animated)
{
    VKFullScreenViewController::viewWillDisappear(animated);
    setUIHidden(false, animated);
    if (m_resource)
        storePersistentState();
}

void VKViewController::didRotate(ui::Orientation fromOrientation)
{
    VKFullScreenViewController::didRotate(fromOrientation);
    if (auto* application = ui::Application::shared())
        m_currentInterfaceOrientation = application->statusBarOrientation();
}

void VKViewController::willRotate(ui::Orientation orientation, double duration)
{
    VKFullScreenViewController::willRotate(orientation, duration);
    dismissActiveActionSheet(*this);
}

bool VKViewController::shouldAutorotate(ui::Orientation orientation)
{
    if (m_contentLoading)
        return orientation == m_currentInterfaceOrientation;
    if (auto* presented = presentedController())
        return presented->shouldAutorotate(orientation);
    return true;
}

bool VKViewController::performKeyCommand(ui::KeyCommand command)
{
    if (command == ui::KeyCommand::Close)
        if (auto* navigation = navigationController())
            return navigation->performKeyCommand(ui::KeyCommand::Back);
    return VKFullScreenViewController::performKeyCommand(command);
}

bool VKViewController::shouldBegin(ui::GestureRecognizer& recognizer)
{
    if (!m_contentDidLoad)
        return false;
    return VKFullScreenViewController::shouldBegin(recognizer);
}

core::Value VKViewController::currentStateDictionary()
{
    if (m_resource)
        storePersistentState();
    return core::Value(core::Value::Dictionary {});
}

// ---- Toolbar -----------------------------------------------------------------

void VKViewController::setToolbarItems(std::vector<std::shared_ptr<ui::BarButtonItem>> items, bool animated)
{
    auto hooks = VKAppDelegateHooks::current();
    if (hooks && hooks->isGuestMode()) {
        bool actions = hooks->guestActionsEnabled();
        std::erase_if(items, [actions](const std::shared_ptr<ui::BarButtonItem>& item) {
            auto action = item ? findAction(*item) : std::nullopt;
            if (!action)
                return false;
            if (*action == DeleteItemAction)
                return true;
            return !actions
                && (*action == ShowDocumentActionSheetAction || *action == AddBookmarkAction
                    || *action == ShowBookmarksAction);
        });
    }
    VKFullScreenViewController::setToolbarItems(std::move(items), animated);
}

std::shared_ptr<ui::BarButtonItem> VKViewController::findBarButtonItemWithAction(std::string_view action) const
{
    if (action.empty())
        return nullptr;
    for (const auto& item : toolbarItems()) {
        if (auto found = findAction(*item); found && *found == action)
            return item;
    }
    return nullptr;
}

void VKViewController::setToolbarItemsEnabled(bool enabled)
{
    for (const auto& item : toolbarItems()) {
        if (findAction(*item))
            item->setEnabled(enabled);
    }
}

// ---- The spinner --------------------------------------------------------------

void VKViewController::startActivityIndicatorWithStyle(ui::ActivityIndicator::Style style, double delay)
{
    m_spinner.start(style, delay, m_contentView ? *m_contentView : *view(), view()->bounds());
}
