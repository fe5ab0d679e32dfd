#include "FileModel/VKFileSettingsManager.h"

#include "Shell/VKApplication.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"
#include "Support/Command.h"
#include "Support/TestCase.h"
#include "Support/UITestCase.h"

namespace {

class VKFileSettingsManagerTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        documents = VKHomeLayout::current()->documentsDirectory();
    }
    std::shared_ptr<VKFileSettingsManager> manager() { return VKFileSettingsManager::defaultManager(); }
    std::string sql(const std::string& statement)
    {
        return test::runCommand({ "sqlite3", VKFileSettingsManager::databasePath(), statement }).output;
    }
    std::string doc(const std::string& name, std::string_view contents = "content")
    {
        return makeFile("Library/Documents/" + name, contents);
    }
    static core::Value bookmark(const std::string& name, double offset)
    {
        return core::Value::makeDictionary({ { VKBookmarkNameKey, name }, { VKBookmarkOffsetKey, offset } });
    }
    std::vector<std::string> bookmarkNames(const std::string& path)
    {
        std::vector<std::string> names;
        for (const auto& item : manager()->bookmarksForFile(path).value_or(core::Value::Array()))
            names.push_back(item[VKBookmarkNameKey].string());
        return names;
    }
    static void setTime(const std::string& path, int64_t unixSeconds)
    {
        core::fs::setModificationTime(path, unixSeconds * 1000000000);
    }

    std::string documents;
};

TEST_F(VKFileSettingsManagerTest, SchemaAndUpgradeOfAnOldDatabase)
{
    std::string path = VKFileSettingsManager::databasePath();
    ASSERT_EQ(test::runCommand({ "sqlite3", path,
                  "CREATE TABLE ContentOffsets (pk INTEGER PRIMARY KEY, id VARCHAR(30), offset REAL);"
                  "INSERT INTO ContentOffsets(id, offset) VALUES('old.pdf-10-20', 42.5);" })
                  .status,
        0);
    manager();
    EXPECT_EQ(sql("SELECT * FROM Settings"), "1|old.pdf-10-20|42.5|||||\n");
    EXPECT_EQ(sql("SELECT group_concat(name) FROM pragma_table_info('Settings')"),
        "pk,id,offset,encoding,fontsize,inset,zoom,documentLayout\n");
    EXPECT_EQ(sql("SELECT group_concat(name) FROM pragma_table_info('Bookmarks')"), "pk,id,name,offset,inset,zoom\n");
    EXPECT_EQ(sql("SELECT count(*) FROM sqlite_master WHERE name = 'ContentOffsets'"), "0\n");

    // A new database holds both tables exactly.
    VKFileSettingsManager::setDefaultManagerForTesting(nullptr);
    core::fs::removeItem(path);
    manager();
    EXPECT_EQ(sql(".schema"),
        "CREATE TABLE Bookmarks ('pk' INTEGER PRIMARY KEY, 'id' VARCHAR(30), 'name' VARCHAR(12), 'offset' REAL, "
        "'inset' REAL, 'zoom' REAL);\n"
        "CREATE TABLE Settings ('pk' INTEGER PRIMARY KEY, 'id' VARCHAR(30), 'offset' REAL, 'encoding' VARCHAR(6), "
        "'fontsize' REAL, 'inset' REAL, 'zoom' REAL, 'documentLayout' VARCHAR(4));\n");
}

TEST_F(VKFileSettingsManagerTest, SettingsPerDocumentIdentity)
{
    std::string file = doc("Report.pdf", "12345");
    setTime(file, 978307200 + 1000);
    EXPECT_EQ(VKFileSettingsManager::identifierForPath(file), "Report.pdf-5-1000");
    setTime(file, 978307200 - 4567);
    EXPECT_EQ(VKFileSettingsManager::identifierForPath(file), "Report.pdf-5--4567");
    EXPECT_EQ(VKFileSettingsManager::identifierForPath(documents + "/missing"), std::nullopt);

    auto settings = manager();
    EXPECT_TRUE(settings->setContentOffset(1.5f, file));
    EXPECT_TRUE(settings->setTextEncoding("UTF-8", file));
    EXPECT_TRUE(settings->setDocumentLayout("two", file));
    EXPECT_EQ(sql("SELECT count(*) FROM Settings"), "1\n");
    EXPECT_FLOAT_EQ(settings->contentOffsetForFile(file), 1.5f);
    EXPECT_EQ(settings->textEncodingForFile(file), "UTF-8");
    EXPECT_EQ(settings->documentLayoutForFile(file), "two");
    EXPECT_EQ(settings->fontSizeForFile(file), 0.0f);
    EXPECT_FALSE(settings->insertOrUpdateSetting("offset=0; DROP TABLE Settings; --", 1.0, file));
    EXPECT_TRUE(settings->selectSetting("pk", file).isNull());

    EXPECT_FALSE(settings->setContentZoom(2.0f, documents + "/missing"));
    EXPECT_EQ(settings->contentZoomForFile(documents + "/missing"), 0.0f);

    // A changed size starts afresh.
    core::fs::writeFileAtomically(file, "123456");
    EXPECT_FALSE(settings->hasSettingsForFile(file));

    settings->closeDatabase();
    EXPECT_FALSE(settings->setContentOffset(3.0f, file));
    EXPECT_EQ(settings->contentOffsetForFile(file), 0.0f);
    EXPECT_EQ(settings->bookmarksForFile(file), std::nullopt);
}

TEST_F(VKFileSettingsManagerTest, BookmarksKeepQuotesAndOrder)
{
    std::string file = doc("Book.txt");
    auto settings = manager();
    EXPECT_EQ(settings->bookmarksForFile(file), std::nullopt);
    EXPECT_TRUE(settings->insertBookmark(bookmark("O'Brien", 0.25), file));
    EXPECT_TRUE(settings->insertBookmark(bookmark("two", 0.5), file));
    EXPECT_TRUE(settings->insertBookmark(bookmark("three", 0.75), file));
    EXPECT_FALSE(settings->insertBookmark(core::Value::makeDictionary({ { VKBookmarkNameKey, "no offset" } }), file));
    EXPECT_EQ(sql("SELECT name FROM Bookmarks WHERE pk=1"), "O''Brien\n");
    EXPECT_EQ(bookmarkNames(file), (std::vector<std::string> { "O'Brien", "two", "three" }));
    EXPECT_TRUE(settings->insertBookmark(bookmark("elsewhere", 0.1), doc("Other.txt")));

    EXPECT_TRUE(settings->moveBookmarkAtRow(0, 2, file));
    EXPECT_EQ(bookmarkNames(file), (std::vector<std::string> { "two", "three", "O'Brien" }));
    EXPECT_EQ(sql("SELECT group_concat(pk) FROM Bookmarks"), "4,5,6,7\n");
    EXPECT_FALSE(settings->moveBookmarkAtRow(0, 3, file));
    EXPECT_EQ(bookmarkNames(file), (std::vector<std::string> { "two", "three", "O'Brien" }));

    // A failing insert rolls the reordering back.
    sql("CREATE TRIGGER refuse BEFORE INSERT ON Bookmarks WHEN NEW.name = 'three' BEGIN SELECT RAISE(ABORT, 'no'); END");
    EXPECT_FALSE(settings->moveBookmarkAtRow(1, 0, file));
    EXPECT_EQ(bookmarkNames(file), (std::vector<std::string> { "two", "three", "O'Brien" }));

    auto first = settings->bookmarksForFile(file)->front();
    EXPECT_TRUE(settings->removeBookmark(first, file));
    EXPECT_FALSE(settings->removeBookmark(bookmark("x", 1), file));
    EXPECT_EQ(bookmarkNames(file), (std::vector<std::string> { "three", "O'Brien" }));
}

TEST_F(VKFileSettingsManagerTest, RemovalsAndMovesFollowTheFiles)
{
    auto settings = manager();
    std::string a = doc("Tree/a.txt");
    std::string b = doc("Tree/deep/er/b.txt");
    std::string keep = doc("keep.txt");
    for (const auto& file : { a, b, keep }) {
        settings->setContentOffset(1, file);
        settings->insertBookmark(bookmark("m", 0.1), file);
    }
    EXPECT_TRUE(settings->removeBookmarksAndSettingsForItemAtPath(documents + "/Tree"));
    EXPECT_EQ(sql("SELECT count(*) FROM Settings"), "1\n");
    EXPECT_EQ(sql("SELECT count(*) FROM Bookmarks"), "1\n");

    // Renames through either notification, dashed names and pre-2001 times.
    std::string dashed = doc("my-old-name.txt", "abc");
    setTime(dashed, 900000000);
    settings->setFontSize(12, dashed);
    settings->insertBookmark(bookmark("here", 0.3), dashed);
    std::string renamed = documents + "/new-name-2.txt";
    ASSERT_TRUE(core::fs::moveItem(dashed, renamed));
    core::NotificationCenter::defaultCenter().post(VKFolderControllerDidMoveResourceNotification, nullptr, { dashed, renamed });
    EXPECT_FLOAT_EQ(settings->fontSizeForFile(renamed), 12);
    EXPECT_EQ(bookmarkNames(renamed), std::vector<std::string> { "here" });
    std::string again = documents + "/third.txt";
    ASSERT_TRUE(core::fs::moveItem(renamed, again));
    core::NotificationCenter::defaultCenter().post(WebDAVDidMoveResourceNotification, nullptr, { renamed, again });
    EXPECT_FLOAT_EQ(settings->fontSizeForFile(again), 12);

    // The trash drops rows of what it empties.
    VKFileSettingsManager::installTrashItemRemovalHook();
    ASSERT_TRUE(moveItemAtPathToTrash(keep));
    emptyTrashInBackground();
    ASSERT_TRUE(core::Thread::waitForAll(5));
    EXPECT_EQ(sql("SELECT count(*) FROM Settings WHERE id LIKE 'keep.txt%'"), "0\n");
}

TEST_F(VKFileSettingsManagerTest, ExportAndImport)
{
    auto settings = manager();
    std::string file = doc("Novel.txt", "1234");
    std::string similar = doc("Other/Novel.txt", "12345");
    settings->insertBookmark(bookmark("chapter", 0.5), file);
    settings->insertBookmark(bookmark("other", 0.7), similar);
    std::string folder = makeFolder("exports");
    auto exported = settings->exportBookmarksToDirectory(folder);
    ASSERT_TRUE(exported);
    EXPECT_TRUE(VKFileSettingsManager::isTandryBookmarksSQLAtPath(*exported));
    EXPECT_TRUE(core::path::lastPathComponent(*exported).starts_with("VKTandryBookmarks_"));
    EXPECT_EQ(core::path::lastPathComponent(*exported).size(), std::string("VKTandryBookmarks_yyyyMMdd_HHmmss.sql").size());
    EXPECT_FALSE(settings->exportBookmarksToDirectory(file));

    // A new time keeps the bookmarks; "Novel.txt-4-" never takes "Novel.txt-45…".
    setTime(file, 978307200 + 77);
    core::fs::removeItem(similar);
    settings->removeBookmarksForItemAtPath(file);
    EXPECT_TRUE(settings->importBookmarksAtPath(*exported, documents));
    EXPECT_EQ(bookmarkNames(file), std::vector<std::string> { "chapter" });
    EXPECT_TRUE(logContains("Warning, failed to insert 1 bookmarks"));

    std::string bad = pathInHome("bad.sql");
    test::runCommand({ "sqlite3", bad, "CREATE TABLE Bookmarks (pk INTEGER PRIMARY KEY, id VARCHAR(30));"
                                       "INSERT INTO Bookmarks(id) VALUES('x');" });
    EXPECT_FALSE(settings->importBookmarksAtPath(bad, documents));
    EXPECT_TRUE(logContains("ImportBookmarksException: Mismatched column count"));
    EXPECT_EQ(bookmarkNames(file), std::vector<std::string> { "chapter" });
}

TEST_F(VKFileSettingsManagerTest, ADamagedDatabaseIsKeptAsideAndAFreshOneTakesItsPlace)
{
    std::string path = VKFileSettingsManager::databasePath();
    std::string file = doc("x.txt");
    core::fs::writeFileAtomically(path, std::string(4096, 'g'));
    // An earlier damaged copy stays as it is.
    core::fs::writeFileAtomically(path + ".corrupt", "earlier");
    auto settings = manager();
    EXPECT_TRUE(settings->takeResetNotice());
    EXPECT_FALSE(settings->takeResetNotice());
    EXPECT_EQ(readFile(path + ".corrupt"), "earlier");
    EXPECT_EQ(readFile(path + ".corrupt-2"), std::string(4096, 'g'));
    EXPECT_TRUE(settings->setContentOffset(1, file));
    EXPECT_TRUE(settings->insertBookmark(bookmark("b", 1), file));

    // A sound one is kept, with what it holds.
    VKFileSettingsManager::setDefaultManagerForTesting(nullptr);
    EXPECT_FALSE(manager()->takeResetNotice());
    EXPECT_EQ(manager()->contentOffsetForFile(file), 1.0f);
    EXPECT_EQ(bookmarkNames(file), std::vector<std::string> { "b" });
}

class VKFileSettingsManagerLifeTest : public test::UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }
};

TEST_F(VKFileSettingsManagerLifeTest, TheDatabaseClosesWhenTheApplicationEnds)
{
    const std::string file = makeFile("Library/Documents/a.txt", "text");
    auto settings = VKFileSettingsManager::defaultManager();
    ASSERT_TRUE(settings->setContentOffset(3.0f, file));
    ASSERT_TRUE(settings->database());
    driver.terminate();
    EXPECT_FALSE(settings->database());
    EXPECT_FALSE(settings->setContentOffset(4.0f, file));
    // What was written before the end is on disk.
    EXPECT_EQ(test::runCommand({ "sqlite3", VKFileSettingsManager::databasePath(), "SELECT count(*) FROM Settings;" }).output,
        "1\n");
}

} // namespace
