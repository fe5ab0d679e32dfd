#include "WebBrowser/VKWebBookmarkScreens.h"

#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Shell/VKNavigationController.h"
#include "WebBrowser/VKWebBookmarks.h"
#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebBrowserView.h"
#include "WebBrowser/VKWebDocumentTitle.h"
#include "WebBrowser/VKWebLocationField.h"
#include "WebBrowser/VKWebNavigationView.h"

void VKWebBookmarkScreens::showBookmarks()
{
    auto browser = m_browser.lock();
    if (!browser)
        return;
    if (browser->navigationView())
        browser->navigationView()->cancelEditing();
    auto self = shared_from_this();
    auto list = VKWebBookmarksViewController::initWithBookmarksDelegate(
        std::static_pointer_cast<VKWebBookmarksViewControllerDelegate>(self));
    auto cancel = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    cancel->addTarget(browser, "dismissBookmarksController", [this](ui::BarButtonItem&) { dismissBookmarks(); });
    list->navigationItem().setLeftBarButtonItem(cancel);
    list->setAddCellEnabled(true);
    browser->presentModalViewController(VKNavigationController::create(list), true);
}

void VKWebBookmarkScreens::showAddBookmark()
{
    auto browser = m_browser.lock();
    if (!browser)
        return;
    if (browser->navigationView())
        browser->navigationView()->cancelEditing();
    ui::ViewController* list = browser->presenter().modalViewController();
    if (!list)
        return;
    auto self = shared_from_this();
    const auto& canonical = browser->canonicalRequest();
    std::optional<core::URL> url = canonical ? std::optional(canonical->url()) : std::nullopt;
    auto form = VKWebAddBookmarkViewController::initWithURL(url,
        browser->webView() ? std::optional(documentTitle(*browser->webView())) : std::nullopt);
    form->setAddBookmarkDelegate(std::static_pointer_cast<VKWebAddBookmarkViewControllerDelegate>(self));
    auto save = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Save);
    save->addTarget(browser, "saveBookmark", [this](ui::BarButtonItem&) { saveBookmark(); });
    auto cancel = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    cancel->addTarget(browser, "dismissBookmarksController", [this](ui::BarButtonItem&) { dismissBookmarks(); });
    form->navigationItem().setRightBarButtonItem(save);
    form->navigationItem().setLeftBarButtonItem(cancel);
    list->presentModalViewController(VKNavigationController::create(form), true);
}

void VKWebBookmarkScreens::saveBookmark()
{
    auto browser = m_browser.lock();
    if (!browser)
        return;
    if (auto* form = dynamic_cast<VKWebAddBookmarkViewController*>(browser->visibleController()))
        VKWebBookmarks::sharedWebBookmarks()->addBookmark(form->bookmark());
    dismissBookmarks();
}

void VKWebBookmarkScreens::dismissBookmarks()
{
    auto browser = m_browser.lock();
    if (browser && browser->visibleController() != browser.get())
        browser->presenter().dismissModalViewController(true);
}

void VKWebBookmarkScreens::webBookmarksViewControllerDidSelectURL(VKWebBookmarksViewController&,
    const std::optional<core::URL>& url)
{
    auto browser = m_browser.lock();
    if (!browser)
        return;
    dismissBookmarks();
    if (url) {
        browser->view();
        browser->navigationView()->locationField().setURL(*url);
        browser->loadRequest(core::URLRequest(*url));
    }
}

void VKWebBookmarkScreens::webBookmarksViewControllerDidSelectAddBookmark(VKWebBookmarksViewController&)
{
    showAddBookmark();
}

void VKWebBookmarkScreens::webBookmarksViewControllerDidCancel(VKWebBookmarksViewController&)
{
    dismissBookmarks();
}

void VKWebBookmarkScreens::webAddBookmarkViewControllerDidAccept(VKWebAddBookmarkViewController&)
{
    saveBookmark();
}
