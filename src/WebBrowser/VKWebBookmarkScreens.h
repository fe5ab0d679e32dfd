#pragma once

#include "WebBrowser/VKWebAddBookmarkViewController.h"
#include "WebBrowser/VKWebBookmarksViewController.h"

#include <memory>
#include <optional>

class VKWebBrowserController;

// The browser's bookmark screens: the bookmarks list presented over the
// browser (with Cancel), the form that adds the page on screen (its
// canonical address and title) presented over the list (Save, Cancel), and
// what their choices do: a chosen bookmark loads, a saved form adds its
// bookmark, and either screen's end takes the list away with whatever is
// over it. The browser holds it as a member: the screens reach it through
// pointers that share the browser.
class VKWebBookmarkScreens : public VKWebBookmarksViewControllerDelegate, public VKWebAddBookmarkViewControllerDelegate {
public:
    explicit VKWebBookmarkScreens(VKWebBrowserController& browser) : m_browser(browser) { }

    void showBookmarks();
    // Only while the list shows.
    void showAddBookmark();
    void saveBookmark();
    void dismissBookmarks();

    bool supportsDidSelectURL() const override { return true; }
    void webBookmarksViewControllerDidSelectURL(VKWebBookmarksViewController&, const std::optional<core::URL>& url) override;
    bool supportsDidSelectAddBookmark() const override { return true; }
    void webBookmarksViewControllerDidSelectAddBookmark(VKWebBookmarksViewController&) override;
    bool supportsDidCancel() const override { return true; }
    void webBookmarksViewControllerDidCancel(VKWebBookmarksViewController&) override;
    bool supportsDidAccept() const override { return true; }
    void webAddBookmarkViewControllerDidAccept(VKWebAddBookmarkViewController&) override;

private:
    VKWebBrowserController& m_browser;
};
