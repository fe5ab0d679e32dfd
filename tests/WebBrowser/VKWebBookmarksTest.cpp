// The bookmarks store: the shipped defaults until the first save, the file
// as another program reads it, the list operations, and damaged files.

#include "WebBrowserTestCase.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/PercentEscape.h"
#include "Support/Command.h"
#include "Support/Python.h"

namespace {

class VKWebBookmarksTest : public test::WebBrowserTestCase {
protected:
    std::shared_ptr<VKWebBookmarks> store() { return VKWebBookmarks::sharedWebBookmarks(); }
    std::vector<std::string> titles()
    {
        std::vector<std::string> result;
        for (const auto& bookmark : store()->bookmarks())
            result.push_back(bookmark.title);
        return result;
    }
    // The store holding exactly these titles (addresses made of them).
    void fill(const std::vector<std::string>& names)
    {
        for (const auto& bookmark : store()->bookmarks())
            store()->removeBookmark(bookmark);
        for (const auto& name : names)
            store()->addURL(url("http://" + name + ".example/"), name);
    }
};

TEST_F(VKWebBookmarksTest, TheDefaultsShowUntilTheFirstSaveThenTheFileAlone)
{
    std::string path = store()->bookmarkItemsPath();
    EXPECT_EQ(path, VKApplication::sharedApplication()->metadataDirectory() + "/VKWebBookmarks.plist");
    auto defaults = store()->bookmarks();
    ASSERT_GE(defaults.size(), 3u);
    for (const auto& bookmark : defaults) {
        EXPECT_TRUE(bookmark.webBookmarkURL()) << bookmark.URL;
        EXPECT_EQ(bookmark.URL.find('?'), std::string::npos) << bookmark.URL;
        EXPECT_FALSE(bookmark.title.empty());
        EXPECT_EQ(bookmark.UUID.size(), 36u);
    }

    // Emptied and saved, the list stays empty: the defaults are not read
    // again.
    fill({});
    driver.enterBackground();
    VKWebBookmarks::resetSharedWebBookmarksForTesting();
    EXPECT_TRUE(store()->bookmarks().empty());

    // Neither a file nor the resource: empty.
    core::fs::removeItem(path);
    auto main = core::Bundle::main();
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(makeFolder("EmptyBundle")));
    VKWebBookmarks::resetSharedWebBookmarksForTesting();
    EXPECT_TRUE(store()->bookmarks().empty());
    core::Bundle::setMainForTesting(main);
}

TEST_F(VKWebBookmarksTest, TheFileIsABinaryListOfThreeStrings)
{
    fill({ "one" });
    store()->addURL(std::nullopt, std::nullopt);
    store()->addURL(url("http://three.example/"), std::string("Bad \xfe"));
    driver.terminate();
    auto output = test::runPython(R"(
import plistlib, sys
data = open(sys.argv[1], 'rb').read()
assert data.startswith(b'bplist00')
for item in plistlib.loads(data, fmt=plistlib.FMT_BINARY):
    print(sorted(item.keys()), repr(item['VKWebBookmarkURL']), repr(item['VKWebBookmarkTitle']),
          len(item['VKWebBookmarkUUID']), all(type(v) is str for v in item.values()))
)", { store()->bookmarkItemsPath() });
    EXPECT_EQ(output,
        "['VKWebBookmarkTitle', 'VKWebBookmarkURL', 'VKWebBookmarkUUID'] 'http://one.example/' 'one' 36 True\n"
        "['VKWebBookmarkTitle', 'VKWebBookmarkURL', 'VKWebBookmarkUUID'] '' '' 36 True\n"
        "['VKWebBookmarkTitle', 'VKWebBookmarkURL', 'VKWebBookmarkUUID'] 'http://three.example/' 'Bad \xEF\xBF\xBD' 36 True\n");
}

TEST_F(VKWebBookmarksTest, GeneratedBookmarksAndTheirAccessors)
{
    auto first = VKWebBookmarks::generateBookmarkWithURL(url("http://example.org/"), "Example");
    auto second = VKWebBookmarks::generateBookmarkWithURL(url("http://example.org/"), "Example");
    EXPECT_NE(first.UUID, second.UUID);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.webBookmarkURL()->absoluteString(), "http://example.org/");
    EXPECT_EQ(first.webBookmarkTitle(), "Example");
    auto empty = VKWebBookmarks::generateBookmarkWithURL(std::nullopt, std::nullopt);
    EXPECT_EQ(empty.URL, "");
    EXPECT_EQ(empty.title, "");
    EXPECT_FALSE(empty.webBookmarkURL());
    EXPECT_EQ(empty.dictionary()[VKWebBookmarksItemURLKey].string(), "");
}

TEST_F(VKWebBookmarksTest, ReplacingMovingRemovingAndSearching)
{
    fill({ "a", "b", "c", "d" });
    auto list = store()->bookmarks();

    // Replacing goes by the whole bookmark, UUID included.
    auto replacement = VKWebBookmarks::generateBookmarkWithURL(url("http://bee.example/"), "bee");
    VKWebBookmark sameValuesOtherUUID = list[1];
    sameValuesOtherUUID.UUID = "other";
    store()->replaceBookmark(sameValuesOtherUUID, replacement);
    EXPECT_EQ(titles(), (std::vector<std::string> { "a", "b", "c", "d" }));
    store()->replaceBookmark(list[1], replacement);
    EXPECT_EQ(titles(), (std::vector<std::string> { "a", "bee", "c", "d" }));
    EXPECT_EQ(store()->bookmarks()[1].UUID, replacement.UUID);

    store()->moveBookmarkAtIndex(0, 3);
    EXPECT_EQ(titles(), (std::vector<std::string> { "bee", "c", "d", "a" }));
    store()->moveBookmarkAtIndex(3, 1);
    EXPECT_EQ(titles(), (std::vector<std::string> { "bee", "a", "c", "d" }));
    store()->moveBookmarkAtIndex(1, 9);
    EXPECT_EQ(titles(), (std::vector<std::string> { "bee", "a", "c", "d" }));

    // Every equal bookmark goes.
    auto c = store()->bookmarks()[2];
    store()->addBookmark(c);
    store()->removeBookmark(c);
    EXPECT_EQ(titles(), (std::vector<std::string> { "bee", "a", "d" }));
}

TEST_F(VKWebBookmarksTest, WarningsFailuresAndDamagedFiles)
{
    fill({ "kept" });
    std::string path = store()->bookmarkItemsPath();
    driver.memoryWarning();
    EXPECT_FALSE(store()->isLoaded());
    EXPECT_EQ(titles(), std::vector<std::string> { "kept" });

    // A damaged file is kept aside byte for byte; the defaults stand in.
    std::string damaged = readFile(path).substr(0, 30);
    ASSERT_TRUE(core::fs::writeFileAtomically(path, damaged));
    VKWebBookmarks::resetSharedWebBookmarksForTesting();
    EXPECT_GE(store()->bookmarks().size(), 3u);
    EXPECT_EQ(readFile(path + ".corrupt"), damaged);
    EXPECT_FALSE(core::fs::exists(path));

    // Bad entries go, counted once.
    test::runPython(R"(
import plistlib, sys
plistlib.dump([{'VKWebBookmarkURL': 'http://ok.example/', 'VKWebBookmarkTitle': 'ok', 'VKWebBookmarkUUID': 'u1'},
               {'VKWebBookmarkURL': 'http://x.example/', 'VKWebBookmarkTitle': 3, 'VKWebBookmarkUUID': 'u2'},
               ['list']], open(sys.argv[1], 'wb'), fmt=plistlib.FMT_BINARY)
)", { path });
    VKWebBookmarks::resetSharedWebBookmarksForTesting();
    EXPECT_EQ(titles(), std::vector<std::string> { "ok" });
    EXPECT_TRUE(logContains("VKWebBookmarks: 2 unusable entries dropped"));

    // A failed save is logged and keeps the list.
    core::fs::removeItem(path);
    ASSERT_TRUE(core::fs::createDirectory(path, true));
    store()->applicationWillTerminateOrEnterBackground();
    EXPECT_TRUE(logContains("Warning, failed to serialize web bookmarks to: " + path));
    driver.memoryWarning();
    EXPECT_EQ(titles(), std::vector<std::string> { "ok" });
}

TEST_F(VKWebBookmarksTest, StoredTextsShowAsOneBoundedLine)
{
    EXPECT_EQ(VKWebListFile::singleLine("<b>Two</b>\nlines\r\tand a tab"), "<b>Two</b> lines  and a tab");
    // Ten thousand characters keep their start and end, cut on whole
    // characters only.
    std::string longTitle;
    for (int i = 0; i < 5000; ++i)
        longTitle += "\xC3\xA9"; // é, two bytes
    std::string line = VKWebListFile::singleLine("start" + longTitle + "end");
    EXPECT_LE(line.size(), VKWebListFile::MaximumShownLength + 8);
    EXPECT_EQ(line.substr(0, 5), "start");
    EXPECT_EQ(line.substr(line.size() - 3), "end");
    EXPECT_NE(line.find("\xE2\x80\xA6"), std::string::npos);
    EXPECT_TRUE(core::isValidUTF8(line));

    EXPECT_TRUE(VKWebListFile::containsIgnoringCase("http://Example.ORG/", "example.org"));
    EXPECT_TRUE(VKWebListFile::containsIgnoringCase("Straße", "STRASSE"));
    EXPECT_FALSE(VKWebListFile::containsIgnoringCase("http://a.example/", "b.example"));
}

TEST_F(VKWebBookmarksTest, TheShippedDefaultsAreWellFormedXML)
{
    if (!test::hasProgram("xmllint"))
        GTEST_SKIP() << "xmllint is not installed";
    auto result = test::runCommand({ "xmllint", "--noout",
        sourcePath("resources/WebBrowser/VKDefaultWebBookmarks.plist") });
    EXPECT_EQ(result.status, 0);
}

} // namespace
