// The folder list's rows on their own, without a screen: what the host
// hears and when, rows kept across reads, edits in place, a search's rows,
// and sizes that move rows.

#include "App/FolderBrowser/VKFolderListing.h"

#include "Downloads/VKDownloadFileResource.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/TestCase.h"

#include <filesystem>

namespace {

using Strings = std::vector<std::string>;

struct ListingHost : VKFolderListing::Host {
    std::optional<VKFolderListing::Query> query;
    bool onTop = true;
    int rebuilds = 0;
    int changes = 0;

    std::optional<VKFolderListing::Query> listingQuery() const override { return query; }
    bool listingIsOnTop() const override { return onTop; }
    void listingDidRebuild() override { ++rebuilds; }
    void listingDidChange() override { ++changes; }
};

class VKFolderListingTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        folder = makeFolder("Library/Documents/List");
        for (const char* name : { "b.txt", "a.txt", "c.txt", ".hidden" })
            makeFile(std::string("Library/Documents/List/") + name, "x");
        listing = std::make_unique<VKFolderListing>(VKFileResource::resourceWithPath(folder), host);
    }

    std::shared_ptr<VKFileResource> item(const std::string& name, std::string_view contents = "x")
    {
        return VKFileResource::resourceWithPath(makeFile("Library/Documents/List/" + name, contents));
    }
    Strings names()
    {
        Strings found;
        for (const auto& resource : listing->resources())
            found.push_back(resource->name());
        return found;
    }

    std::string folder;
    ListingHost host;
    std::unique_ptr<VKFolderListing> listing;
};

TEST_F(VKFolderListingTest, ReadsKeepTheRowsOfNamesThatStayed)
{
    EXPECT_EQ(names(), (Strings { "a.txt", "b.txt", "c.txt" }));
    EXPECT_EQ(host.rebuilds, 1);
    auto kept = listing->resourceAt(1);

    std::filesystem::remove(folder + "/a.txt");
    item("ab.txt");
    listing->rebuild(true);
    EXPECT_EQ(names(), (Strings { "ab.txt", "b.txt", "c.txt" }));
    EXPECT_EQ(listing->resourceAt(1), kept);
    EXPECT_EQ(listing->directoryReadCount(), 2u);
    EXPECT_EQ(listing->indexOf(folder + "/./c.txt"), 2u);
    EXPECT_EQ(listing->indexOf(folder + "/gone.txt"), std::nullopt);
    EXPECT_EQ(listing->resourceAt(3), nullptr);

    // Hidden names come with the setting, and go with it.
    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(true));
    listing->settingDidChange("VKShowHiddenFiles");
    EXPECT_EQ(names(), (Strings { ".hidden", "ab.txt", "b.txt", "c.txt" }));
    EXPECT_EQ(host.changes, 1);
}

TEST_F(VKFolderListingTest, EditsAreMadeInPlaceAndABatchHoldsTheHost)
{
    listing->count();
    listing->add(item("bb.txt"));
    listing->add(item(".secret"));
    EXPECT_EQ(names(), (Strings { "a.txt", "b.txt", "bb.txt", "c.txt" }));
    EXPECT_EQ(host.changes, 1);

    listing->beginUpdates();
    // Another object of the same path still finds the row.
    listing->remove(VKFileResource::resourceWithPath(folder + "/a.txt"));
    listing->replace(listing->resourceAt(0), item("z.txt"));
    listing->endUpdates();
    EXPECT_EQ(host.changes, 1);
    EXPECT_EQ(names(), (Strings { "bb.txt", "c.txt", "z.txt" }));
    EXPECT_EQ(listing->directoryReadCount(), 1u);
}

TEST_F(VKFolderListingTest, ADownloadsRowFollowsItsItemsPath)
{
    // Listed under the address's name, then named by the server's answer:
    // the row moves to its new place and is found by its new path.
    auto download = VKDownloadFileResource::createWithRequest(
        core::URLRequest(core::URL::parse("http://site.test/get/zz").value()), folder);
    listing->count();
    listing->add(download);
    EXPECT_EQ(names(), (Strings { "a.txt", "b.txt", "c.txt", "zz" }));
    download->updatePath(folder + "/bb.pdf");
    EXPECT_EQ(names(), (Strings { "a.txt", "b.txt", "bb.pdf", "c.txt" }));
    EXPECT_EQ(listing->indexOf(folder + "/bb.pdf"), 2u);
    EXPECT_EQ(host.changes, 2);
    // Its folder moved away: the row goes.
    download->updatePath(makeFolder("Library/Documents/Other") + "/bb.pdf");
    EXPECT_EQ(names(), (Strings { "a.txt", "b.txt", "c.txt" }));
    EXPECT_EQ(listing->directoryReadCount(), 1u);
}

TEST_F(VKFolderListingTest, ChangesOnDiskWaitUntilTheListIsOnTop)
{
    listing->count();
    item("d.txt");
    host.onTop = false;
    listing->folderDidChange(true);
    EXPECT_TRUE(listing->isStale());
    EXPECT_EQ(listing->directoryReadCount(), 1u);
    EXPECT_EQ(host.changes, 0);

    host.onTop = true;
    listing->folderDidChange(false);
    EXPECT_EQ(listing->directoryReadCount(), 2u);
    EXPECT_EQ(host.changes, 1);
    EXPECT_EQ(names(), (Strings { "a.txt", "b.txt", "c.txt", "d.txt" }));
}

TEST_F(VKFolderListingTest, ASearchListsItsMatchesUntilItsTextGoes)
{
    VKQuotaManager::defaultManager()->updateQuotaForPath(folder);
    host.query = VKFolderListing::Query { "b", {} };
    listing->rebuild(false);
    EXPECT_TRUE(listing->showsSearchResults());
    EXPECT_EQ(names(), (Strings { "b.txt" }));
    // Deleted as the browser deletes: gone from the disk and the quota tree.
    auto found = listing->resourceAt(0);
    std::filesystem::remove(found->path());
    VKQuotaManager::defaultManager()->updateQuotaForPath(found->path());
    listing->remove(found);
    EXPECT_EQ(listing->count(), 0u);

    host.query.reset();
    listing->rebuild(false);
    EXPECT_FALSE(listing->showsSearchResults());
    // The removal reached the folder's rows too, without a read.
    EXPECT_EQ(names(), (Strings { "a.txt", "c.txt" }));
    EXPECT_EQ(listing->directoryReadCount(), 1u);
}

TEST_F(VKFolderListingTest, AGrownItemMovesInSizeOrderOnly)
{
    core::UserDefaults::standard()->set("VKFileSortOrder", core::Value(3));
    listing->settingDidChange("VKFileSortOrder");
    EXPECT_EQ(listing->sorting().order(), 3);
    item("c.txt", "a larger file");
    EXPECT_TRUE(listing->contentSizeDidChange(folder + "/c.txt"));
    EXPECT_EQ(names().front(), "c.txt");
    EXPECT_FALSE(listing->contentSizeDidChange(folder + "/c.txt")); // already in its place

    listing->drop();
    EXPECT_FALSE(listing->isBuilt());
    EXPECT_FALSE(listing->contentSizeDidChange(folder + "/c.txt"));
    EXPECT_EQ(listing->count(), 3u);
}

TEST_F(VKFolderListingTest, ANameIsTakenOnDiskOrByAListedChildEqualButForCase)
{
    std::filesystem::create_symlink(folder + "/gone", folder + "/Link");
    EXPECT_TRUE(listing->hasChildNamed("Link", false)) << "a dangling link holds its name";
    EXPECT_TRUE(listing->hasChildNamed("a.txt", false));
    EXPECT_FALSE(listing->hasChildNamed("", true));
    // A name the disk holds only in another case (on a case-sensitive disk).
    EXPECT_FALSE(listing->hasChildNamed("A.TXT", false));
    EXPECT_TRUE(listing->hasChildNamed("A.TXT", true));
    EXPECT_FALSE(listing->hasChildNamed("d.txt", true));
}

} // namespace
