#pragma once

#include "WebBrowser/VKWebHistorySearchController.h"
#include "WebBrowser/VKWebNavigationView.h"

#include <memory>
#include <string>

class VKWebBrowserController;

// The editing of the browser bar's fields and the type-ahead list under
// them. Beginning to edit scrolls the page to its top, holds it there and
// lays the list over the page; what is typed filters the list; Return
// loads the typed address (a search when no URL can be made of it, the
// page's own address back when the field is emptied) or searches the
// search field's text, which it keeps for the next edit; a row of the list
// loads (or searches) its address. Ending the edit takes the list away and,
// unless a page loads, puts the page's address back and slides the bar to
// the page's top. The browser holds it as a member: the bar and the list
// reach it through pointers that share the browser.
class VKWebBarEditing : public VKWebNavigationViewDelegate, public VKWebHistorySearchControllerDelegate {
public:
    explicit VKWebBarEditing(VKWebBrowserController& browser) : m_browser(browser) { }

    // The type-ahead list while a field is edited.
    VKWebHistorySearchController* historyController() const { return m_historyController.get(); }
    void dismissHistoryController();
    const std::string& lastSearchQuery() const { return m_lastSearchQuery; }
    void setLastSearchQuery(std::string query) { m_lastSearchQuery = std::move(query); }

    // VKWebNavigationViewDelegate.
    void navigationFieldDidBeginEditing(ui::TextField& field, bool isSearch) override;
    void navigationFieldWillChangeText(ui::TextField& field, const std::string& text, bool isSearch) override;
    void navigationFieldDidAcceptEditing(ui::TextField& field, bool isSearch) override;
    void navigationFieldDidEndEditing(ui::TextField& field) override;

    // The type-ahead list.
    bool supportsDidSelectHistoryURL() const override { return true; }
    void webHistorySearchControllerDidSelectHistoryURL(VKWebHistorySearchController&, const core::URL& url) override;
    bool supportsCancelled() const override { return true; }
    void webHistorySearchControllerCancelled(VKWebHistorySearchController&) override;

private:
    void endFieldEditing();

    VKWebBrowserController& m_browser;
    std::shared_ptr<VKWebHistorySearchController> m_historyController;
    std::string m_lastSearchQuery;
};
