// The text viewer's screens with real text at phone and tablet size, both
// ways up, for a person to look at (build/screens/text/), and goldens of
// the log, the viewer's chooser and the settings form.

#include "TextViewerTestCase.h"

#include "App/Settings/VKTextEncodingsController.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Viewers/Text/VKTextFile.h"
#include "Viewers/Text/VKTextView.h"

#include <fmt/format.h>

#include <condition_variable>
#include <mutex>

namespace {

// A server log; `links` puts an address in every fifth line.
std::string logText(int lines, bool links = false)
{
    std::string text;
    const char* messages[] = { "GET /index.html HTTP/1.1 200 5120", "connection from 192.168.1.20 accepted",
        "cache miss for /images/logo.png, fetching from the origin server", "worker 3 finished job 1182 in 42 ms",
        "WARNING disk usage above 80 % on /var", "request body of 14 kB parsed" };
    for (int i = 0; i < lines; ++i) {
        std::string_view message = messages[i % std::size(messages)];
        std::string linked;
        if (links && i % 5 == 2)
            message = linked = fmt::format("status page https://status.example.com/jobs/{} (see www.example.org)", i);
        text += fmt::format("2026-12-08 {:02}:{:02}:{:02} [{}] {}\n", (2 + i / 3600) % 24, i / 60 % 60, i % 60,
            i % 7 == 3 ? "warn" : "info", message);
    }
    return text;
}

const std::string cyrillic = "Съешь же ещё этих мягких французских булок, да выпей чаю.\n"
                             "В чащах юга жил бы цитрус? Да, но фальшивый экземпляр!\n"
                             "Эх, чужак, общий съём цен шляп (юфть) — вдрызг!\n";

// The browser's list under the viewers, turning with them.
class TextScreensTest : public test::TextViewerTestCase {
protected:
    void SetUp() override
    {
        TextViewerTestCase::SetUp();
        showFileList(true);
    }
    void use(const test::DeviceScreen& device)
    {
        m_device = device;
        // The one-time paging help would cover the text.
        core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureInfoShownKey, core::Value(true));
        test::useDeviceScreen(window(), device);
        runLoop();
    }
    void shoot(const std::string& name)
    {
        runLoop();
        std::string side = application().statusBarOrientation() == ui::Orientation::Portrait ? "portrait" : "landscape";
        test::saveScreen(driver, sourcePath("build/screens/text"), fmt::format("{}-{}-{}", name, m_device.name, side),
            m_device.scale);
    }
    void pop()
    {
        navigation->popToRootViewController(false);
        runLoop();
    }
    void shootAll(const test::DeviceScreen& device);
    // The chooser the viewer presented, checking `encoding`; null when none.
    VKTextEncodingsController* presentedChooserChecking(const std::string& encoding)
    {
        auto* presented = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
        auto* chooser = presented ? dynamic_cast<VKTextEncodingsController*>(presented->visibleViewController()) : nullptr;
        if (chooser) {
            chooser->setDefaultTextEncoding(encoding);
            chooser->tableView().reloadData();
        }
        return chooser;
    }

    test::DeviceScreen m_device = test::phoneScreen;
};

void TextScreensTest::shootAll(const test::DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    use(device);
    core::UserDefaults::standard()->set("VKTextEncodings",
        core::Value(core::Value::Array { core::Value("UTF-8"), core::Value("KOI8-R"), core::Value("WINDOWS-1251") }));
    makeFile("Files/server.log", logText(400));
    makeFile("Files/russian.txt", *core::TextConverter::convertText(cyrillic, "UTF-8", "WINDOWS-1251"));
    makeFile("Files/picture.txt", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe\x80", 20));
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        auto viewer = openText("server.log", "");
        advance(1);
        shoot("log");
        viewer->scrollToNormalisedOffset({ 0, 0.5f }, false, false);
        viewer->setUIHidden(true, false);
        advance(0.2);
        shoot("log-hidden");
        viewer->setUIHidden(false, false);
        advance(0.2);
        // "Go" lies over the size buttons, whole.
        viewer->showGotoPageController();
        advance(1);
        shoot("go-to-page");
        viewer->removeGotoSearchBar();
        advance(1);

        viewer->showDocumentActionSheet(nullptr);
        advance(1);
        shoot("sheet");
        driver.pressSheetButton("Change Text Encoding");
        advance(1);
        auto* chooser = presentedChooserChecking("KOI8-R");
        ASSERT_TRUE(chooser);
        shoot("chooser");
        driver.tapBarItem(*chooser->navigationItem().rightBarButtonItem());
        advance(1);

        viewer->updateTextViewFont(gfx::Font::fontWithName("Helvetica", 9));
        advance(0.2);
        shoot("size-9");
        viewer->updateTextViewFont(gfx::Font::fontWithName("Helvetica", 40));
        advance(0.2);
        shoot("size-40");
        pop();

        openText("russian.txt", "");
        shoot("cyrillic");
        pop();

        // KOI8-R takes any bytes: without it a picture is not text.
        core::UserDefaults::standard()->set("VKTextEncodings", core::Value(core::Value::Array { core::Value("UTF-8") }));
        openText("picture.txt", "");
        shoot("alert");
        driver.pressAlertButton(0);
        advance(1);
        pop();
        core::UserDefaults::standard()->set("VKTextEncodings",
            core::Value(core::Value::Array { core::Value("UTF-8"), core::Value("KOI8-R"), core::Value("WINDOWS-1251") }));

        // The first screen while the rest loads.
        std::mutex mutex;
        std::condition_variable changed;
        bool held = false, released = false;
        VKTextFile::setChunkHookForTesting([&](const std::string&, size_t chunk) {
            if (chunk != 1)
                return;
            std::unique_lock lock(mutex);
            held = true;
            changed.notify_all();
            changed.wait(lock, [&] { return released; });
        });
        std::string big = "loading-" + std::to_string(int(orientation)) + ".log";
        auto loading = openText(big, logText(40000, true), false);
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return held; });
        }
        runLoop();
        shoot("loading");
        {
            std::lock_guard lock(mutex);
            released = true;
        }
        changed.notify_all();
        waitForLoad(*loading);
        VKTextFile::setChunkHookForTesting({});
        // Counted whole: the middle of a few MiB, and its end.
        loading->scrollToNormalisedOffset({ 0, 0.5f }, false, false);
        advance(0.2);
        shoot("large-middle");
        loading->setUIHidden(true, false);
        loading->scrollToNormalisedOffset({ 0, 1 }, false, false);
        advance(0.2);
        shoot("large-end-hidden");
        loading->setUIHidden(false, false);
        advance(0.2);
        pop();

        // The settings form, editing.
        auto form = VKTextEncodingsController::defaultTextEncodingsController();
        navigation->pushViewController(form, false);
        advance(1);
        form->setEditing(true, false);
        advance(1);
        shoot("settings-editing");
        form->setEditing(false, false);
        pop();
    }
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

TEST_F(TextScreensTest, Phone)
{
    shootAll(test::phoneScreen);
}

TEST_F(TextScreensTest, Tablet)
{
    shootAll(test::tabletScreen);
}

// In the deterministic text engine, against goldens.
TEST_F(TextScreensTest, Goldens)
{
    auto expectGolden = [&](const std::string& name) {
        runLoop();
        auto picture = ui::Renderer::renderScreenImage();
        ASSERT_TRUE(picture);
        EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), name));
    };
    use(test::phoneScreen);
    core::UserDefaults::standard()->set("VKTextEncodings",
        core::Value(core::Value::Array { core::Value("UTF-8"), core::Value("KOI8-R"), core::Value("WINDOWS-1251") }));
    auto viewer = openText("server.log", logText(200));
    advance(1);
    expectGolden("text-log-phone-portrait");
    viewer->showChangeTextEncoding();
    advance(1);
    auto* chooser = presentedChooserChecking("KOI8-R");
    ASSERT_TRUE(chooser);
    expectGolden("text-chooser-phone-portrait");
    chooser->cancel();
    advance(1);
    pop();

    // Large text, counted on the worker, shown from its middle.
    auto large = openText("large.log", logText(40000, true));
    large->scrollToNormalisedOffset({ 0, 0.5f }, false, false);
    advance(0.2);
    expectGolden("text-large-middle-phone-portrait");
    pop();

    use(test::tabletScreen);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    auto form = VKTextEncodingsController::defaultTextEncodingsController();
    navigation->pushViewController(form, false);
    advance(1);
    form->setEditing(true, false);
    advance(1);
    expectGolden("text-settings-form-tablet-landscape");
    form->setEditing(false, false);
    pop();
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

} // namespace
