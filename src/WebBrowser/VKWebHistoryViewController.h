#pragma once

// The history screen: the remembered visits newest first, one section per
// day headed "Today", "Yesterday", a weekday or a date. A row opens its
// address in the browser; rows can be deleted and the whole history
// cleared. The groups are made again at every appearance.

#include "Platform/UI/TableViewController.h"
#include "WebBrowser/VKWebHistory.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKWebHistoryViewController;

class VKWebHistoryViewControllerDelegate {
public:
    virtual ~VKWebHistoryViewControllerDelegate() = default;
    // Sent only when the query answers yes.
    virtual bool supportsDidSelectHistoryURL() const { return false; }
    virtual void webHistoryViewControllerDidSelectHistoryURL(VKWebHistoryViewController&, const core::URL&) { }
};

struct VKWebHistoryDayGroup {
    std::vector<VKWebHistoryItem> items; // newest first
    std::string description; // the section's title
};

class VKWebHistoryViewController : public ui::TableViewController {
public:
    static std::shared_ptr<VKWebHistoryViewController> create();
    VKWebHistoryViewController();

    std::shared_ptr<VKWebHistoryViewControllerDelegate> historyDelegate() const { return m_delegate.lock(); }
    void setHistoryDelegate(std::weak_ptr<VKWebHistoryViewControllerDelegate> delegate) { m_delegate = std::move(delegate); }

    // None after the history was cleared, until the next reload.
    const std::optional<std::vector<VKWebHistoryDayGroup>>& items() const { return m_groups; }
    // The visits grouped by calendar day, in the order given (newest first).
    static std::vector<VKWebHistoryDayGroup> dayGroups(std::vector<VKWebHistoryItem> items);

    void reloadItems();
    void clearHistory();
    const VKWebHistoryItem* historyItemAtIndexPath(ui::IndexPath path) const;

    void viewWillAppear(bool animated) override;

    int numberOfSections(ui::TableView&) override;
    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<std::string> titleForHeader(ui::TableView&, int section) override;
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

private:
    std::optional<std::vector<VKWebHistoryDayGroup>> m_groups;
    std::weak_ptr<VKWebHistoryViewControllerDelegate> m_delegate;
};
