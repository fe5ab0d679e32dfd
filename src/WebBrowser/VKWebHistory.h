#pragma once

// The pages the browser showed in the last two weeks: one shared list in
// the order of the visits, kept in memory and saved to
// "<metadata>/VKWebHistory.plist" only when the application ends, goes to
// the background or runs short of memory (then the list is let go and
// read again, trimmed, at its next use). Main thread only.

#include "Platform/Core/Date.h"
#include "Platform/Core/Value.h"
#include "WebBrowser/VKWebListStore.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {
class URL;
}

// The keys of an entry in the file.
inline constexpr const char* VKWebHistoryItemURLKey = "URL";
inline constexpr const char* VKWebHistoryItemTitleKey = "title";
inline constexpr const char* VKWebHistoryItemDateKey = "date";

struct VKWebHistoryItem {
    std::string URL; // absolute address
    std::string title; // "" when the page had none
    core::Date date;

    bool operator==(const VKWebHistoryItem&) const = default;
    core::Value dictionary() const;
    // The entry a file's dictionary holds; nothing when a key is missing or
    // of the wrong kind.
    static std::optional<VKWebHistoryItem> fromDictionary(const core::Value& value);
};

// Shorter address first; equal lengths in the addresses' plain order.
bool VKWebHistoryCompareItemsByURLLength(const VKWebHistoryItem& a, const VKWebHistoryItem& b);
// The later visit first.
bool VKWebHistoryCompareItemsByDateDescending(const VKWebHistoryItem& a, const VKWebHistoryItem& b);

class VKWebHistory : public VKWebListStore<VKWebHistoryItem> {
public:
    // How far back a loaded list reaches, and how many entries it keeps.
    static constexpr double MaximumAge = 1209600; // 14 days
    static constexpr size_t MaximumLoadedItems = 50;

    static std::shared_ptr<VKWebHistory> sharedWebHistory();
    // Lets the shared store go unsaved (tests).
    static void resetSharedWebHistoryForTesting();

    // Records a visit now: an earlier visit to the same address today gives
    // way, so each address shows once per day, at its latest visit.
    void addURL(const core::URL& url, const std::optional<std::string>& title);
    std::vector<VKWebHistoryItem> allItems();
    // The entries whose address holds `fragment`, ignoring case, in order.
    std::vector<VKWebHistoryItem> itemsMatchingURLFragment(std::string_view fragment);
    void removeItem(const VKWebHistoryItem& item);
    void removeAllItems();

    // Writes the list now, answering whether it was written (the benchmarks
    // time it; the program saves on going to the background).
    bool serializeHistoryItems();
    std::string historyItemsPath() const;

    void applicationWillTerminateOrEnterBackground();
    void didReceiveMemoryWarning();

    struct Private { };
    explicit VKWebHistory(const Private&);

protected:
    std::string itemsPath() const override { return historyItemsPath(); }
    void trimLoadedItems(std::vector<VKWebHistoryItem>& items) override;
};
