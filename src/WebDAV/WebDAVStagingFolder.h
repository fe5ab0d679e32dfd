#pragma once

#include <string>
#include <string_view>

// Where uploads and copies are made before they are renamed into place: a
// folder of the home's temporary directory, beside nothing the server, the
// browser page, the folder screen or the quota look at, so that a transfer
// cut off, even by a killed process, never shows as an item or takes room
// in the store. Each start of the program empties it. A target on another
// file system than the home's (where no rename can reach it) gets a hidden
// sibling instead.
class WebDAVStagingFolder {
public:
    // The folder, made (0700) when missing.
    static std::string path();
    // A path nothing holds now for an item meant to become `target`; `tag`
    // says what is made there ("upload", "copy"). Whoever makes the item
    // must not replace one (another may take the name first) and asks again.
    static std::string pathForItem(const std::string& target, std::string_view tag);
    // Removes what an earlier run of the program left there.
    static void removeAbandonedItems();
};
