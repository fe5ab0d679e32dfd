// What the rows open and the viewers' walks, on a listing alone: no screen
// shows; a host records what it is asked to push and show.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderListing.h"
#include "App/FolderBrowser/VKFolderRowOpener.h"
#include "App/Viewers/VKViewController.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Testing/Driver.h"
#include "Support/FileModel/RecordingDownloadHooks.h"
#include "Support/TestCase.h"

#include <algorithm>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;
using Sheet = VKFolderCommands::Sheet;

struct OpenerHost : VKFolderRowOpener::Host, VKFolderListing::Host {
    bool searching = false;
    Strings calls;
    std::vector<std::shared_ptr<ui::ViewController>> pushed;
    std::shared_ptr<VKActionSheet> sheet;

    bool openerIsSearching() const override { return searching; }
    void openerPush(const std::shared_ptr<ui::ViewController>& screen, const std::optional<std::string>& back) override
    {
        pushed.push_back(screen);
        calls.push_back("push " + back.value_or("-"));
    }
    void openerDeselect() override { calls.push_back("deselect"); }
    void openerShowSheet(VKActionSheet& shown, const std::shared_ptr<VKFileResource>& resource) override
    {
        sheet = std::static_pointer_cast<VKActionSheet>(shown.shared_from_this());
        calls.push_back("sheet " + resource->name());
    }
    void openerItemVanished() override { calls.push_back("vanished"); }
    std::weak_ptr<ui::ActionSheetDelegate> openerSheetDelegate() override { return {}; }
    std::shared_ptr<VKViewerFolderHost> openerViewerHost() override { return nullptr; }
    std::weak_ptr<VKFolderBrowserServices> openerServices() const override { return {}; }
    // The listing reads its folder when asked, never on its own.
    std::optional<VKFolderListing::Query> listingQuery() const override { return std::nullopt; }
    bool listingIsOnTop() const override { return false; }
    void listingDidRebuild() override { }
    void listingDidChange() override { }
};

class VKFolderRowOpenerTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        downloads = test::RecordingDownloadHooks::install();
    }
    void TearDown() override
    {
        ui::AlertView::resetForTesting();
        VKDownloadHooks::setCurrent(nullptr);
        TestCase::TearDown();
    }
    // The listing of a folder under the documents with these items
    // ("name/" a folder).
    void list(const std::string& folder, const Strings& items)
    {
        path = makeFolder("Library/Documents/" + folder);
        for (const auto& item : items) {
            if (item.ends_with('/'))
                makeFolder("Library/Documents/" + folder + "/" + item);
            else
                makeFile("Library/Documents/" + folder + "/" + item, "x");
        }
        listing = std::make_unique<VKFolderListing>(VKFileResource::resourceWithPath(path), host);
        opener = std::make_unique<VKFolderRowOpener>(*listing, host);
    }
    std::shared_ptr<VKFileResource> at(const std::string& name)
    {
        for (const auto& resource : listing->resources())
            if (resource->name() == name)
                return resource;
        return VKFileResource::resourceWithPath(path + "/" + name);
    }
    static std::string name(const std::shared_ptr<VKFileResource>& resource)
    {
        return resource ? resource->name() : "-";
    }

    std::shared_ptr<test::RecordingDownloadHooks> downloads;
    std::string path;
    OpenerHost host;
    std::unique_ptr<VKFolderListing> listing;
    std::unique_ptr<VKFolderRowOpener> opener;
    ui::testing::Driver driver;
};

TEST_F(VKFolderRowOpenerTest, FoldersPushAScreenArchivesAskFilesOpenTheirViewer)
{
    list("Box", { "Sub/", "a.zip", "A.ZIP", "note.txt" });

    opener->open(at("Sub"));
    host.searching = true;
    opener->open(at("Sub"));
    ASSERT_EQ(host.pushed.size(), 2u);
    EXPECT_EQ(host.pushed[0]->title(), "Sub");
    EXPECT_TRUE(std::dynamic_pointer_cast<VKFolderController>(host.pushed[0]));

    opener->open(at("a.zip"));
    ASSERT_TRUE(host.sheet);
    EXPECT_EQ(host.sheet->tag(), vkTag(Sheet::Unzip));
    EXPECT_EQ(host.sheet->title(), "Unzip \"a.zip\"?");
    EXPECT_EQ(host.sheet->cancelButtonIndex(), 1);
    EXPECT_EQ(host.sheet->userInfo().objectAs<VKFileResource>()->name(), "a.zip");

    // The extension test is exact: capitals open a viewer.
    opener->open(at("A.ZIP"));
    opener->open(at("note.txt"));
    ASSERT_EQ(host.pushed.size(), 4u);
    EXPECT_TRUE(std::dynamic_pointer_cast<VKViewController>(host.pushed[2]));
    EXPECT_TRUE(std::dynamic_pointer_cast<VKViewController>(host.pushed[3]));
    EXPECT_EQ(host.calls, (Strings { "push -", "push Search", "sheet a.zip", "deselect", "push Back", "push Back" }));
}

TEST_F(VKFolderRowOpenerTest, DownloadsAndVanishedItemsSaySoAndSheetsOfARow)
{
    list("Box", { "gone.txt", "Full/", "Full/x.txt", "Empty/" });
    auto download = test::FakeDownload::create(path + "/movie.mp4");
    EXPECT_FALSE(opener->canSelect(download));
    EXPECT_EQ(driver.alert()->message(), "Can't view incomplete downloads.");
    ui::AlertView::resetForTesting();
    EXPECT_TRUE(opener->canSelect(at("gone.txt")));

    auto gone = at("gone.txt");
    ASSERT_TRUE(core::fs::removeItem(gone->path()));
    opener->select(gone);
    EXPECT_EQ(driver.alert()->message(), "gone.txt no longer exists");
    EXPECT_EQ(host.calls, (Strings { "vanished" }));
    EXPECT_TRUE(host.pushed.empty());

    // A FIFO or a device is listed, and only says why it does not open.
    ASSERT_EQ(mkfifo((path + "/a_pipe.jpg").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/urandom", (path + "/urandom.jpg").c_str()), 0);
    Strings listed;
    for (const auto& resource : VKFolderListing(VKFileResource::resourceWithPath(path), host).resources())
        listed.push_back(resource->name());
    for (const char* special : { "a_pipe.jpg", "urandom.jpg" }) {
        EXPECT_NE(std::find(listed.begin(), listed.end(), special), listed.end()) << special;
        ui::AlertView::resetForTesting();
        opener->select(VKFileResource::resourceWithPath(path + "/" + special));
        ASSERT_TRUE(driver.alert()) << special;
        EXPECT_EQ(driver.alert()->message(), fmt::format("\"{}\" is not a regular file and cannot be shown.", special));
    }
    EXPECT_EQ(host.calls, (Strings { "vanished", "deselect", "deselect" }));
    EXPECT_TRUE(host.pushed.empty());

    EXPECT_FALSE(opener->askToDeleteFolder(at("Empty")));
    EXPECT_FALSE(opener->askToDeleteFolder(at("Full/x.txt")));
    ASSERT_TRUE(opener->askToDeleteFolder(at("Full")));
    EXPECT_EQ(host.sheet->tag(), vkTag(Sheet::DeleteFolder));
    EXPECT_EQ(host.sheet->title(), "\"Full\" is not empty");
    EXPECT_EQ(host.sheet->destructiveButtonIndex(), 0);

    opener->askOpenOrReveal(at("Full"));
    EXPECT_EQ(host.sheet->tag(), vkTag(Sheet::LongTouch));
    EXPECT_EQ(host.sheet->tagForButtonAtIndex(0), vkTag(VKFolderCommands::EditAction::Open));
    EXPECT_EQ(host.sheet->tagForButtonAtIndex(1), vkTag(VKFolderCommands::EditAction::Reveal));
    EXPECT_EQ(host.sheet->cancelButtonIndex(), 2);
}

TEST_F(VKFolderRowOpenerTest, ViewerWalksSkipWhatTheyCannotShow)
{
    std::string pics = makeFolder("Library/Documents/Pics");
    downloads->addDownload(pics, test::FakeDownload::create(pics + "/d.jpg"));
    ASSERT_EQ(mkfifo((pics + "/b.jpg").c_str(), 0600), 0);
    list("Pics", { "a.jpg", "b.txt", "c/", "e.png", "f.jpg" });
    std::optional<std::string> images = "image/";

    EXPECT_EQ(name(opener->step(at("a.jpg"), 1, images)), "e.png");
    EXPECT_EQ(name(opener->step(at("a.jpg"), 1, std::nullopt)), "b.txt");
    EXPECT_EQ(name(opener->step(at("f.jpg"), 1, images)), "-");
    EXPECT_EQ(name(opener->step(at("e.png"), -1, images)), "a.jpg");
    EXPECT_EQ(name(opener->step(at("a.jpg"), -1, images)), "-");
    EXPECT_EQ(name(opener->step(VKFileResource::resourceWithPath(path), 1, images)), "-");
    Strings png { "public.png" };
    EXPECT_EQ(name(opener->step(at("b.txt"), 1, png)), "f.jpg");
    EXPECT_EQ(name(opener->step(at("f.jpg"), -1, png)), "b.txt");
    EXPECT_EQ(name(opener->firstViewable({ "public.jpeg" })), "b.txt");
    Strings all;
    for (auto& item : opener->viewable(images))
        all.push_back(item->name());
    EXPECT_EQ(all, (Strings { "a.jpg", "e.png", "f.jpg" }));
}

} // namespace
