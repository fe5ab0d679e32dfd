#pragma once

// The browser's two remembered lists (history and bookmarks) live in
// property-list files in the metadata folder, as arrays of dictionaries.
// This is what both stores share: reading such a file so that a damaged one
// is kept for a person to look at rather than overwritten at the next save,
// writing it atomically, and the application events on which a store saves
// or lets its list go.

#include "Platform/Core/Observation.h"
#include "Platform/Core/Value.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VKWebListFile {

// The array in the file at `path`; nothing when there is no file. A file
// that is there but is not a readable property list holding an array is
// moved aside to "<path>.corrupt" (or the first free "<path>.corrupt-N"),
// with one log line naming `what`, and answers nothing as well. A folder
// at the path is left where it is.
std::optional<core::Value::Array> readArray(const std::string& path, std::string_view what);

// The array as a binary property list, written atomically; false on failure.
bool writeArray(const std::string& path, const core::Value::Array& items);

// Calls `save` on termination and on entering the background, and
// `memoryWarning` on the application's memory warning, for as long as the
// answered observations are kept.
std::vector<core::Observation> observeApplication(std::function<void()> save, std::function<void()> memoryWarning);

// Whether `text` holds `fragment`, ignoring case (Unicode case folding;
// plain ASCII texts are compared without copying). An empty fragment is
// held by every text.
bool containsIgnoringCase(std::string_view text, std::string_view fragment);

// A stored title or address as one line of a row: line breaks and other
// control characters become spaces, and a text of more than
// `MaximumShownLength` bytes keeps its start and its end around an
// ellipsis (a row truncates in the middle anyway, and measuring less is
// faster).
constexpr size_t MaximumShownLength = 1024;
std::string singleLine(std::string_view text);

// The entries `make` turns into items; those it refuses (not a dictionary,
// a key missing or of the wrong kind) are dropped with one log line
// counting them, naming `what`.
void logDropped(size_t count, std::string_view what);

template<typename Item, typename Make>
std::vector<Item> itemsOf(const core::Value::Array& entries, std::string_view what, Make make)
{
    std::vector<Item> items;
    items.reserve(entries.size());
    size_t dropped = 0;
    for (const auto& entry : entries) {
        if (std::optional<Item> item = make(entry))
            items.push_back(std::move(*item));
        else
            ++dropped;
    }
    if (dropped)
        logDropped(dropped, what);
    return items;
}

} // namespace VKWebListFile
