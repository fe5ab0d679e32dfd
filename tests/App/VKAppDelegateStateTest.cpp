// The application delegate's stack: opening a stored path under the root
// list (reusing what matches, a viewer for a file, guest and cloud roots,
// paths it must refuse).

#include "App/VKAppDelegate.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKRootFolderController.h"
#include "Shell/VKApplication.h"
#include "App/Viewers/VKViewController.h"
#include "FolderBrowser/RootFolderTestCase.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"

#include <gtest/gtest.h>

namespace {

class VKAppDelegateStateTest : public test::RootFolderTestCase {
protected:
    void SetUp() override
    {
        RootFolderTestCase::SetUp();
        root = std::dynamic_pointer_cast<VKRootFolderController>(delegate->stack().createRootViewController());
        ASSERT_TRUE(root);
        navigation = VKNavigationController::create(root);
        delegate->setNavigationController(navigation);
        window().setRootViewController(navigation);
        runLoop();
    }

    // What each screen of the stack shows: "root" for the root list, the
    // path below the home for folders and viewers.
    std::vector<std::string> stack() const
    {
        const auto home = VKApplication::sharedApplication()->homeDirectory() + "/";
        std::vector<std::string> shown;
        for (const auto& screen : navigation->viewControllers()) {
            std::string path;
            if (auto folder = std::dynamic_pointer_cast<VKFolderController>(screen))
                path = folder->resource()->path();
            else if (auto viewer = std::dynamic_pointer_cast<VKViewController>(screen))
                path = "viewer " + viewer->resource()->path();
            else if (std::dynamic_pointer_cast<VKRootFolderController>(screen))
                path = "root";
            auto at = path.find(home);
            if (at != std::string::npos)
                path.erase(at, home.size());
            shown.push_back(path);
        }
        return shown;
    }
    using Stack = std::vector<std::string>;

    std::shared_ptr<VKRootFolderController> root;
};

TEST_F(VKAppDelegateStateTest, OpensAFolderAsOneScreenPerLevelUnderTheRootList)
{
    makeDocument("Projects/Garden/");
    delegate->stack().pushViewControllersForPath(documents("Projects/Garden"), false);
    EXPECT_EQ(stack(), (Stack { "root", "Library/Documents", "Library/Documents/Projects", "Library/Documents/Projects/Garden" }));
    EXPECT_EQ(navigation->viewControllers().front(), root);

    makeFolder(publicFolder("Shared"));
    delegate->stack().pushViewControllersForPath(publicFolder("Shared"), false);
    EXPECT_EQ(stack(), (Stack { "root", "Documents", "Documents/Shared" }));
    EXPECT_EQ(navigation->viewControllers().front(), root);
}

TEST_F(VKAppDelegateStateTest, TheTopsOwnPathChangesNothing)
{
    makeDocument("Projects/");
    delegate->stack().pushViewControllersForPath(documents("Projects"), false);
    const auto before = navigation->viewControllers();
    delegate->stack().pushViewControllersForPath(documents("Projects") + "/", false);
    delegate->stack().pushViewControllersForPath(documents("Projects/../Projects"), false);
    EXPECT_EQ(navigation->viewControllers(), before);
}

TEST_F(VKAppDelegateStateTest, ReusesTheScreensThatMatchBelowTheRootsParent)
{
    makeDocument("A/B/");
    makeDocument("A/C/");
    const auto library = core::path::deletingLastPathComponent(documents());
    auto parent = VKFolderController::folderControllerWithResource(resource(library), delegate);
    auto documentsScreen = VKFolderController::folderControllerWithResource(resource(documents()), delegate);
    auto a = VKFolderController::folderControllerWithResource(resource(documents("A")), delegate);
    auto b = VKFolderController::folderControllerWithResource(resource(documents("A/B")), delegate);
    navigation->setViewControllers({ root, parent, documentsScreen, a, b }, false);

    delegate->stack().pushViewControllersForPath(documents("A/C"), false);
    const auto& screens = navigation->viewControllers();
    ASSERT_EQ(screens.size(), 5u);
    EXPECT_EQ(screens[0], root);
    EXPECT_EQ(screens[1], parent);
    EXPECT_EQ(screens[2], documentsScreen);
    EXPECT_EQ(screens[3], a);
    EXPECT_NE(screens[4], b);
    EXPECT_EQ(stack().back(), "Library/Documents/A/C");

    // Without the parent first, nothing above the root list is reused.
    navigation->setViewControllers({ root, documentsScreen, a }, false);
    delegate->stack().pushViewControllersForPath(documents("A/B"), false);
    ASSERT_EQ(navigation->viewControllers().size(), 4u);
    EXPECT_EQ(navigation->viewControllers()[0], root);
    EXPECT_NE(navigation->viewControllers()[1], documentsScreen);
    EXPECT_NE(navigation->viewControllers()[2], a);
}

TEST_F(VKAppDelegateStateTest, AFileEndsInItsViewerOnlyWhenTheLastDocumentIsKept)
{
    makeDocument("Notes/plan.txt", "plan");
    auto defaults = core::UserDefaults::standard();
    defaults->set("VKLastKnownDocumentEnabled", core::Value(false));
    delegate->stack().pushViewControllersForPath(documents("Notes/plan.txt"), false);
    EXPECT_EQ(stack(), (Stack { "root", "Library/Documents", "Library/Documents/Notes" }));
    EXPECT_FALSE(delegate->stack().contentViewController());

    defaults->set("VKLastKnownDocumentEnabled", core::Value(true));
    delegate->stack().pushViewControllersForPath(documents("Notes/plan.txt"), false);
    EXPECT_EQ(stack().back(), "viewer Library/Documents/Notes/plan.txt");
    ASSERT_TRUE(delegate->stack().contentViewController());
    // Shown already: nothing changes.
    auto viewer = delegate->stack().contentViewController();
    delegate->stack().pushViewControllersForPath(documents("Notes/plan.txt"), false);
    EXPECT_EQ(delegate->stack().contentViewController(), viewer);
}

TEST_F(VKAppDelegateStateTest, PathsOutsideTheDocumentFoldersLeaveTheStackAlone)
{
    makeDocument("Projects/");
    delegate->stack().pushViewControllersForPath(documents("Projects"), false);
    const auto before = navigation->viewControllers();
    const auto home = VKApplication::sharedApplication()->homeDirectory();
    // Siblings whose names only begin like a root's are outside it.
    for (const auto& outside : { documents() + "-old", publicFolder() + "-2", home + "/Library" }) {
        ASSERT_TRUE(core::fs::createDirectory(outside, true)) << outside;
        delegate->stack().pushViewControllersForPath(outside, false);
        EXPECT_EQ(navigation->viewControllers(), before) << outside;
    }
    delegate->stack().pushViewControllersForPath(documents("Missing"), false);
    EXPECT_TRUE(logContains("Warning, invalid resource for: " + documents("Missing")));
    delegate->stack().pushViewControllersForPath("", false);
    delegate->stack().pushViewControllersForPath("Projects", false);
    EXPECT_EQ(navigation->viewControllers(), before);
}

TEST_F(VKAppDelegateStateTest, CloudPathsOpenUnderTheirServiceOnlyWhenLinked)
{
    auto linked = installService("Linked", true);
    auto unlinked = installService("Unlinked", false);
    const auto folder = makeCloudFolder(*linked, "Photos/2024");
    const auto other = makeCloudFolder(*unlinked, "Music");

    delegate->stack().pushViewControllersForPath(folder, false);
    auto shown = stack();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "root");
    EXPECT_TRUE(shown[1].ends_with("/Linked")) << shown[1];
    EXPECT_TRUE(shown[3].ends_with("/Linked/Photos/2024")) << shown[3];

    const auto before = navigation->viewControllers();
    delegate->stack().pushViewControllersForPath(other, false);
    EXPECT_EQ(navigation->viewControllers(), before);
}

TEST_F(VKAppDelegateStateTest, AGuestOpensThePublicFolderAndNothingBesideIt)
{
    delegate->setGuestModeForTesting(true);
    auto guestRoot = std::dynamic_pointer_cast<VKFolderController>(delegate->stack().createRootViewController());
    ASSERT_TRUE(guestRoot);
    EXPECT_EQ(core::path::standardizingPath(guestRoot->resource()->path()),
        core::path::standardizingPath(publicFolder()));
    navigation->setViewControllers({ guestRoot }, false);

    makeFolder(publicFolder("Shared/Deep"));
    delegate->stack().pushViewControllersForPath(publicFolder("Shared/Deep"), false);
    EXPECT_EQ(stack(), (Stack { "Documents", "Documents/Shared", "Documents/Shared/Deep" }));

    makeDocument("Private/");
    const auto before = navigation->viewControllers();
    delegate->stack().pushViewControllersForPath(documents("Private"), false);
    EXPECT_EQ(navigation->viewControllers(), before);
}

TEST_F(VKAppDelegateStateTest, ACloudItemOnTopGoesWhenItsServiceIsUnlinkedOrHidden)
{
    auto service = installService("Linked", true);
    const auto folder = makeCloudFolder(*service, "Photos");
    makeDocument("Local/");
    delegate->stack().pushViewControllersForPath(documents("Local"), false);
    delegate->popCloudServiceControllersIfNecessary();
    EXPECT_EQ(navigation->viewControllers().size(), 3u);

    delegate->stack().pushViewControllersForPath(folder, false);
    ASSERT_EQ(navigation->viewControllers().size(), 3u);
    delegate->popCloudServiceControllersIfNecessary();
    EXPECT_EQ(navigation->viewControllers().size(), 3u);

    core::UserDefaults::standard()->set("VKHideCloudServers", core::Value(true));
    delegate->popCloudServiceControllersIfNecessary();
    runLoop();
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    core::UserDefaults::standard()->set("VKHideCloudServers", core::Value(false));

    delegate->stack().pushViewControllersForPath(folder, false);
    ASSERT_EQ(navigation->viewControllers().size(), 3u);
    service->setLinked(false);
    delegate->popCloudServiceControllersIfNecessary();
    runLoop();
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
}

} // namespace
