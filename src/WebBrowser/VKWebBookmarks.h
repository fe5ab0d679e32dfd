#pragma once

// The browser's bookmarks: one shared ordered list, saved to
// "<metadata>/VKWebBookmarks.plist" when the application ends, goes to the
// background or runs short of memory. Until the first save the list comes
// from the defaults shipped with the program; after it, from the file
// alone. Main thread only.

#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"
#include "WebBrowser/VKWebListStore.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The keys of a bookmark in the file.
inline constexpr const char* VKWebBookmarksItemURLKey = "VKWebBookmarkURL";
inline constexpr const char* VKWebBookmarksItemTitleKey = "VKWebBookmarkTitle";
inline constexpr const char* VKWebBookmarksItemUUIDKey = "VKWebBookmarkUUID";

// Two bookmarks are the same only with the same UUID too: an edited one is
// a new bookmark in the old one's place.
struct VKWebBookmark {
    std::string URL; // absolute address, "" for none
    std::string title;
    std::string UUID;

    bool operator==(const VKWebBookmark&) const = default;

    // A URL made of the address; none when it is empty or no URL.
    std::optional<core::URL> webBookmarkURL() const;
    const std::string& webBookmarkTitle() const { return title; }

    core::Value dictionary() const;
    static std::optional<VKWebBookmark> fromDictionary(const core::Value& value);
};

class VKWebBookmarks : public VKWebListStore<VKWebBookmark> {
public:
    static std::shared_ptr<VKWebBookmarks> sharedWebBookmarks();
    // Lets the shared store go unsaved (tests).
    static void resetSharedWebBookmarksForTesting();

    // A new bookmark with a new UUID; "" for a missing address or title.
    static VKWebBookmark generateBookmarkWithURL(const std::optional<core::URL>& url,
        const std::optional<std::string>& title);

    void addBookmark(const VKWebBookmark& bookmark);
    void addURL(const std::optional<core::URL>& url, const std::optional<std::string>& title);
    // Puts `replacement` where the first bookmark equal to `old` is; nothing
    // when there is none.
    void replaceBookmark(const VKWebBookmark& old, const VKWebBookmark& replacement);
    // Out at `from`, in at `to`; positions outside the list change nothing.
    void moveBookmarkAtIndex(size_t from, size_t to);
    void removeBookmark(const VKWebBookmark& bookmark);
    std::vector<VKWebBookmark> bookmarks();

    std::string bookmarkItemsPath() const;

    void applicationWillTerminateOrEnterBackground();
    void didReceiveMemoryWarning();

    struct Private { };
    explicit VKWebBookmarks(const Private&);

protected:
    std::string itemsPath() const override { return bookmarkItemsPath(); }
    std::optional<core::Value::Array> fallbackEntries() override;
};
