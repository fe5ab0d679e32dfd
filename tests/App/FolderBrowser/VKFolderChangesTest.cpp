// What changes a folder screen's rows from outside, without a screen: the
// news of the folder, of a child and of the screen's own doing, the quota
// tree's sizes with and without a search, the settings, and the collapsed
// updates; a host that went is told nothing.

#include "App/FolderBrowser/VKFolderChanges.h"

#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/UITestCase.h"
#include "WebDAV/WebDAVResponse.h"

namespace {

struct ChangesHost : VKFolderChanges::Host {
    std::vector<std::string> calls;
    bool onTop = true;
    std::optional<std::string> search;
    bool everywhere = false;
    void changesFolderChanged(bool burst) override { calls.push_back(burst ? "folder burst" : "folder"); }
    bool changesScreenIsOnTop() const override { return onTop; }
    void changesReloadTable() override { calls.push_back("reload"); }
    std::optional<std::string> changesSearchText() const override { return search; }
    bool changesSearchesEverywhere() const override { return everywhere; }
    void changesSearchMayFindMore() override { calls.push_back("search"); }
    void changesContentSizeChanged(const std::string& path) override { calls.push_back("size " + path); }
    void changesSettingChanged(const std::string& key) override { calls.push_back(key); }
    void changesUpdateModel() override { calls.push_back("update"); }
};

class VKFolderChangesTest : public test::UITestCase {
protected:
    std::vector<std::string> takeCalls() { return std::exchange(host->calls, {}); }
    static void postWebDAV(const std::string& path)
    {
        core::NotificationCenter::defaultCenter().post(WebDAVCollectionDidUpdateNotification, nullptr, { path, "" });
    }

    static void postBrowser(const std::string& path, std::shared_ptr<core::Object> sender = nullptr)
    {
        core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, std::move(sender),
            { path });
    }
    static void postQuota(const std::string& path)
    {
        core::NotificationCenter::defaultCenter().post(VKQuotaManagerDidUpdateQuotaNotification, nullptr, { path });
    }

    const std::string folder = "/store/Docs";
    std::shared_ptr<ChangesHost> host = std::make_shared<ChangesHost>();
    std::shared_ptr<core::Object> screen = std::make_shared<core::Object>();
    VKFolderChanges changes { folder };
};

using Calls = std::vector<std::string>;

TEST_F(VKFolderChangesTest, NewsOfTheFolderAndItsChildren)
{
    changes.follow(host, screen.get());
    postBrowser(folder);
    postWebDAV(folder + "/");
    changes.folderDidUpdate(folder, false); // a cloud folder's news
    EXPECT_EQ(takeCalls(), (Calls { "folder", "folder burst", "folder" }));
    // The screen's own news, another folder's, and no path: nothing.
    postBrowser(folder, screen);
    postBrowser("/store/Other");
    postWebDAV(folder + "/a/b.txt");
    postWebDAV("");
    EXPECT_EQ(takeCalls(), Calls {});

    // A child: the table reloads at once, or once after a burst, and only
    // on top.
    postBrowser(folder + "/a.txt");
    EXPECT_EQ(takeCalls(), Calls { "reload" });
    postWebDAV(folder + "/a.txt");
    postWebDAV(folder + "/b.txt");
    EXPECT_EQ(takeCalls(), Calls {});
    advance(0.5);
    EXPECT_EQ(takeCalls(), Calls { "reload" });
    host->onTop = false;
    postBrowser(folder + "/a.txt");
    EXPECT_EQ(takeCalls(), Calls {});
}

TEST_F(VKFolderChangesTest, SizesSearchesAndSettings)
{
    changes.follow(host, screen.get());
    postQuota(folder + "/a/b.txt");
    postQuota("/store/Other/b.txt");
    EXPECT_EQ(takeCalls(), Calls { "size " + folder + "/a/b.txt" });
    // While searching, what the tree learns may find more: in the folder,
    // or anywhere for a search of both trees; an empty text is no search.
    host->search = "b";
    postQuota("/store/Other/b.txt");
    postQuota(folder + "/b.txt");
    host->everywhere = true;
    postQuota("/store/Other/b.txt");
    EXPECT_EQ(takeCalls(), (Calls { "search", "search" }));
    host->search = "";
    postQuota(folder + "/b.txt");
    EXPECT_EQ(takeCalls(), Calls { "size " + folder + "/b.txt" });

    auto defaults = core::UserDefaults::standard();
    defaults->set("VKDisplayFileExtensions", core::Value(!defaults->boolForKey("VKDisplayFileExtensions")));
    EXPECT_EQ(takeCalls(), Calls {}) << "followed on the next pass";
    runLoop();
    EXPECT_EQ(takeCalls(), Calls { "VKDisplayFileExtensions" });
}

TEST_F(VKFolderChangesTest, UpdatesCollapseAndAHostThatWentHearsNothing)
{
    changes.follow(host, screen.get());
    changes.scheduleModelUpdate(0.3);
    advance(0.2);
    changes.scheduleModelUpdate(0.3);
    advance(0.2);
    EXPECT_EQ(takeCalls(), Calls {});
    advance(0.2);
    EXPECT_EQ(takeCalls(), Calls { "update" });
    changes.scheduleModelUpdate(0.3);
    changes.cancelModelUpdate();
    advance(1);
    EXPECT_EQ(takeCalls(), Calls {});

    changes.scheduleModelUpdate(0.3);
    postWebDAV(folder + "/a.txt");
    host.reset();
    advance(1);
    postWebDAV(folder);
    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(true));
    runLoop();
}

} // namespace
