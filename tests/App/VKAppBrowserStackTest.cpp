#include "App/VKAppBrowserStack.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKRootFolderController.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/FakeFolderBrowserServices.h"
#include "Support/UITestCase.h"

namespace {

class VKAppBrowserStackTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        stack.setServices(services);
        resetNavigation();
    }
    void TearDown() override
    {
        stack.setNavigationController(nullptr);
        navigation.reset();
        UITestCase::TearDown();
    }
    void resetNavigation()
    {
        navigation = VKNavigationController::create(stack.createRootViewController());
        stack.setNavigationController(navigation);
    }
    // The folders the stack's screens show, bottom first; "root" for the
    // root list.
    std::vector<std::string> shown() const
    {
        std::vector<std::string> paths;
        for (const auto& screen : navigation->viewControllers()) {
            auto folder = std::dynamic_pointer_cast<VKFolderController>(screen);
            paths.push_back(folder ? folder->resource()->path() : "root");
        }
        return paths;
    }
    std::string documents(const std::string& relative) const
    {
        return VKApplication::sharedApplication()->documentsDirectory() + "/" + relative;
    }

    std::shared_ptr<test::FakeFolderBrowserServices> services = std::make_shared<test::FakeFolderBrowserServices>();
    VKAppBrowserStack stack;
    std::shared_ptr<VKNavigationController> navigation;
};

TEST_F(VKAppBrowserStackTest, TheKeptStackComesBackOnceInItsFormat)
{
    ASSERT_TRUE(core::fs::createDirectory(documents("A/B"), true));
    stack.pushViewControllersForPath(documents("A/B"), false);
    const auto before = shown();
    ASSERT_EQ(before.size(), 4u);
    EXPECT_EQ(before.front(), "root");
    EXPECT_EQ(stack.folderControllers().size(), 3u);

    stack.store();
    auto defaults = core::UserDefaults::standard();
    EXPECT_EQ(defaults->object("VKStatePathKey").toString(), core::path::abbreviatingWithTildeInPath(documents("A/B")));
    const auto states = defaults->object("VKStateArrayKey");
    ASSERT_TRUE(states.isArray());
    ASSERT_EQ(states.array().size(), 3u) << "one entry per folder screen, none for the root list";
    for (const auto& state : states.array())
        EXPECT_TRUE(state.isDictionary());

    resetNavigation();
    stack.restore();
    EXPECT_EQ(shown(), before);
    EXPECT_TRUE(defaults->object("VKStatePathKey").isNull());
    EXPECT_TRUE(defaults->object("VKStateArrayKey").isNull());
    // Given back once: a second restore changes nothing.
    resetNavigation();
    stack.restore();
    EXPECT_EQ(shown(), std::vector<std::string> { "root" });
}

TEST_F(VKAppBrowserStackTest, AGuestKeepsNothingAndSeesThePublicFolderAlone)
{
    ASSERT_TRUE(core::fs::createDirectory(documents("A"), true));
    services->guest = true;
    resetNavigation();
    const auto publicFolder = VKApplication::sharedApplication()->publicDirectory();
    ASSERT_EQ(stack.folderControllers().size(), 1u);
    EXPECT_EQ(stack.folderControllers().front()->resource()->path(), publicFolder);
    stack.pushViewControllersForPath(documents("A"), false);
    EXPECT_EQ(shown(), std::vector<std::string> { publicFolder });
    stack.store();
    EXPECT_TRUE(core::UserDefaults::standard()->object("VKStateArrayKey").isNull());

    // A guest's folder screens replace the whole stack.
    auto screen = VKFolderController::folderControllerWithResource(
        VKFileResource::resourceWithPath(publicFolder), services);
    stack.setFolderControllers({ screen });
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
}

} // namespace
