// The text viewer on files of the cloud account (the fake cloud service):
// the text shows once fetched, and the fetch's screens as a person sees them
// (build/screens/cloud/): the spinner, "Loading 5 MB" at 40 %, the text,
// "Download Failed"; the Loading screen (tablet, landscape) against a golden.

#include "TextViewerTestCase.h"

#include "Shell/Interface/VKPlaceholderView.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Window.h"
#include "Support/DropboxSDK/CloudDocsAccount.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Viewers/Text/VKTextView.h"

#include <fmt/format.h>

#include <filesystem>

namespace test {
namespace {

class TextCloudTest : public TextViewerTestCase {
protected:
    void SetUp() override
    {
        TextViewerTestCase::SetUp();
        account.start();
        // The one-time paging help would cover the text.
        core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureInfoShownKey, core::Value(true));
    }
    void TearDown() override
    {
        TextViewerTestCase::TearDown();
        account.stop();
    }
    std::shared_ptr<VKTextViewController> openCloudText(const std::string& cloudPath)
    {
        auto viewer = VKTextViewController::create(account.resource(cloudPath), host);
        navigation->pushViewController(viewer, false);
        runLoop();
        return viewer;
    }
    static bool showsProgress(VKViewController& viewer) { return !viewer.placeholderView()->isProgressViewHidden(); }
    static std::string label(VKViewController& viewer)
    {
        auto* shown = viewer.placeholderView()->label();
        return shown ? shown->text() : "<none>";
    }
    void close()
    {
        navigation->popToRootViewController(false);
        runLoop();
    }

    CloudDocsAccount account;
};

TEST_F(TextCloudTest, TheTextShowsOnceFetchedAndAWholeCopyOpensWithoutARequest)
{
    auto viewer = openCloudText("/notes.txt");
    EXPECT_FALSE(viewer->contentView());
    ASSERT_TRUE(CloudDocsAccount::waitFor([&] { return viewer->contentView() != nullptr; })) << account.server->errors();
    waitForLoad(*viewer);
    ASSERT_TRUE(viewer->textView());
    EXPECT_EQ(viewer->textView()->text(), "Shopping: bread, milk.\n");
    close();

    const size_t requests = account.server->requests().size();
    viewer = openCloudText("/notes.txt");
    waitForLoad(*viewer);
    EXPECT_EQ(viewer->textView()->text(), "Shopping: bread, milk.\n");
    EXPECT_EQ(account.server->requests().size(), requests);
    close();

    // Five MiB: the large text arrives whole, fetched once.
    viewer = openCloudText("/Docs/a.txt");
    ASSERT_TRUE(CloudDocsAccount::waitFor([&] { return viewer->contentView() != nullptr; })) << account.server->errors();
    waitForLoad(*viewer);
    ASSERT_TRUE(viewer->textView() && viewer->textView()->textStorage());
    EXPECT_EQ(account.fileRequests(), (std::vector<std::string> { "/notes.txt", "/Docs/a.txt" }));
    EXPECT_EQ(std::filesystem::file_size(account.resource("/Docs/a.txt")->path()), CloudDocsAccount::BigFileSize);
}

class TextCloudScreensTest : public TextCloudTest {
protected:
    void SetUp() override
    {
        TextCloudTest::SetUp();
        showFileList(true);
    }
    void shoot(const test::DeviceScreen& device, const std::string& name)
    {
        runLoop();
        std::string side = application().statusBarOrientation() == ui::Orientation::Portrait ? "portrait" : "landscape";
        test::saveScreen(driver, sourcePath("build/screens/cloud"), fmt::format("viewer-{}-{}-{}", name, device.name, side),
            device.scale);
    }
    void turn(ui::Orientation orientation)
    {
        if (application().statusBarOrientation() == orientation)
            return;
        ASSERT_TRUE(driver.rotate(orientation));
        advance(1);
    }
    // a.txt behind the spinner, then at 40 %, where the fake holds it until
    // releaseFile(). A released stall stays released on the fake: each
    // opening holds on stalls of its own.
    std::shared_ptr<VKTextViewController> openHeldAtFortyPercent(const std::function<void()>& atSpinner = {})
    {
        ++held;
        account.server->addFault(
            fmt::format(R"({{"endpoint":"metadata","path":"/Docs/a.txt","stall":"m{}"}})", held));
        account.server->addFault(fmt::format(
            R"({{"endpoint":"files","path":"/Docs/a.txt","stall":"f{}","stall_after":2097152}})", held));
        auto viewer = openCloudText("/Docs/a.txt");
        advance(0.3);
        EXPECT_TRUE(viewer->activityIndicator() && viewer->activityIndicator()->isAnimating());
        if (atSpinner)
            atSpinner();
        account.server->release(fmt::format("m{}", held));
        EXPECT_TRUE(CloudDocsAccount::waitFor([&] {
            return showsProgress(*viewer) && viewer->placeholderView()->progressView()->progress() >= 0.399f;
        })) << account.server->errors();
        runLoop();
        return viewer;
    }
    void releaseFile() { account.server->release(fmt::format("f{}", held)); }
    void shootAll(const test::DeviceScreen& device)
    {
        gfx::setTextEngine(gfx::makePangoTextEngine());
        test::useDeviceScreen(window(), device);
        runLoop();
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            turn(orientation);
            auto viewer = openHeldAtFortyPercent([&] { shoot(device, "spinner"); });
            EXPECT_EQ(label(*viewer), "Loading 5 MB");
            shoot(device, "loading");
            releaseFile();
            ASSERT_TRUE(CloudDocsAccount::waitFor([&] { return viewer->contentView() != nullptr; }));
            waitForLoad(*viewer);
            advance(1);
            EXPECT_FALSE(showsProgress(*viewer));
            shoot(device, "text");
            close();
            // The next round fetches it again.
            std::filesystem::remove(account.resource("/Docs/a.txt")->path());

            account.server->addFault(R"({"endpoint":"files","path":"/Docs/empty.txt","close_before_head":true,"always":true})");
            viewer = openCloudText("/Docs/empty.txt");
            ASSERT_TRUE(CloudDocsAccount::waitFor([&] { return label(*viewer) == "Download Failed"; }));
            advance(1);
            shoot(device, "failed");
            close();
        }
        turn(ui::Orientation::Portrait);
    }

    int held = 0;
};

TEST_F(TextCloudScreensTest, Phone)
{
    shootAll(test::phoneScreen);
}

TEST_F(TextCloudScreensTest, Tablet)
{
    shootAll(test::tabletScreen);
}

TEST_F(TextCloudScreensTest, LoadingGolden)
{
    test::useDeviceScreen(window(), test::tabletScreen);
    runLoop();
    turn(ui::Orientation::LandscapeLeft);
    auto viewer = openHeldAtFortyPercent();
    auto picture = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "cloud-viewer-loading-tablet-landscape"));
    releaseFile();
    ASSERT_TRUE(CloudDocsAccount::waitFor([&] { return viewer->contentView() != nullptr; }));
    waitForLoad(*viewer);
    close();
    turn(ui::Orientation::Portrait);
}

} // namespace
} // namespace test
