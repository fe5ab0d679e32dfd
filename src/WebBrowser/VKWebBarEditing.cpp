#include "WebBrowser/VKWebBarEditing.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/ViewAnimation.h"
#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebBrowserView.h"
#include "WebBrowser/VKWebLocationField.h"
#include "WebBrowser/VKWebTypedAddress.h"

#include <algorithm>

void VKWebBarEditing::navigationFieldDidBeginEditing(ui::TextField& field, bool isSearch)
{
    if (!m_browser.webView())
        return;
    if (isSearch) {
        field.setText(m_lastSearchQuery);
    } else {
        auto& location = m_browser.navigationView()->locationField();
        location.setText(location.URL() ? location.URL()->absoluteString() : std::string());
    }
    auto& webView = *m_browser.webView();
    auto& scroll = webView.scrollView();
    gfx::Rect bounds = scroll.bounds();
    ui::ViewAnimation::begin(VKWebBrowserController::ScrollToTopAnimation);
    scroll.setBounds({ bounds.x(), 0, bounds.width(), bounds.height() });
    ui::ViewAnimation::commit();
    scroll.setScrollEnabled(false);
    if (!m_historyController) {
        m_historyController = VKWebHistorySearchController::create();
        m_historyController->setHistoryDelegate(m_browser.sharing(*this));
        m_historyController->setFullscreen(true);
        gfx::Rect area = webView.bounds();
        area.origin.y += VKWebNavigationView::DefaultHeight;
        area.size.height = std::max(0.f, area.height() - VKWebNavigationView::DefaultHeight);
        auto list = m_historyController->view();
        list->setFrame(area);
        list->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        webView.addSubview(list);
    }
}

void VKWebBarEditing::navigationFieldWillChangeText(ui::TextField&, const std::string& text, bool)
{
    if (m_historyController)
        m_historyController->setItemFilter(text);
}

void VKWebBarEditing::navigationFieldDidAcceptEditing(ui::TextField& field, bool isSearch)
{
    if (!m_browser.webView())
        return;
    auto& location = m_browser.navigationView()->locationField();
    std::string text = field.text();
    if (text.empty() && &field == &location) {
        m_browser.restoreLocationFieldURL();
        return;
    }
    if (isSearch) {
        m_lastSearchQuery = text;
        m_browser.performWebSearchWithText(text);
        return;
    }
    auto url = VKWebURLFromTypedAddress(text);
    if (!url) {
        if (!m_browser.performWebSearchWithText(text))
            VKWebBrowserController::showAlert(core::localized("Load Error", "WebBrowser"), "");
        return;
    }
    location.setURL(*url);
    auto& webView = *m_browser.webView();
    if (webView.request() && webView.request()->url() == *url)
        return;
    m_browser.loadRequest(core::URLRequest(*url));
}

void VKWebBarEditing::navigationFieldDidEndEditing(ui::TextField&)
{
    if (!m_browser.webView())
        return;
    auto keep = m_browser.shared_from_this();
    bool loading = m_browser.webView()->isLoading();
    if (!loading)
        m_browser.restoreLocationFieldURL();
    m_browser.webView()->scrollView().setScrollEnabled(true);
    dismissHistoryController();
    if (!loading)
        m_browser.moveNavigationViewToTopAnimated(true);
}

void VKWebBarEditing::dismissHistoryController()
{
    if (!m_historyController)
        return;
    auto list = std::exchange(m_historyController, nullptr);
    if (list->isViewLoaded())
        list->view()->removeFromSuperview();
}

void VKWebBarEditing::webHistorySearchControllerDidSelectHistoryURL(VKWebHistorySearchController&, const core::URL& url)
{
    if (!m_browser.navigationView())
        return;
    auto keep = m_browser.shared_from_this();
    if (m_browser.navigationView()->isSearching()) {
        m_browser.performWebSearchWithText(url.absoluteString());
    } else {
        m_browser.navigationView()->locationField().setURL(url);
        m_browser.loadRequest(core::URLRequest(url));
    }
    endFieldEditing();
}

void VKWebBarEditing::webHistorySearchControllerCancelled(VKWebHistorySearchController&)
{
    endFieldEditing();
}

void VKWebBarEditing::endFieldEditing()
{
    if (m_browser.navigationView())
        m_browser.navigationView()->cancelEditing();
}
