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
    if (m_browser.navigationView())
        m_browser.navigationView()->cancelEditing();
    auto browser = m_browser.shared_from_this();
    auto list = VKWebBookmarksViewController::initWithBookmarksDelegate(m_browser.sharing(*this));
    auto cancel = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    cancel->addTarget(browser, "dismissBookmarksController", [this](ui::BarButtonItem&) { dismissBookmarks(); });
    list->navigationItem().setLeftBarButtonItem(cancel);
    list->setAddCellEnabled(true);
    m_browser.presentModalViewController(VKNavigationController::create(list), true);
}

void VKWebBookmarkScreens::showAddBookmark()
{
    if (m_browser.navigationView())
        m_browser.navigationView()->cancelEditing();
    ui::ViewController* list = m_browser.presenter().modalViewController();
    if (!list)
        return;
    auto browser = m_browser.shared_from_this();
    const auto& canonical = m_browser.canonicalRequest();
    std::optional<core::URL> url = canonical ? std::optional(canonical->url()) : std::nullopt;
    auto form = VKWebAddBookmarkViewController::initWithURL(url,
        m_browser.webView() ? std::optional(documentTitle(*m_browser.webView())) : std::nullopt);
    form->setAddBookmarkDelegate(m_browser.sharing(*this));
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
    if (auto* form = dynamic_cast<VKWebAddBookmarkViewController*>(m_browser.visibleController()))
        VKWebBookmarks::sharedWebBookmarks()->addBookmark(form->bookmark());
    dismissBookmarks();
}

void VKWebBookmarkScreens::dismissBookmarks()
{
    if (m_browser.visibleController() != &m_browser)
        m_browser.presenter().dismissModalViewController(true);
}

void VKWebBookmarkScreens::webBookmarksViewControllerDidSelectURL(VKWebBookmarksViewController&,
    const std::optional<core::URL>& url)
{
    auto keep = m_browser.shared_from_this();
    dismissBookmarks();
    if (url) {
        m_browser.view();
        m_browser.navigationView()->locationField().setURL(*url);
        m_browser.loadRequest(core::URLRequest(*url));
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
