#pragma once

// The type-ahead list under the browser's address field: the visited
// addresses holding what was typed, shortest first. Used full screen it
// dims the page around the list and hides the list while nothing matches;
// it keeps its rows clear of the keyboard. Rows can be chosen or swiped
// away (which forgets the visit).

#include "Platform/Core/Notification.h"
#include "Platform/Core/Observation.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/ViewController.h"
#include "WebBrowser/VKWebHistory.h"

#include <memory>
#include <string>
#include <vector>

class VKWebHistorySearchController;

class VKWebHistorySearchControllerDelegate {
public:
    virtual ~VKWebHistorySearchControllerDelegate() = default;
    // Each message is sent only when its query answers yes.
    virtual bool supportsDidSelectHistoryURL() const { return false; }
    virtual void webHistorySearchControllerDidSelectHistoryURL(VKWebHistorySearchController&, const core::URL&) { }
    virtual bool supportsCancelled() const { return false; }
    virtual void webHistorySearchControllerCancelled(VKWebHistorySearchController&) { }
};

class VKWebHistorySearchController : public ui::ViewController, public ui::TableViewDataSource, public ui::TableViewDelegate {
public:
    static std::shared_ptr<VKWebHistorySearchController> create();
    ~VKWebHistorySearchController() override;

    const std::string& itemFilter() const { return m_itemFilter; }
    void setItemFilter(std::string filter);
    bool showAllItems() const { return m_showAllItems; }
    void setShowAllItems(bool show);
    // Chosen before the view loads.
    bool isFullscreen() const { return m_fullscreen; }
    void setFullscreen(bool fullscreen) { m_fullscreen = fullscreen; }
    std::shared_ptr<VKWebHistorySearchControllerDelegate> historyDelegate() const { return m_delegate.lock(); }
    void setHistoryDelegate(std::weak_ptr<VKWebHistorySearchControllerDelegate> delegate) { m_delegate = std::move(delegate); }

    std::vector<VKWebHistoryItem> filteredItems() const { return m_items; }
    ui::TableView* tableView() const { return m_tableView.get(); }
    void reloadItems();
    void updateTableVisibility();

    // The row of one history entry, shared with the history screen: the
    // title ("Untitled" when empty) over the address, both on one line.
    static std::shared_ptr<ui::TableViewCell> historyCell(ui::TableView& table, const VKWebHistoryItem& item);

    void loadView() override;
    void viewDidUnload() override;

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

    // From the dimmed area around the list.
    void placeholderTouched();
    void keyboardWillHide(const core::Notification& notification);

private:
    // The table ends where the keyboard (given on the screen) begins.
    void fitTableAboveKeyboard(const gfx::Rect& keyboardOnScreen);

    std::vector<VKWebHistoryItem> m_items;
    bool m_showAllItems = false;
    bool m_fullscreen = false;
    std::string m_itemFilter;
    std::weak_ptr<VKWebHistorySearchControllerDelegate> m_delegate;
    std::shared_ptr<ui::TableView> m_tableView;
    std::vector<core::Observation> m_keyboardObservations;
};
