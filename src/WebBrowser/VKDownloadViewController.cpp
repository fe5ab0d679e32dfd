#include "WebBrowser/VKDownloadViewController.h"

#include "WebBrowser/VKWebBrowserView.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKTabBarButton.h"
#include "FileModel/VKFileResource.h"
#include "Kit/URLRequestAdditions.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Toolbar.h"
#include "Downloads/VKDownloadFileResource.h"
#include "Downloads/VKDownloadManager.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>

namespace {

constexpr float BookmarksItemWidth = 44;
constexpr float ArrowItemWidth = 30;
constexpr float BackForwardSpace = 20;
// Fields a stored page must not keep: the settings file is plain text, and
// a replayed request must not sign anyone in.
constexpr const char* PrivateHeaders[] = { "Authorization", "Proxy-Authorization", "Cookie" };

std::string downloadText(const char* key)
{
    return core::localized(key, "WebBrowser");
}

// The shared browser, with the memory-warning observation made with it
// (so it follows the notification centre of its day).
struct SharedBrowser {
    std::shared_ptr<VKWebBrowserController> browser;
    core::Observation memoryWarnings;
};

SharedBrowser& sharedBrowser()
{
    static SharedBrowser shared;
    return shared;
}

// A download's request, carried by the destination sheet and the picker.
class PendingRequest : public core::Object {
public:
    explicit PendingRequest(core::URLRequest request) : request(std::move(request)) { }
    core::URLRequest request;
};

std::shared_ptr<core::Object> pending(const core::URLRequest& request)
{
    return std::make_shared<PendingRequest>(request);
}

std::optional<core::URLRequest> pendingRequest(const std::shared_ptr<core::Object>& object)
{
    auto holder = std::dynamic_pointer_cast<PendingRequest>(object);
    return holder ? std::optional<core::URLRequest>(holder->request) : std::nullopt;
}

} // namespace

std::shared_ptr<VKDownloadViewController> VKDownloadViewController::initWithCurrentFolder(
    const std::shared_ptr<VKFileResource>& folder, std::weak_ptr<VKFolderBrowserServices> browser)
{
    auto screen = std::make_shared<VKDownloadViewController>();
    screen->m_currentFolder = folder;
    screen->m_browser = std::move(browser);
    std::weak_ptr<VKDownloadViewController> weak = screen;
    screen->m_downloadsObservation = VKDownloadManager::sharedManager()->observeValueForKey("allDownloads", [weak] {
        if (auto self = weak.lock())
            self->updateDownloadBadgeCount();
    });
    return screen;
}

VKDownloadViewController::VKDownloadViewController() = default;

// The browser holds its delegates weakly: a screen that goes needs not
// clear them, and must not clear a newer screen's.
VKDownloadViewController::~VKDownloadViewController() = default;

std::shared_ptr<VKDownloadViewController> VKDownloadViewController::self()
{
    return std::static_pointer_cast<VKDownloadViewController>(shared_from_this());
}

// MARK: The shared browser

std::shared_ptr<VKWebBrowserController> VKDownloadViewController::sharedWebBrowserController()
{
    auto& shared = sharedBrowser();
    if (!shared.browser) {
        shared.browser = VKWebBrowserController::webBrowserController();
        shared.memoryWarnings = core::NotificationCenter::defaultCenter().observe(
            ui::Application::didReceiveMemoryWarningNotification, nullptr,
            [](const core::Notification&) { releaseSharedWebBrowserController(); });
    }
    return shared.browser;
}

void VKDownloadViewController::releaseSharedWebBrowserController()
{
    auto& shared = sharedBrowser();
    shared.memoryWarnings.reset();
    shared.browser.reset();
}

std::shared_ptr<VKWebBrowserController> VKDownloadViewController::webBrowserController()
{
    if (!m_webBrowserController) {
        m_webBrowserController = sharedWebBrowserController();
        m_webBrowserController->setUIDelegate(std::static_pointer_cast<VKWebBrowserControllerUIDelegate>(self()));
        m_webBrowserController->setDownloadDelegate(std::static_pointer_cast<VKWebBrowserControllerDownloadDelegate>(self()));
    }
    return m_webBrowserController;
}

std::shared_ptr<VKDownloadHistoryController> VKDownloadViewController::downloadHistoryController()
{
    if (!m_downloadHistoryController) {
        m_downloadHistoryController = VKDownloadHistoryController::create();
        m_downloadHistoryController->setUIDelegate(std::static_pointer_cast<VKDownloadHistoryControllerUIDelegate>(self()));
    }
    return m_downloadHistoryController;
}

void VKDownloadViewController::clearBrowserDelegates()
{
    if (!m_webBrowserController)
        return;
    m_webBrowserController->setUIDelegate({});
    m_webBrowserController->setDownloadDelegate({});
}

// MARK: Screen

void VKDownloadViewController::viewDidLoad()
{
    VKNavigationController::viewDidLoad();
    setToolbarHidden(false);
    toolbar().setBarStyle(ui::NavigationBar::Style::Black);
    buildToolbarItems();
    if (!m_webBrowserController && !m_downloadHistoryController) {
        if (core::UserDefaults::standard()->integerForKey(CurrentDownloadViewKey) == DownloadsView)
            showDownloadHistory();
        else
            showWebBrowser();
    }
}

void VKDownloadViewController::viewWillAppear(bool animated)
{
    VKNavigationController::viewWillAppear(animated);
    updateDownloadBadgeCount();
    if (auto application = ui::Application::shared())
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default, animated);
}

void VKDownloadViewController::viewWillDisappear(bool animated)
{
    core::UserDefaults::standard()->set(CurrentDownloadViewKey, core::Value(int64_t(isShowingWebBrowser() ? BrowserView : DownloadsView)));
    VKNavigationController::viewWillDisappear(animated);
}

void VKDownloadViewController::didReceiveMemoryWarning()
{
    VKNavigationController::didReceiveMemoryWarning();
    if (m_webBrowserController && !isShowingWebBrowser()) {
        clearBrowserDelegates();
        m_webBrowserController.reset();
    }
    if (m_downloadHistoryController && !isShowingDownloadHistory())
        m_downloadHistoryController.reset();
}

bool VKDownloadViewController::isShowingWebBrowser() const
{
    return m_webBrowserController && topViewController() == m_webBrowserController.get();
}

bool VKDownloadViewController::isShowingDownloadHistory() const
{
    return m_downloadHistoryController && topViewController() == m_downloadHistoryController.get();
}

void VKDownloadViewController::buildToolbarItems()
{
    if (!m_toolbarItems.empty())
        return;
    std::weak_ptr<VKDownloadViewController> weak = self();
    auto act = [weak](void (VKDownloadViewController::*method)()) {
        return [weak, method](ui::BarButtonItem&) {
            if (auto screen = weak.lock())
                ((*screen).*method)();
        };
    };
    m_backBarItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowLeft.png"), ui::BarButtonItem::Style::Plain,
        nullptr, "goBack", act(&VKDownloadViewController::goBack));
    m_forwardBarItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowRight.png"),
        ui::BarButtonItem::Style::Plain, nullptr, "goForward", act(&VKDownloadViewController::goForward));
    m_bookmarksBarItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarBookmarks.png"),
        ui::BarButtonItem::Style::Plain, nullptr, "showBookmarks", act(&VKDownloadViewController::showBookmarks));
    m_bookmarksBarItem->setWidth(BookmarksItemWidth);
    // Narrow enough that both tabs fit beside them on an upright phone.
    m_backBarItem->setWidth(ArrowItemWidth);
    m_forwardBarItem->setWidth(ArrowItemWidth);

    auto tab = [weak](const char* basename, const char* title, const char* action,
                   void (VKDownloadViewController::*method)()) {
        auto button = VKTabBarButton::tabBarButtonWithBackgroundImageBasename(basename);
        button->setTitle(downloadText(title), ui::Control::Normal);
        // Tabs answer at once, on touch-down.
        button->addTarget(nullptr, action, [weak, method](ui::Control&, const ui::Event*) {
            if (auto screen = weak.lock())
                ((*screen).*method)();
        }, ui::Control::TouchDown);
        button->sizeToFit();
        return button;
    };
    m_browserButton = tab("VKTabBarCompass", "Browser", ShowWebBrowserAction, &VKDownloadViewController::showWebBrowser);
    m_downloadHistoryButton = tab("VKTabBarDownloads", "Downloads", ShowDownloadHistoryAction,
        &VKDownloadViewController::showDownloadHistory);
    m_toolbarItems = { m_backBarItem, flexibleSpaceBarButtonItem(), fixedSpaceBarButtonItemWithWidth(BackForwardSpace),
        m_forwardBarItem, flexibleSpaceBarButtonItem(), m_bookmarksBarItem, flexibleSpaceBarButtonItem(),
        barButtonItemWithCustomView(m_browserButton), flexibleSpaceBarButtonItem(),
        barButtonItemWithCustomView(m_downloadHistoryButton) };
}

// MARK: Tabs

void VKDownloadViewController::showWebBrowser()
{
    auto browser = webBrowserController();
    if (isShowingWebBrowser() && browser->isViewLoaded() && browser->view()->window())
        return;
    buildToolbarItems();
    browser->setToolbarItems(m_toolbarItems);
    // The browser is shared: a screen closed earlier but still held lets
    // it go first.
    if (auto* other = browser->navigationController(); other && other != this)
        other->setViewControllers({}, false);
    setViewControllers({ browser }, false);
    m_browserButton->setSelected(true);
    m_downloadHistoryButton->setSelected(false);
    m_bookmarksBarItem->setEnabled(true);
    webBrowserControllerUpdateBackForwardControls(*browser);
    setNavigationBarHidden(true);
}

void VKDownloadViewController::showDownloadHistory()
{
    auto list = downloadHistoryController();
    if (isShowingDownloadHistory() && list->isViewLoaded() && list->view()->window())
        return;
    storeLastWebRequest();
    buildToolbarItems();
    std::weak_ptr<VKDownloadViewController> weak = self();
    list->navigationItem().setLeftBarButtonItem(barButtonItemWithTitle(downloadText("Close"), ui::BarButtonItem::Style::Done, nullptr,
        CloseAction, [weak](ui::BarButtonItem&) {
            if (auto screen = weak.lock())
                screen->dismissModalViewControllerDelayed();
        }));
    list->setToolbarItems(m_toolbarItems);
    setViewControllers({ list }, false);
    m_browserButton->setSelected(false);
    m_downloadHistoryButton->setSelected(true);
    m_backBarItem->setEnabled(false);
    m_forwardBarItem->setEnabled(false);
    m_bookmarksBarItem->setEnabled(false);
    setNavigationBarHidden(false);
}

void VKDownloadViewController::updateDownloadBadgeCount()
{
    if (!m_downloadHistoryButton)
        return;
    size_t count = VKDownloadManager::sharedManager()->webDownloads().size();
    if (count > 0)
        m_downloadHistoryButton->setBadgeValue(fmt::format("{}", count));
    else
        m_downloadHistoryButton->setBadgeValue(std::nullopt);
}

// MARK: The last page

void VKDownloadViewController::storeLastWebRequest()
{
    if (!m_webBrowserController)
        return;
    if (const auto& request = m_webBrowserController->request())
        storeLastWebRequest(*request);
}

void VKDownloadViewController::storeLastWebRequest(const core::URLRequest& request)
{
    if (request.url().absoluteString().empty())
        return;
    core::URLRequest stored(request.url());
    for (const auto& [name, value] : request.headers().fields())
        if (std::none_of(std::begin(PrivateHeaders), std::end(PrivateHeaders),
                [&](const char* secret) { return core::ascii::equalIgnoringCase(name, secret); }))
            stored.addHeader(name, value);
    core::UserDefaults::standard()->set(LastRequestKey, core::Value(core::Data(archivedRequest(stored))));
}

core::URLRequest VKDownloadViewController::lastWebRequest()
{
    auto defaults = core::UserDefaults::standard();
    core::Value stored = defaults->object(LastRequestKey);
    if (!stored.isNull()) {
        if (auto request = stored.isData() ? unarchivedRequest(stored.data().view()) : std::nullopt)
            return *request;
        core::log("VKDownloadViewController: dropping an unreadable {}", LastRequestKey);
        defaults->remove(LastRequestKey);
    }
    std::string host = defaults->stringForKey(VKWebBrowserController::SearchHostKey);
    return core::URLRequest(core::URL::parse(fmt::format("http://{}/m", host)).value_or(core::URL()));
}

// MARK: Where a download goes

void VKDownloadViewController::promptForDownloadLocation(const core::URLRequest& request)
{
    if (m_currentFolder && m_currentFolder->isCloudResource()) {
        showFolderPickerControllerForRequest(request);
        return;
    }
    auto sheet = VKActionSheet::create(downloadText("Download Destination?"), std::static_pointer_cast<ui::ActionSheetDelegate>(self()));
    sheet->setUserInfo(core::Value(pending(request)));
    std::string name = m_currentFolder ? m_currentFolder->name() : std::string();
    sheet->addButtonWithTitle(fmt::format(fmt::runtime(downloadText("Use \"{}\"")), name), UseCurrentFolderButtonTag);
    sheet->addButtonWithTitle(downloadText("Choose a Folder"), ChooseFolderButtonTag);
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    if (view() && view()->window())
        sheet->showInView(*view());
}

void VKDownloadViewController::clickedButton(ui::ActionSheet& sheet, int index)
{
    auto* tagged = dynamic_cast<VKActionSheet*>(&sheet);
    if (!tagged || index == sheet.cancelButtonIndex())
        return;
    auto request = pendingRequest(tagged->userInfo().object());
    if (!request)
        return;
    if (tagged->tagForButtonAtIndex(index) == UseCurrentFolderButtonTag)
        startDownloadWithRequest(*request, m_currentFolder);
    else
        showFolderPickerControllerForRequest(*request);
}

std::shared_ptr<VKDownloadFileResource> VKDownloadViewController::startDownloadWithRequest(const core::URLRequest& request,
    const std::shared_ptr<VKFileResource>& folder)
{
    auto item = folder ? VKDownloadManager::sharedManager()->startWebDownloadWithRequest(request, folder->path()) : nullptr;
    if (!item)
        showAlertViewWithTitle(core::localized("Warning"), downloadText("Your download failed to start.\nPlease try again later."),
            core::localized("OK"));
    return item;
}

void VKDownloadViewController::showFolderPickerControllerForRequest(const core::URLRequest& request)
{
    auto picker = VKFolderPickerController::folderPickerWithLocalDirectories();
    picker->setPickerDelegate(std::static_pointer_cast<VKFolderPickerControllerDelegate>(self()));
    picker->setShowsCancelButton(true);
    picker->setUserInfo(pending(request));
    picker->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    presentModalViewController(picker, true);
}

void VKDownloadViewController::folderPickerController(VKFolderPickerController& picker,
    const std::shared_ptr<VKFileResource>& folder)
{
    auto request = pendingRequest(picker.userInfo());
    dismissModalViewController(true);
    if (!folder)
        return;
    m_currentFolder = folder;
    if (request)
        startDownloadWithRequest(*request, folder);
}

void VKDownloadViewController::didCancelFolderPickerController(VKFolderPickerController&)
{
    dismissModalViewController(true);
}

// MARK: Browser

void VKDownloadViewController::webBrowserControllerHandleDownloadForRequest(VKWebBrowserController&,
    const core::URLRequest& request)
{
    promptForDownloadLocation(request);
}

void VKDownloadViewController::webBrowserControllerHandleDownloadForImageSource(VKWebBrowserController&,
    const std::string& source, const std::optional<std::string>& suggestedName)
{
    auto url = core::URL::parse(source);
    if (!url || url->absoluteString().empty()) {
        showAlertViewWithTitle(core::localized("Warning"), downloadText("The image URL appears to be invalid."), core::localized("OK"));
        return;
    }
    core::URLRequest request(*url);
    if (suggestedName && !suggestedName->empty())
        setSuggestedFilename(request, *suggestedName);
    promptForDownloadLocation(request);
}

void VKDownloadViewController::webBrowserControllerDidEnd(VKWebBrowserController&)
{
    dismissModalViewControllerDelayed();
}

void VKDownloadViewController::webBrowserControllerDidFinishLoad(VKWebBrowserController&)
{
    storeLastWebRequest();
}

void VKDownloadViewController::webBrowserControllerUpdateBackForwardControls(VKWebBrowserController& browser)
{
    if (!m_backBarItem || !isShowingWebBrowser())
        return;
    auto* web = browser.webView();
    m_backBarItem->setEnabled(web && web->canGoBack());
    m_forwardBarItem->setEnabled(web && web->canGoForward());
}

void VKDownloadViewController::webBrowserControllerWillAppear(VKWebBrowserController& browser)
{
    setNavigationBarHidden(true);
    if (!browser.request())
        browser.loadRequest(lastWebRequest());
}

void VKDownloadViewController::goBack()
{
    if (m_webBrowserController && m_webBrowserController->webView())
        m_webBrowserController->webView()->goBack();
}

void VKDownloadViewController::goForward()
{
    if (m_webBrowserController && m_webBrowserController->webView())
        m_webBrowserController->webView()->goForward();
}

void VKDownloadViewController::showBookmarks()
{
    if (m_webBrowserController)
        m_webBrowserController->showBookmarksViewController();
}

void VKDownloadViewController::dismissModalViewControllerDelayed()
{
    if (m_webBrowserController) {
        clearBrowserDelegates();
        m_webBrowserController->stopLoading();
    }
    core::RunLoop::main().performAfter(self(), 0, [](VKDownloadViewController& screen) {
        screen.dismissModalViewController(true);
    });
}

// MARK: The list

void VKDownloadViewController::downloadHistoryControllerOpenDownloadResource(VKDownloadHistoryController&,
    const std::shared_ptr<VKFileResource>& resource)
{
    if (auto browser = m_browser.lock())
        browser->browserShowFolder(resource->path(), false);
    dismissModalViewControllerDelayed();
}

void VKDownloadViewController::downloadHistoryControllerRevealDownloadResource(VKDownloadHistoryController&,
    const std::shared_ptr<VKFileResource>& resource)
{
    if (auto browser = m_browser.lock())
        browser->browserShowFolder(core::path::deletingLastPathComponent(resource->path()), false);
    dismissModalViewControllerDelayed();
    core::RunLoop::main().performAfter(0, [weakBrowser = m_browser, resource] {
        auto browser = weakBrowser.lock();
        auto* navigation = browser ? browser->browserNavigation() : nullptr;
        auto* folder = navigation ? dynamic_cast<VKFolderController*>(navigation->topViewController()) : nullptr;
        if (folder)
            folder->revealAndHighlightResource(resource);
    });
}

void VKDownloadViewController::downloadHistoryControllerWillAppear(VKDownloadHistoryController&)
{
    setNavigationBarHidden(false);
}
