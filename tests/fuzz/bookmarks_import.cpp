// fuzz: tandry_filemodel
// A bookmarks database from another device is any file at all. Importing it
// either replaces the bookmarks with those of its rows that name a file
// below the root (by name and size), or fails and leaves every bookmark as
// it was; it never changes the file it reads, and the bookmarks afterwards
// all belong to files below the root.

#include "FuzzCheck.h"
#include "FuzzScratch.h"

#include "FileModel/VKFileSettingsManager.h"
#include "Kit/VKHomeLayout.h"
#include "Kit/VKSqlite3.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

struct Scratch {
    std::string root;
    std::string first;
    std::string second;
    std::string import;
};

const Scratch& scratch()
{
    static const Scratch made = [] {
        const std::string& folder = fuzz::scratchFolder();
        core::paths::setHome(folder + "/home");
        VKHomeLayout::current();
        Scratch scratch { folder + "/root", folder + "/root/a.pdf", folder + "/root/sub/b.txt", folder + "/import.sql" };
        core::fs::createDirectory(scratch.root + "/sub", true);
        core::fs::writeFileAtomically(scratch.first, "eleven byte");
        core::fs::writeFileAtomically(scratch.second, "five!");
        return scratch;
    }();
    return made;
}

// The rows of the bookmarks table, all of them or those of one identifier.
int64_t storedBookmarks(VKFileSettingsManager& manager, const std::optional<std::string>& identifier = std::nullopt)
{
    auto statement = manager.database()->prepareStatement(
        identifier ? "SELECT count(*) FROM Bookmarks WHERE id=?" : "SELECT count(*) FROM Bookmarks");
    FUZZ_CHECK(statement);
    if (identifier)
        statement->bindText(*identifier, 1);
    FUZZ_CHECK(statement->step() == SQLITE_ROW);
    const int64_t count = statement->intValueAtColumn(0);
    statement->finalizeStatement();
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static core::LogCapture quiet(true);
    const Scratch& paths = scratch();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // A fresh database with one bookmark of our own.
    VKFileSettingsManager::setDefaultManagerForTesting(nullptr);
    const std::string database = VKFileSettingsManager::databasePath();
    for (const char* suffix : { "", "-journal", "-wal", "-shm" }) {
        core::fs::removeItem(database + suffix);
        core::fs::removeItem(paths.import + suffix);
    }
    auto manager = VKFileSettingsManager::defaultManager();
    core::Value mine = core::Value::Dictionary { { VKBookmarkNameKey, "mine" }, { VKBookmarkOffsetKey, 1.5 },
        { VKBookmarkInsetKey, 0.0 }, { VKBookmarkZoomKey, 1.0 } };
    FUZZ_CHECK(manager->insertBookmark(mine, paths.first));
    const auto firstBefore = manager->bookmarksForFile(paths.first);
    const auto secondBefore = manager->bookmarksForFile(paths.second);

    core::fs::writeFileAtomically(paths.import, bytes);
    const bool imported = manager->importBookmarksAtPath(paths.import, paths.root);

    core::Data after;
    FUZZ_CHECK(core::fs::readFile(paths.import, after));
    FUZZ_CHECK(std::string_view(reinterpret_cast<const char*>(after.bytes()), after.size()) == bytes);
    const auto firstAfter = manager->bookmarksForFile(paths.first);
    const auto secondAfter = manager->bookmarksForFile(paths.second);
    if (!imported) {
        FUZZ_CHECK(firstAfter == firstBefore && secondAfter == secondBefore);
    } else {
        const auto first = VKFileSettingsManager::identifierForPath(paths.first);
        const auto second = VKFileSettingsManager::identifierForPath(paths.second);
        FUZZ_CHECK(storedBookmarks(*manager) == storedBookmarks(*manager, first) + storedBookmarks(*manager, second));
    }
    VKFileSettingsManager::setDefaultManagerForTesting(nullptr);
    manager.reset();
    quiet.clear();
    return 0;
}
