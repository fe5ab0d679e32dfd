#include "WebBrowser/VKWebBookmarks.h"

#include "Shell/VKApplication.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Path.h"
#include "WebBrowser/VKWebListFile.h"

#include <algorithm>

namespace {

std::shared_ptr<VKWebBookmarks>& sharedSlot()
{
    static std::shared_ptr<VKWebBookmarks> bookmarks;
    return bookmarks;
}

} // namespace

std::optional<core::URL> VKWebBookmark::webBookmarkURL() const
{
    if (URL.empty())
        return std::nullopt;
    return core::URL::parse(URL);
}

core::Value VKWebBookmark::dictionary() const
{
    return core::Value::makeDictionary(
        { { VKWebBookmarksItemURLKey, URL }, { VKWebBookmarksItemTitleKey, title }, { VKWebBookmarksItemUUIDKey, UUID } });
}

std::optional<VKWebBookmark> VKWebBookmark::fromDictionary(const core::Value& value)
{
    const core::Value& url = value[VKWebBookmarksItemURLKey];
    const core::Value& title = value[VKWebBookmarksItemTitleKey];
    const core::Value& uuid = value[VKWebBookmarksItemUUIDKey];
    if (!url.isString() || !title.isString() || !uuid.isString())
        return std::nullopt;
    return VKWebBookmark { url.string(), title.string(), uuid.string() };
}

VKWebBookmarks::VKWebBookmarks(const Private&)
    : VKWebListStore("VKWebBookmarks", "Warning, failed to serialize web bookmarks to: ")
{
}

std::shared_ptr<VKWebBookmarks> VKWebBookmarks::sharedWebBookmarks()
{
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_shared<VKWebBookmarks>(Private());
        observeApplication(slot);
    }
    return slot;
}

void VKWebBookmarks::resetSharedWebBookmarksForTesting()
{
    sharedSlot().reset();
}

VKWebBookmark VKWebBookmarks::generateBookmarkWithURL(const std::optional<core::URL>& url,
    const std::optional<std::string>& title)
{
    return { url ? url->absoluteString() : std::string(), title.value_or(""), vkGenerateUUID() };
}

std::string VKWebBookmarks::bookmarkItemsPath() const
{
    return core::path::appendingPathComponent(VKApplication::sharedApplication()->metadataDirectory(), "VKWebBookmarks.plist");
}

// Without a saved file (none yet, or a damaged one just moved aside) the
// shipped defaults stand in.
std::optional<core::Value::Array> VKWebBookmarks::fallbackEntries()
{
    std::string defaults = core::Bundle::main()->pathForResource("VKDefaultWebBookmarks", "plist", "WebBrowser");
    if (defaults.empty())
        return std::nullopt;
    return VKWebListFile::readArray(defaults, "VKWebBookmarks");
}

void VKWebBookmarks::addBookmark(const VKWebBookmark& bookmark)
{
    items().push_back(bookmark);
}

void VKWebBookmarks::addURL(const std::optional<core::URL>& url, const std::optional<std::string>& title)
{
    addBookmark(generateBookmarkWithURL(url, title));
}

void VKWebBookmarks::replaceBookmark(const VKWebBookmark& old, const VKWebBookmark& replacement)
{
    auto& list = items();
    auto found = std::find(list.begin(), list.end(), old);
    if (found != list.end())
        *found = replacement;
}

void VKWebBookmarks::moveBookmarkAtIndex(size_t from, size_t to)
{
    auto& list = items();
    if (from >= list.size() || to >= list.size() || from == to)
        return;
    if (from < to)
        std::rotate(list.begin() + from, list.begin() + from + 1, list.begin() + to + 1);
    else
        std::rotate(list.begin() + to, list.begin() + from, list.begin() + from + 1);
}

void VKWebBookmarks::removeBookmark(const VKWebBookmark& bookmark)
{
    std::erase(items(), bookmark);
}

std::vector<VKWebBookmark> VKWebBookmarks::bookmarks()
{
    return items();
}

void VKWebBookmarks::applicationWillTerminateOrEnterBackground()
{
    saveIfLoaded();
}

void VKWebBookmarks::didReceiveMemoryWarning()
{
    memoryWarning();
}
