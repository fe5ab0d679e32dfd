#pragma once

// The bookmarks screen: an "Add Bookmark" row (when the browser has a page
// to add), a "History" row that opens the history screen, then the
// bookmarks. While editing, bookmarks move, go, or open in the bookmark
// form, whose result takes the old bookmark's place when the form leaves.
// The screen shows a snapshot of the store, taken again after each change
// it makes.

#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/TableViewController.h"
#include "WebBrowser/VKWebAddBookmarkViewController.h"
#include "WebBrowser/VKWebBookmarks.h"
#include "WebBrowser/VKWebHistoryViewController.h"

#include <memory>
#include <optional>
#include <vector>

class VKWebBookmarksViewController;

class VKWebBookmarksViewControllerDelegate {
public:
    virtual ~VKWebBookmarksViewControllerDelegate() = default;
    // Each message is sent only when its query answers yes.
    virtual bool supportsDidSelectURL() const { return false; }
    // No URL for a bookmark without an address.
    virtual void webBookmarksViewControllerDidSelectURL(VKWebBookmarksViewController&, const std::optional<core::URL>&) { }
    virtual bool supportsDidSelectAddBookmark() const { return false; }
    virtual void webBookmarksViewControllerDidSelectAddBookmark(VKWebBookmarksViewController&) { }
    virtual bool supportsDidCancel() const { return false; }
    virtual void webBookmarksViewControllerDidCancel(VKWebBookmarksViewController&) { }
};

class VKWebBookmarksViewController : public ui::TableViewController,
                                     public VKWebAddBookmarkViewControllerDelegate,
                                     public VKWebHistoryViewControllerDelegate,
                                     public ui::ActionSheetDelegate {
public:
    static std::shared_ptr<VKWebBookmarksViewController> initWithBookmarksDelegate(
        std::weak_ptr<VKWebBookmarksViewControllerDelegate> delegate);
    VKWebBookmarksViewController();

    std::shared_ptr<VKWebBookmarksViewControllerDelegate> bookmarksDelegate() const { return m_delegate.lock(); }
    const std::vector<VKWebBookmark>& bookmarks() const { return m_bookmarks; }
    const std::optional<VKWebBookmark>& selectedBookmark() const { return m_selectedBookmark; }
    bool addCellEnabled() const { return m_addCellEnabled; }
    void setAddCellEnabled(bool enabled);
    // The row of the first bookmark.
    int bookmarkStartIndex() const { return m_addCellEnabled ? 2 : 1; }
    const VKWebBookmark* bookmarkAtIndexPath(ui::IndexPath path) const;

    void pushHistoryViewControllerAnimated(bool animated);
    void clearHistoryWithConfirmation();

    void viewDidLoad() override;

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path) override;
    bool supportsMoveRow() const override { return true; }
    bool canMoveRow(ui::TableView&, ui::IndexPath path) override;
    void moveRow(ui::TableView&, ui::IndexPath from, ui::IndexPath to) override;
    std::optional<ui::TableViewCell::EditingStyle> editingStyleForRow(ui::TableView&, ui::IndexPath path) override;
    std::optional<ui::IndexPath> targetIndexPathForMove(ui::TableView&, ui::IndexPath from, ui::IndexPath proposed) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

    bool supportsDidAccept() const override { return true; }
    void webAddBookmarkViewControllerDidAccept(VKWebAddBookmarkViewController& form) override;
    bool supportsDidDisappear() const override { return true; }
    void webAddBookmarkViewControllerDidDisappear(VKWebAddBookmarkViewController& form) override;
    bool supportsDidSelectHistoryURL() const override { return true; }
    void webHistoryViewControllerDidSelectHistoryURL(VKWebHistoryViewController&, const core::URL& url) override;
    void didDismiss(ui::ActionSheet& sheet, int index) override;

private:
    void refreshSnapshot();
    void tellSelectedURL(const std::optional<core::URL>& url);

    std::vector<VKWebBookmark> m_bookmarks;
    std::weak_ptr<VKWebBookmarksViewControllerDelegate> m_delegate;
    std::optional<VKWebBookmark> m_selectedBookmark;
    bool m_addCellEnabled = false;
};
