#include "WebBrowser/VKWebHistoryViewController.h"

#include "Kit/DateAdditions.h"
#include "Platform/Core/Calendar.h"
#include "Platform/Core/URL.h"
#include "WebBrowser/VKWebHistorySearchController.h"

#include <algorithm>

std::shared_ptr<VKWebHistoryViewController> VKWebHistoryViewController::create()
{
    return std::make_shared<VKWebHistoryViewController>();
}

VKWebHistoryViewController::VKWebHistoryViewController() : ui::TableViewController(ui::TableView::Style::Plain)
{
}

// A group runs while the day and the month stay the same; its title is
// that of its last (oldest) visit's day.
std::vector<VKWebHistoryDayGroup> VKWebHistoryViewController::dayGroups(std::vector<VKWebHistoryItem> items)
{
    std::stable_sort(items.begin(), items.end(), VKWebHistoryCompareItemsByDateDescending);
    core::Calendar calendar = core::Calendar::current();
    std::vector<VKWebHistoryDayGroup> groups;
    int day = 0, month = 0;
    for (auto& item : items) {
        core::DateComponents components = calendar.components(item.date);
        if (groups.empty() || components.day != day || components.month != month) {
            groups.emplace_back();
            day = components.day;
            month = components.month;
        }
        groups.back().items.push_back(std::move(item));
    }
    for (auto& group : groups)
        group.description = descriptionWithNaturalLanguageUsingAbbreviation(group.items.back().date,
            VKDateAbbreviation::None, true);
    return groups;
}

void VKWebHistoryViewController::reloadItems()
{
    m_groups = dayGroups(VKWebHistory::sharedWebHistory()->allItems());
    if (isViewLoaded())
        tableView().reloadData();
}

void VKWebHistoryViewController::clearHistory()
{
    VKWebHistory::sharedWebHistory()->removeAllItems();
    m_groups.reset();
    if (isViewLoaded())
        tableView().reloadData();
}

const VKWebHistoryItem* VKWebHistoryViewController::historyItemAtIndexPath(ui::IndexPath path) const
{
    if (!m_groups || path.section < 0 || size_t(path.section) >= m_groups->size())
        return nullptr;
    const auto& items = (*m_groups)[size_t(path.section)].items;
    return path.row >= 0 && size_t(path.row) < items.size() ? &items[size_t(path.row)] : nullptr;
}

void VKWebHistoryViewController::viewWillAppear(bool animated)
{
    TableViewController::viewWillAppear(animated);
    reloadItems();
}

int VKWebHistoryViewController::numberOfSections(ui::TableView&)
{
    return m_groups ? int(m_groups->size()) : 0;
}

int VKWebHistoryViewController::numberOfRows(ui::TableView&, int section)
{
    return m_groups && size_t(section) < m_groups->size() ? int((*m_groups)[size_t(section)].items.size()) : 0;
}

std::shared_ptr<ui::TableViewCell> VKWebHistoryViewController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    return VKWebHistorySearchController::historyCell(table, *historyItemAtIndexPath(path));
}

std::optional<std::string> VKWebHistoryViewController::titleForHeader(ui::TableView&, int section)
{
    if (!m_groups || size_t(section) >= m_groups->size())
        return std::nullopt;
    return (*m_groups)[size_t(section)].description;
}

void VKWebHistoryViewController::commitEditing(ui::TableView&, ui::TableViewCell::EditingStyle style, ui::IndexPath path)
{
    const VKWebHistoryItem* item = historyItemAtIndexPath(path);
    if (style != ui::TableViewCell::EditingStyle::Delete || !item)
        return;
    VKWebHistory::sharedWebHistory()->removeItem(*item);
    reloadItems();
}

void VKWebHistoryViewController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (const VKWebHistoryItem* item = historyItemAtIndexPath(path)) {
        auto url = core::URL::parse(item->URL);
        auto delegate = m_delegate.lock();
        if (url && delegate && delegate->supportsDidSelectHistoryURL())
            delegate->webHistoryViewControllerDidSelectHistoryURL(*this, *url);
    }
    table.deselectRow(path, true);
}
