#include "Shell/VKApplication.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/TestCase.h"

#include <algorithm>
#include <thread>

namespace {

class VKApplicationTest : public test::TestCase {
protected:
    static std::shared_ptr<core::UserDefaults> defaults() { return core::UserDefaults::standard(); }

    bool isFolder(std::string_view relative) const { return core::fs::isDirectory(pathInHome(relative)); }
    bool exists(std::string_view relative) const { return core::fs::exists(pathInHome(relative)); }

    // Index of the first log line holding `text`, or -1.
    long logIndex(std::string_view text) const
    {
        auto lines = logLines();
        auto it = std::find_if(lines.begin(), lines.end(),
            [&](const std::string& line) { return line.find(text) != std::string::npos; });
        return it == lines.end() ? -1 : it - lines.begin();
    }
};

TEST_F(VKApplicationTest, FreshHomeIsLaidOutOnceAndBothMigrationsDropTheQuotaStore)
{
    defaults()->set("VKQuotaStore", core::Value::makeDictionary({ { "x", 1 } }));
    auto application = VKApplication::create();

    for (const char* folder : { "Documents", "Library/Preferences/Metadata", "Library/Servers", "Library/Documents" })
        EXPECT_TRUE(isFolder(folder)) << folder;
    EXPECT_GE(logIndex("attemptDocumentsUpdate1"), 0);
    EXPECT_GT(logIndex("attemptDocumentsUpdate2"), logIndex("attemptDocumentsUpdate1"));
    EXPECT_TRUE(defaults()->object("VKQuotaStore").isNull());

    EXPECT_EQ(application->homeDirectory(), home());
    EXPECT_EQ(application->publicDirectory(), pathInHome("Documents"));
    EXPECT_EQ(application->documentsDirectory(), pathInHome("Library/Documents"));
    EXPECT_EQ(application->metadataDirectory(), pathInHome("Library/Preferences/Metadata"));
    EXPECT_EQ(application->serversDirectory(), pathInHome("Library/Servers"));
    EXPECT_EQ(application->inboxDirectory(), pathInHome("Documents/Inbox"));
    EXPECT_FALSE(exists("Documents/Inbox"));
    EXPECT_EQ(application->downloadsDirectory(), pathInHome("Library/Preferences/Metadata/Downloads"));
    EXPECT_TRUE(isFolder("Library/Preferences/Metadata/Downloads"));

    // A second start finds everything in place.
    size_t linesBefore = logLines().size();
    defaults()->set("VKQuotaStore", core::Value::makeDictionary({ { "x", 1 } }));
    VKApplication::create();
    EXPECT_EQ(logLines().size(), linesBefore);
    EXPECT_FALSE(defaults()->object("VKQuotaStore").isNull());
}

TEST_F(VKApplicationTest, FirstMigrationMovesMetadataAndTheOldFolderUp)
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

    VKApplication::create();

    for (const char* item : { "TandryBookmarks.sql", "VKWebHistory.plist", "Downloads/partial", "ThumbnailCache", "Trash" })
        EXPECT_TRUE(exists(std::string("Library/Preferences/Metadata/") + item)) << item;
    EXPECT_FALSE(exists("Documents/TandryBookmarks.sql"));
    EXPECT_EQ(readFile(pathInHome("Documents/report.pdf")), "pdf");
    EXPECT_EQ(readFile(pathInHome("Documents/Folder/inner.txt")), "inner");
    EXPECT_EQ(readFile(pathInHome("Documents/taken.txt")), "new");
    EXPECT_EQ(readFile(pathInHome("Documents/Tandry/taken.txt")), "old");
    EXPECT_TRUE(logContains("Warning, failed to update: " + pathInHome("Documents/Tandry/taken.txt")));
    EXPECT_LT(logIndex("attemptDocumentsUpdate2"), 0);
}

TEST_F(VKApplicationTest, FirstMigrationRemovesAnEmptiedOldFolder)
{
    makeFile("Documents/Tandry/a.txt", "a");
    makeFolder("Library/Documents");
    VKApplication::create();
    EXPECT_TRUE(exists("Documents/a.txt"));
    EXPECT_FALSE(exists("Documents/Tandry"));
}

TEST_F(VKApplicationTest, SecondMigrationMovesDocumentsPrivateAndPublicBack)
{
    makeFolder("Library/Preferences/Metadata");
    makeFile("Documents/private.txt", "private");
    makeFile("Documents/Public/shared.txt", "shared");
    makeFile("Documents/Public/Sub/deep.txt", "deep");
    defaults()->set("VKQuotaStore", core::Value::makeDictionary({ { "x", 1 } }));

    VKApplication::create();

    EXPECT_LT(logIndex("attemptDocumentsUpdate1"), 0);
    EXPECT_GE(logIndex("attemptDocumentsUpdate2"), 0);
    EXPECT_EQ(readFile(pathInHome("Library/Documents/private.txt")), "private");
    EXPECT_EQ(readFile(pathInHome("Documents/shared.txt")), "shared");
    EXPECT_EQ(readFile(pathInHome("Documents/Sub/deep.txt")), "deep");
    EXPECT_FALSE(exists("Library/Documents/Public"));
    EXPECT_FALSE(exists("Documents/private.txt"));
    EXPECT_TRUE(defaults()->object("VKQuotaStore").isNull());
}

TEST_F(VKApplicationTest, RootsAndPrefixesCompareWholeComponents)
{
    auto application = VKApplication::sharedApplication();
    const std::string servers = application->serversDirectory();

    EXPECT_EQ(application->rootDirectoryForPath(servers + "/Svc/a/b"), servers + "/Svc");
    EXPECT_EQ(application->rootDirectoryForPath(servers + "/Svc"), servers + "/Svc");
    EXPECT_EQ(application->rootDirectoryForPath(pathInHome("Library/Documents/x/y")), pathInHome("Library/Documents"));
    EXPECT_EQ(application->rootDirectoryForPath(pathInHome("Documents")), pathInHome("Documents"));
    EXPECT_FALSE(logContains("Warning: invalid root path"));

    EXPECT_EQ(application->rootDirectoryForPath(servers), std::nullopt);
    EXPECT_TRUE(logContains("Warning: invalid root path"));
    // Neighbours that merely share the text in front are outside.
    EXPECT_EQ(application->rootDirectoryForPath(pathInHome("Documents-old/x")), std::nullopt);
    EXPECT_EQ(application->rootDirectoryForPath(pathInHome("Library/Servers2/x")), std::nullopt);
    EXPECT_EQ(application->rootDirectoryForPath(pathInHome("Library/Documents/../Preferences")), std::nullopt);

    EXPECT_EQ(application->localizedPrefixForPath(pathInHome("Library/Documents/a")), "Documents");
    EXPECT_EQ(application->localizedPrefixForPath(pathInHome("Documents/a")), "Public");
    EXPECT_EQ(application->localizedPrefixForPath(servers + "/Svc/a"), "Svc");
    EXPECT_EQ(application->localizedPrefixForPath(pathInHome("Documents-old/a")), "");
    EXPECT_EQ(application->localizedPrefixForPath(servers), "");
    EXPECT_EQ(application->localizedPrefixForPath("/elsewhere"), "");
}

TEST_F(VKApplicationTest, SubdirectoriesAreMadeOnceFromManyThreads)
{
    auto application = VKApplication::sharedApplication();
    std::vector<std::thread> threads;
    std::vector<std::string> answers(8);
    for (size_t i = 0; i < answers.size(); ++i)
        threads.emplace_back([&, i] { answers[i] = application->metadataSubdirectory("ThumbnailCache"); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& answer : answers)
        EXPECT_EQ(answer, pathInHome("Library/Preferences/Metadata/ThumbnailCache"));
    EXPECT_TRUE(isFolder("Library/Preferences/Metadata/ThumbnailCache"));
    EXPECT_EQ(application->serversSubdirectory("Svc"), pathInHome("Library/Servers/Svc"));
    EXPECT_TRUE(isFolder("Library/Servers/Svc"));
    EXPECT_FALSE(logContains("WARNING"));

    // A file in the way: logged, and the path still answered.
    makeFile("Library/Preferences/Metadata/Blocked", "file");
    EXPECT_EQ(application->metadataSubdirectory("Blocked/Cache"), pathInHome("Library/Preferences/Metadata/Blocked/Cache"));
    EXPECT_TRUE(logContains("WARNING: Failed to create " + pathInHome("Library/Preferences/Metadata/Blocked/Cache") + ": "));
}

class BusyNetwork : public VKNetworkActivityDelegate {
public:
    bool isNetworkActiveForApplication(VKApplication&) override
    {
        ++asked;
        return busy;
    }
    bool busy = true;
    int asked = 0;
};

TEST_F(VKApplicationTest, KeepAwakeAndActivityIndicatorPolicies)
{
    auto application = VKApplication::sharedApplication();
    application->setIdleTimerDisabled(true);
    application->setIdleTimerDisabled(false);
    EXPECT_FALSE(application->isIdleTimerDisabled());

    defaults()->set("VKInsomniaEnabled", true);
    application->setIdleTimerDisabled(true);
    application->setIdleTimerDisabled(false);
    EXPECT_TRUE(application->isIdleTimerDisabled());
    EXPECT_TRUE(logContains("VKApplication, blocking setIdleTimerDisabled:NO"));
    application->forceIdleTimerDisabled();
    EXPECT_FALSE(application->isIdleTimerDisabled());

    auto network = std::make_shared<BusyNetwork>();
    application->setNetworkActivityDelegate(network);
    application->setNetworkActivityIndicatorVisible(true);
    EXPECT_EQ(network->asked, 0);
    application->setNetworkActivityIndicatorVisible(false);
    EXPECT_TRUE(application->isNetworkActivityIndicatorVisible());
    EXPECT_EQ(network->asked, 1);
    network->busy = false;
    application->setNetworkActivityIndicatorVisible(false);
    EXPECT_FALSE(application->isNetworkActivityIndicatorVisible());

    // The delegate is not owned: once it is gone the indicator simply goes out.
    application->setNetworkActivityIndicatorVisible(true);
    network.reset();
    application->setNetworkActivityIndicatorVisible(false);
    EXPECT_FALSE(application->isNetworkActivityIndicatorVisible());
}

} // namespace

TEST_F(VKApplicationTest, TheToolkitsApplicationIsTheSharedOneWhileItIsOne)
{
    auto lazy = VKApplication::sharedApplication();
    EXPECT_EQ(VKApplication::sharedApplication(), lazy);
    EXPECT_EQ(ui::Application::shared(), nullptr);

    auto program = VKApplication::create();
    ui::Application::setShared(program);
    EXPECT_EQ(VKApplication::sharedApplication(), program);
    ui::Application::setShared(std::make_shared<ui::Application>());
    EXPECT_EQ(VKApplication::sharedApplication(), lazy);
    ui::Application::setShared(nullptr);
}
