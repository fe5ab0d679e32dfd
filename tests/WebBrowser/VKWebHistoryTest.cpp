// The history store: its file as another program reads and writes it, the
// limits at load, one entry per address and day, searching, when it saves,
// and what it does with damaged files and failed writes.

#include "WebBrowserTestCase.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/TimeZone.h"
#include "Support/Python.h"

#include <algorithm>

namespace {

class VKWebHistoryTest : public test::WebBrowserTestCase {
protected:
    std::shared_ptr<VKWebHistory> history() { return VKWebHistory::sharedWebHistory(); }
    static std::vector<std::string> addresses(const std::vector<VKWebHistoryItem>& items)
    {
        std::vector<std::string> result;
        for (const auto& item : items)
            result.push_back(item.URL);
        return result;
    }
};

TEST_F(VKWebHistoryTest, TheFileIsABinaryListOfTypedEntriesAndAnyFormatIsRead)
{
    clock().setNow(at(2026, 12, 8, 9, 30));
    history()->addURL(url("http://example.org/"), "Example");
    history()->addURL(url("https://www.example.com/a?b=c"), std::nullopt);
    // Text another program cannot take as UTF-8 is written replaced.
    history()->addURL(url("http://example.net/"), std::string("Bad \xff byte"));
    history()->applicationWillTerminateOrEnterBackground();
    std::string path = history()->historyItemsPath();
    EXPECT_EQ(path, VKApplication::sharedApplication()->metadataDirectory() + "/VKWebHistory.plist");

    auto output = test::runPython(R"(
import plistlib, sys
data = open(sys.argv[1], 'rb').read()
assert data.startswith(b'bplist00'), data[:8]
items = plistlib.loads(data, fmt=plistlib.FMT_BINARY)
for item in items:
    print(sorted(item.keys()), type(item['URL']).__name__, type(item['title']).__name__, type(item['date']).__name__,
          item['URL'], repr(item['title']), item['date'].isoformat())
)", { path });
    EXPECT_EQ(output,
        "['URL', 'date', 'title'] str str datetime http://example.org/ 'Example' 2026-12-08T09:30:00\n"
        "['URL', 'date', 'title'] str str datetime https://www.example.com/a?b=c '' 2026-12-08T09:30:00\n"
        "['URL', 'date', 'title'] str str datetime http://example.net/ 'Bad \xEF\xBF\xBD byte' 2026-12-08T09:30:00\n");

    // An XML file written by another program loads.
    test::runPython(R"(
import plistlib, sys, datetime
d = datetime.datetime(2026, 12, 8, 8, 0)
plistlib.dump([{'URL': 'http://xml.example/', 'title': 'From XML', 'date': d}], open(sys.argv[1], 'wb'), fmt=plistlib.FMT_XML)
)", { path });
    VKWebHistory::resetSharedWebHistoryForTesting();
    auto items = history()->allItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].URL, "http://xml.example/");
    EXPECT_EQ(items[0].title, "From XML");
    EXPECT_EQ(items[0].date, at(2026, 12, 8, 8, 0));
}

TEST_F(VKWebHistoryTest, LoadingDropsOldEntriesThenKeepsTheLastFifty)
{
    clock().setNow(at(2026, 12, 8, 12, 0));
    // In file order: one 15 days old, one exactly 14 days old, then 60
    // recent ones.
    test::runPython(R"(
import plistlib, sys, datetime
now = datetime.datetime(2026, 12, 8, 12, 0)
items = [{'URL': 'http://old.example/', 'title': 'old', 'date': now - datetime.timedelta(days=15)},
         {'URL': 'http://edge.example/', 'title': 'edge', 'date': now - datetime.timedelta(days=14)}]
items += [{'URL': 'http://example.org/%d' % i, 'title': str(i), 'date': now - datetime.timedelta(hours=60 - i)} for i in range(60)]
plistlib.dump(items, open(sys.argv[1], 'wb'), fmt=plistlib.FMT_BINARY)
)", { history()->historyItemsPath() });
    auto items = history()->allItems();
    ASSERT_EQ(items.size(), 50u);
    EXPECT_EQ(items.front().URL, "http://example.org/10");
    EXPECT_EQ(items.back().URL, "http://example.org/59");

    // Only the exactly-14-days entry survives the age limit when few remain.
    test::runPython(R"(
import plistlib, sys, datetime
now = datetime.datetime(2026, 12, 8, 12, 0)
items = [{'URL': 'http://old.example/', 'title': 'old', 'date': now - datetime.timedelta(days=15)},
         {'URL': 'http://edge.example/', 'title': 'edge', 'date': now - datetime.timedelta(days=14)}]
plistlib.dump(items, open(sys.argv[1], 'wb'), fmt=plistlib.FMT_BINARY)
)", { history()->historyItemsPath() });
    VKWebHistory::resetSharedWebHistoryForTesting();
    EXPECT_EQ(addresses(history()->allItems()), std::vector<std::string> { "http://edge.example/" });

    // Between loads the list grows past the limit.
    for (int i = 0; i < 60; ++i)
        history()->addURL(url("http://grow.example/" + std::to_string(i)), "");
    EXPECT_EQ(history()->allItems().size(), 61u);
}

TEST_F(VKWebHistoryTest, AnAddressShowsOncePerDayAtItsLatestVisit)
{
    clock().setNow(at(2026, 12, 8, 9, 0));
    history()->addURL(url("http://a.example/"), "A");
    history()->addURL(url("http://b.example/"), "B");
    clock().setNow(at(2026, 12, 8, 10, 0));
    history()->addURL(url("http://a.example/"), "A again");
    auto items = history()->allItems();
    ASSERT_EQ(addresses(items), (std::vector<std::string> { "http://b.example/", "http://a.example/" }));
    EXPECT_EQ(items[1].title, "A again");
    EXPECT_EQ(items[1].date, at(2026, 12, 8, 10, 0));

    // Visits either side of midnight are two; only today's earlier visit
    // gives way, and only the first (oldest) one.
    history()->removeAllItems();
    clock().setNow(at(2026, 12, 8, 23, 59));
    history()->addURL(url("http://a.example/"), "late");
    clock().setNow(at(2026, 12, 9, 0, 1));
    history()->addURL(url("http://a.example/"), "early");
    EXPECT_EQ(history()->allItems().size(), 2u);
    // The address compares as written: another spelling is another entry.
    history()->addURL(url("http://A.example/"), "upper");
    EXPECT_EQ(history()->allItems().size(), 3u);
}

TEST_F(VKWebHistoryTest, MidnightIsTheDefaultTimeZones)
{
    // 22:30 and 23:30 UTC: one day in UTC, two in Berlin (23:30 and 00:30).
    const core::Date first = core::Date::fromUnixTime(1796599800.0 - 3600);
    const core::Date second = core::Date::fromUnixTime(1796599800.0);
    for (bool berlin : { true, false }) {
        core::TimeZone::setDefaultTimeZoneForTesting(berlin ? *core::TimeZone::named("Europe/Berlin") : core::TimeZone::utc());
        history()->removeAllItems();
        clock().setNow(first);
        history()->addURL(url("http://a.example/"), "first");
        clock().setNow(second);
        history()->addURL(url("http://a.example/"), "second");
        EXPECT_EQ(history()->allItems().size(), berlin ? 2u : 1u) << (berlin ? "Berlin" : "UTC");
    }
}

TEST_F(VKWebHistoryTest, SearchingRemovingAndSorting)
{
    history()->addURL(url("http://example.org/"), "Org");
    history()->addURL(url("http://other.net/EXAMPLE"), "Net");
    history()->addURL(url("http://unrelated.test/"), "");
    EXPECT_EQ(addresses(history()->itemsMatchingURLFragment("EXAMPLE")),
        (std::vector<std::string> { "http://example.org/", "http://other.net/EXAMPLE" }));
    EXPECT_EQ(addresses(history()->itemsMatchingURLFragment("Ple.O")), std::vector<std::string> { "http://example.org/" });
    EXPECT_TRUE(history()->itemsMatchingURLFragment("missing").empty());

    // allItems is a copy.
    auto copy = history()->allItems();
    copy.clear();
    EXPECT_EQ(history()->allItems().size(), 3u);

    // Every equal entry goes, an entry that differs in its date stays.
    auto items = history()->allItems();
    history()->addURL(url("http://x.example/"), "x");
    auto x = history()->allItems().back();
    clock().advance(2 * 86400);
    history()->addURL(url("http://x.example/"), "x");
    history()->removeItem(x);
    EXPECT_EQ(history()->allItems().size(), 4u);
    history()->removeAllItems();
    EXPECT_TRUE(history()->allItems().empty());

    VKWebHistoryItem shortAddress { "http://b.io/", "", {} };
    VKWebHistoryItem sameLength { "http://a.io/", "", {} };
    VKWebHistoryItem longAddress { "http://a.example/", "", {} };
    EXPECT_TRUE(VKWebHistoryCompareItemsByURLLength(shortAddress, longAddress));
    EXPECT_FALSE(VKWebHistoryCompareItemsByURLLength(longAddress, shortAddress));
    EXPECT_TRUE(VKWebHistoryCompareItemsByURLLength(sameLength, shortAddress));
    VKWebHistoryItem older { "x", "", core::Date(100) };
    VKWebHistoryItem newer { "x", "", core::Date(200) };
    EXPECT_TRUE(VKWebHistoryCompareItemsByDateDescending(newer, older));
    EXPECT_FALSE(VKWebHistoryCompareItemsByDateDescending(older, newer));
}

TEST_F(VKWebHistoryTest, ItSavesOnlyWhenTheApplicationLeavesOrRunsShortOfMemory)
{
    std::string path = history()->historyItemsPath();
    for (int i = 0; i < 10; ++i)
        history()->addURL(url("http://example.org/" + std::to_string(i)), "");
    runLoop();
    EXPECT_FALSE(core::fs::exists(path));

    driver.enterBackground();
    EXPECT_TRUE(core::fs::exists(path));
    core::fs::removeItem(path);
    driver.enterForeground();
    driver.terminate();
    EXPECT_TRUE(core::fs::exists(path));

    // A memory warning saves and lets the list go; the next use reads it
    // again with the limits.
    for (int i = 0; i < 60; ++i)
        history()->addURL(url("http://more.example/" + std::to_string(i)), "");
    driver.memoryWarning();
    EXPECT_FALSE(history()->isLoaded());
    EXPECT_EQ(history()->allItems().size(), VKWebHistory::MaximumLoadedItems);
    EXPECT_EQ(history()->allItems().back().URL, "http://more.example/59");

    // A store never used does not write an empty file over a saved one.
    VKWebHistory::resetSharedWebHistoryForTesting();
    std::string before = readFile(path);
    history();
    driver.enterBackground();
    EXPECT_EQ(readFile(path), before);
}

TEST_F(VKWebHistoryTest, AFailedWriteIsLoggedAndKeepsTheList)
{
    history()->addURL(url("http://example.org/"), "kept");
    std::string path = history()->historyItemsPath();
    ASSERT_TRUE(core::fs::createDirectory(path, true));
    history()->applicationWillTerminateOrEnterBackground();
    EXPECT_TRUE(logContains("Warning, failed to serialize web history to: " + path));
    // Not even a memory warning lets an unsaved list go.
    driver.memoryWarning();
    EXPECT_TRUE(history()->isLoaded());
    EXPECT_EQ(history()->allItems().size(), 1u);
    EXPECT_TRUE(core::fs::isDirectory(path));
}

TEST_F(VKWebHistoryTest, ADamagedFileIsMovedAsideAndBadEntriesAreDropped)
{
    clock().setNow(at(2026, 12, 8, 12, 0));
    std::string path = history()->historyItemsPath();
    test::runPython(R"(
import plistlib, sys, datetime
now = datetime.datetime(2026, 12, 8, 11, 0)
data = plistlib.dumps([{'URL': 'http://example.org/%d' % i, 'title': 't', 'date': now} for i in range(20)], fmt=plistlib.FMT_BINARY)
open(sys.argv[1], 'wb').write(data[:len(data) // 2])
)", { path });
    std::string damaged = readFile(path);
    EXPECT_TRUE(history()->allItems().empty());
    EXPECT_FALSE(core::fs::exists(path));
    EXPECT_EQ(readFile(path + ".corrupt"), damaged);
    EXPECT_TRUE(logContains("unreadable file moved aside"));

    // A second damaged file does not replace the first one kept.
    VKWebHistory::resetSharedWebHistoryForTesting();
    makeFile(path.substr(home().size() + 1), "not a property list");
    history()->allItems();
    EXPECT_EQ(readFile(path + ".corrupt"), damaged);
    EXPECT_EQ(readFile(path + ".corrupt-1"), "not a property list");

    // Entries of the wrong shape go, counted in one line; the rest load.
    VKWebHistory::resetSharedWebHistoryForTesting();
    test::runPython(R"(
import plistlib, sys, datetime
now = datetime.datetime(2026, 12, 8, 11, 0)
plistlib.dump([
    {'URL': 'http://good.example/', 'title': 'good', 'date': now},
    'not a dictionary',
    {'URL': 'http://nodate.example/', 'title': 'x'},
    {'URL': 'http://stringdate.example/', 'title': 'x', 'date': '2026-12-08'},
    {'URL': 'http://numbertitle.example/', 'title': 5, 'date': now},
    {'URL': now, 'title': 'date as URL', 'date': now},
    {'URL': 'http://second.example/', 'title': '', 'date': now},
], open(sys.argv[1], 'wb'), fmt=plistlib.FMT_BINARY)
)", { path });
    EXPECT_EQ(addresses(history()->allItems()),
        (std::vector<std::string> { "http://good.example/", "http://second.example/" }));
    EXPECT_TRUE(logContains("VKWebHistory: 5 unusable entries dropped"));
    // A file whose top is not a list is unreadable too.
    VKWebHistory::resetSharedWebHistoryForTesting();
    test::runPython("import plistlib, sys\nplistlib.dump({'URL': 'x'}, open(sys.argv[1], 'wb'))\n", { path });
    EXPECT_TRUE(history()->allItems().empty());
    EXPECT_TRUE(core::fs::exists(path + ".corrupt-2"));
}

} // namespace
