#include "Kit/VKHomeLayout.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/TestCase.h"

#include <thread>

namespace {

class VKHomeLayoutTest : public test::TestCase {
protected:
    static std::shared_ptr<core::UserDefaults> defaults() { return core::UserDefaults::standard(); }

    bool isFolder(std::string_view relative) const { return core::fs::isDirectory(pathInHome(relative)); }
    bool exists(std::string_view relative) const { return core::fs::exists(pathInHome(relative)); }
};

TEST_F(VKHomeLayoutTest, FreshHomeIsLaidOutOnceAndBothMigrationsDropTheQuotaStore)
{
    defaults()->set("VKQuotaStore", core::Value::makeDictionary({ { "x", 1 } }));
    auto layout = VKHomeLayout::layOut(home());

    for (const char* folder : { "Documents", "Library/Preferences/Metadata", "Library/Servers", "Library/Documents" })
        EXPECT_TRUE(isFolder(folder)) << folder;
    EXPECT_TRUE(defaults()->object("VKQuotaStore").isNull());

    EXPECT_EQ(layout.homeDirectory(), home());
    EXPECT_EQ(layout.publicDirectory(), pathInHome("Documents"));
    EXPECT_EQ(layout.documentsDirectory(), pathInHome("Library/Documents"));
    EXPECT_EQ(layout.metadataDirectory(), pathInHome("Library/Preferences/Metadata"));
    EXPECT_EQ(layout.serversDirectory(), pathInHome("Library/Servers"));
    EXPECT_EQ(layout.inboxDirectory(), pathInHome("Documents/Inbox"));
    EXPECT_FALSE(exists("Documents/Inbox"));
    EXPECT_EQ(layout.downloadsDirectory(), pathInHome("Library/Preferences/Metadata/Downloads"));
    EXPECT_TRUE(isFolder("Library/Preferences/Metadata/Downloads"));

    // A second start finds everything in place.
    size_t linesBefore = logLines().size();
    defaults()->set("VKQuotaStore", core::Value::makeDictionary({ { "x", 1 } }));
    VKHomeLayout::layOut(home());
    EXPECT_EQ(logLines().size(), linesBefore);
    EXPECT_FALSE(defaults()->object("VKQuotaStore").isNull());
}

TEST_F(VKHomeLayoutTest, FirstMigrationMovesMetadataAndTheOldFolderUp)
{
    makeFile("Documents/TandryBookmarks.sql", "db");
    makeFile("Documents/VKWebHistory.plist", "history");
    makeFile("Documents/Downloads/partial", "p");
    makeFolder("Documents/ThumbnailCache");
    makeFolder("Documents/Trash");
    makeFile("Documents/Tandry/report.pdf", "pdf");
    makeFile("Documents/Tandry/Folder/inner.txt", "inner");
    // Already taken above: stays behind, and with it the old folder.
    makeFile("Documents/Tandry/taken.txt", "old");
    makeFile("Documents/taken.txt", "new");
    // The second layout's step is kept out, to look at the first alone.
    makeFolder("Library/Documents");

    VKHomeLayout::layOut(home());

    for (const char* item : { "TandryBookmarks.sql", "VKWebHistory.plist", "Downloads/partial", "ThumbnailCache", "Trash" })
        EXPECT_TRUE(exists(std::string("Library/Preferences/Metadata/") + item)) << item;
    EXPECT_FALSE(exists("Documents/TandryBookmarks.sql"));
    EXPECT_EQ(readFile(pathInHome("Documents/report.pdf")), "pdf");
    EXPECT_EQ(readFile(pathInHome("Documents/Folder/inner.txt")), "inner");
    EXPECT_EQ(readFile(pathInHome("Documents/taken.txt")), "new");
    EXPECT_EQ(readFile(pathInHome("Documents/Tandry/taken.txt")), "old");
    EXPECT_TRUE(logContains("Warning, failed to update: " + pathInHome("Documents/Tandry/taken.txt")));
}

// The oldest home goes through both steps in turn: out of the old folder
// first, then into the private documents.
TEST_F(VKHomeLayoutTest, TheOldestHomeIsMovedThroughBothLayoutsInTurn)
{
    makeFile("Documents/Tandry/report.pdf", "pdf");
    makeFile("Documents/VKWebHistory.plist", "history");
    VKHomeLayout::layOut(home());
    EXPECT_EQ(readFile(pathInHome("Library/Documents/report.pdf")), "pdf");
    EXPECT_EQ(readFile(pathInHome("Library/Preferences/Metadata/VKWebHistory.plist")), "history");
    EXPECT_FALSE(exists("Library/Documents/Tandry"));
}

TEST_F(VKHomeLayoutTest, FirstMigrationRemovesAnEmptiedOldFolder)
{
    makeFile("Documents/Tandry/a.txt", "a");
    makeFolder("Library/Documents");
    VKHomeLayout::layOut(home());
    EXPECT_TRUE(exists("Documents/a.txt"));
    EXPECT_FALSE(exists("Documents/Tandry"));
}

TEST_F(VKHomeLayoutTest, SecondMigrationMovesDocumentsPrivateAndPublicBack)
{
    makeFolder("Library/Preferences/Metadata");
    makeFile("Documents/private.txt", "private");
    // Named as the first layout's metadata, though the first step is past.
    makeFile("Documents/VKWebHistory.plist", "mine");
    makeFile("Documents/Public/shared.txt", "shared");
    makeFile("Documents/Public/Sub/deep.txt", "deep");
    defaults()->set("VKQuotaStore", core::Value::makeDictionary({ { "x", 1 } }));

    VKHomeLayout::layOut(home());

    EXPECT_EQ(readFile(pathInHome("Library/Documents/private.txt")), "private");
    EXPECT_EQ(readFile(pathInHome("Library/Documents/VKWebHistory.plist")), "mine");
    EXPECT_EQ(readFile(pathInHome("Documents/shared.txt")), "shared");
    EXPECT_EQ(readFile(pathInHome("Documents/Sub/deep.txt")), "deep");
    EXPECT_FALSE(exists("Library/Documents/Public"));
    EXPECT_FALSE(exists("Documents/private.txt"));
    EXPECT_TRUE(defaults()->object("VKQuotaStore").isNull());
}

TEST_F(VKHomeLayoutTest, RootsAndPrefixesCompareWholeComponents)
{
    auto layout = VKHomeLayout::current();
    const std::string servers = layout->serversDirectory();

    EXPECT_EQ(layout->rootDirectoryForPath(servers + "/Svc/a/b"), servers + "/Svc");
    EXPECT_EQ(layout->rootDirectoryForPath(servers + "/Svc"), servers + "/Svc");
    EXPECT_EQ(layout->rootDirectoryForPath(pathInHome("Library/Documents/x/y")), pathInHome("Library/Documents"));
    EXPECT_EQ(layout->rootDirectoryForPath(pathInHome("Documents")), pathInHome("Documents"));
    EXPECT_FALSE(logContains("Warning: invalid root path"));

    EXPECT_EQ(layout->rootDirectoryForPath(servers), std::nullopt);
    EXPECT_TRUE(logContains("Warning: invalid root path"));
    // Neighbours that merely share the text in front are outside.
    EXPECT_EQ(layout->rootDirectoryForPath(pathInHome("Documents-old/x")), std::nullopt);
    EXPECT_EQ(layout->rootDirectoryForPath(pathInHome("Library/Servers2/x")), std::nullopt);
    EXPECT_EQ(layout->rootDirectoryForPath(pathInHome("Library/Documents/../Preferences")), std::nullopt);

    EXPECT_EQ(layout->localizedPrefixForPath(pathInHome("Library/Documents/a")), "Documents");
    EXPECT_EQ(layout->localizedPrefixForPath(pathInHome("Documents/a")), "Public");
    EXPECT_EQ(layout->localizedPrefixForPath(servers + "/Svc/a"), "Svc");
    EXPECT_EQ(layout->localizedPrefixForPath(pathInHome("Documents-old/a")), "");
    EXPECT_EQ(layout->localizedPrefixForPath(servers), "");
    EXPECT_EQ(layout->localizedPrefixForPath("/elsewhere"), "");
}

TEST_F(VKHomeLayoutTest, SubdirectoriesAreMadeOnceFromManyThreads)
{
    auto layout = VKHomeLayout::current();
    std::vector<std::thread> threads;
    std::vector<std::string> answers(8);
    for (size_t i = 0; i < answers.size(); ++i)
        threads.emplace_back([&, i] { answers[i] = layout->metadataSubdirectory("ThumbnailCache"); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& answer : answers)
        EXPECT_EQ(answer, pathInHome("Library/Preferences/Metadata/ThumbnailCache"));
    EXPECT_TRUE(isFolder("Library/Preferences/Metadata/ThumbnailCache"));
    EXPECT_EQ(layout->serversSubdirectory("Svc"), pathInHome("Library/Servers/Svc"));
    EXPECT_TRUE(isFolder("Library/Servers/Svc"));
    EXPECT_FALSE(logContains("WARNING"));

    // A file in the way: logged, and the path still answered.
    makeFile("Library/Preferences/Metadata/Blocked", "file");
    EXPECT_EQ(layout->metadataSubdirectory("Blocked/Cache"), pathInHome("Library/Preferences/Metadata/Blocked/Cache"));
    EXPECT_TRUE(logContains("WARNING: Failed to create " + pathInHome("Library/Preferences/Metadata/Blocked/Cache") + ": "));
}

} // namespace
