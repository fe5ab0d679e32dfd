#include "WebBrowser/VKWebHistory.h"

#include "Shell/VKApplication.h"
#include "Kit/DateAdditions.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/URL.h"
#include "WebBrowser/VKWebListFile.h"

#include <algorithm>

namespace {

std::shared_ptr<VKWebHistory>& sharedHistorySlot()
{
    static std::shared_ptr<VKWebHistory> history;
    return history;
}

} // namespace

core::Value VKWebHistoryItem::dictionary() const
{
    return core::Value::makeDictionary(
        { { VKWebHistoryItemURLKey, URL }, { VKWebHistoryItemTitleKey, title }, { VKWebHistoryItemDateKey, date } });
}

std::optional<VKWebHistoryItem> VKWebHistoryItem::fromDictionary(const core::Value& value)
{
    const core::Value& url = value[VKWebHistoryItemURLKey];
    const core::Value& title = value[VKWebHistoryItemTitleKey];
    const core::Value& date = value[VKWebHistoryItemDateKey];
    if (!url.isString() || !title.isString() || !date.isDate())
        return std::nullopt;
    return VKWebHistoryItem { url.string(), title.string(), date.date() };
}

bool VKWebHistoryCompareItemsByURLLength(const VKWebHistoryItem& a, const VKWebHistoryItem& b)
{
    if (a.URL.size() != b.URL.size())
        return a.URL.size() < b.URL.size();
    return a.URL < b.URL;
}

bool VKWebHistoryCompareItemsByDateDescending(const VKWebHistoryItem& a, const VKWebHistoryItem& b)
{
    return a.date > b.date;
}

VKWebHistory::VKWebHistory(const Private&)
    : VKWebListStore("VKWebHistory", "Warning, failed to serialize web history to: ")
{
}

std::shared_ptr<VKWebHistory> VKWebHistory::sharedWebHistory()
{
    auto& slot = sharedHistorySlot();
    if (!slot) {
        slot = std::make_shared<VKWebHistory>(Private());
        observeApplication(slot);
    }
    return slot;
}

void VKWebHistory::resetSharedWebHistoryForTesting()
{
    sharedHistorySlot().reset();
}

std::string VKWebHistory::historyItemsPath() const
{
    return core::path::appendingPathComponent(VKApplication::sharedApplication()->metadataDirectory(), "VKWebHistory.plist");
}

// The age and count limits apply at load only, so between loads the list
// grows.
void VKWebHistory::trimLoadedItems(std::vector<VKWebHistoryItem>& items)
{
    core::Date cutoff = core::Date(core::Date::now().timeIntervalSinceReferenceDate() - MaximumAge);
    std::erase_if(items, [&](const VKWebHistoryItem& item) { return item.date < cutoff; });
    if (items.size() > MaximumLoadedItems)
        items.erase(items.begin(), items.end() - MaximumLoadedItems);
}

void VKWebHistory::addURL(const core::URL& url, const std::optional<std::string>& title)
{
    auto& list = items();
    core::Date midnight = dateAtMidnightToday();
    const std::string& address = url.absoluteString();
    auto earlier = std::find_if(list.begin(), list.end(),
        [&](const VKWebHistoryItem& item) { return item.URL == address && item.date >= midnight; });
    if (earlier != list.end())
        list.erase(earlier);
    list.push_back({ address, title.value_or(""), core::Date::now() });
}

std::vector<VKWebHistoryItem> VKWebHistory::allItems()
{
    return items();
}

std::vector<VKWebHistoryItem> VKWebHistory::itemsMatchingURLFragment(std::string_view fragment)
{
    std::vector<VKWebHistoryItem> matches;
    for (const auto& item : items()) {
        if (VKWebListFile::containsIgnoringCase(item.URL, fragment))
            matches.push_back(item);
    }
    return matches;
}

void VKWebHistory::removeItem(const VKWebHistoryItem& item)
{
    std::erase(items(), item);
}

void VKWebHistory::removeAllItems()
{
    items().clear();
}

bool VKWebHistory::serializeHistoryItems()
{
    return saveItems();
}

void VKWebHistory::applicationWillTerminateOrEnterBackground()
{
    saveIfLoaded();
}

void VKWebHistory::didReceiveMemoryWarning()
{
    memoryWarning();
}
