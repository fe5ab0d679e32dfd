#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/AudioSession.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/FolderPhotoAlbum.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/PhotoAlbum.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/SystemURLOpener.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using test::UITestCase;
class ServicesTest : public UITestCase {
protected:
    // Pumps the main loop until `done` holds or five seconds pass (real
    // workers, not time).
    static bool pumpUntil(const std::function<bool()>& done)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && std::chrono::steady_clock::now() < end) {
            core::RunLoop::main().runUntilIdle();
            std::this_thread::yield();
        }
        return done();
    }

    static std::shared_ptr<gfx::Image> smallImage()
    {
        auto context = gfx::BitmapContext::create(8, 6);
        return context->makeImage();
    }
};

TEST_F(ServicesTest, Pasteboards)
{
    auto general = ui::Pasteboard::general();
    EXPECT_EQ(general, ui::Pasteboard::general());
    long count = general->changeCount();
    general->setString("hello");
    EXPECT_EQ(general->string(), "hello");
    EXPECT_EQ(general->changeCount(), count + 1);
    general->setURL(*core::URL::parse("http://example.com/a"));
    EXPECT_EQ(general->url()->absoluteString(), "http://example.com/a");
    EXPECT_FALSE(general->string());
    general->setString("a\xff" "b");
    EXPECT_EQ(general->string(), "a\xef\xbf\xbd" "b");
    general->setItems({ { { "public.text", std::string("\xc0") } } });
    EXPECT_EQ(general->items().back().at("public.text").string(), "\xef\xbf\xbd");

    EXPECT_FALSE(ui::Pasteboard::named(ui::Pasteboard::findName, false));
    auto find = ui::Pasteboard::named(ui::Pasteboard::findName, true);
    EXPECT_EQ(find, ui::Pasteboard::named(ui::Pasteboard::findName, false));
    ui::Pasteboard::remove(ui::Pasteboard::findName);
    EXPECT_FALSE(ui::Pasteboard::named(ui::Pasteboard::findName, false));

    // Two writers: one of the texts stays, every write counted.
    auto shared = ui::Pasteboard::named("race", true);
    auto writer = [&](std::string text) {
        for (int i = 0; i < 1000; ++i)
            shared->setString(text);
    };
    std::thread first(writer, "one"), second(writer, "two");
    first.join();
    second.join();
    EXPECT_TRUE(shared->string() == "one" || shared->string() == "two");
    EXPECT_EQ(shared->changeCount(), 2000);
}

TEST_F(ServicesTest, ApplicationFlags)
{
    application().setIdleTimerDisabled(true);
    application().setNetworkActivityIndicatorVisible(true);
    application().setStatusBarHidden(true, ui::Application::StatusBarAnimation::Fade);
    application().setStatusBarStyle(ui::Application::StatusBarStyle::BlackOpaque, true);
    EXPECT_TRUE(application().isIdleTimerDisabled());
    EXPECT_TRUE(application().isNetworkActivityIndicatorVisible());
    EXPECT_TRUE(application().isStatusBarHidden());
    EXPECT_EQ(application().statusBarAnimation(), ui::Application::StatusBarAnimation::Fade);
    EXPECT_EQ(application().applicationFrame(), (gfx::Rect { 0, 0, 320, 480 }));
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::BlackOpaque);
    EXPECT_THROW(application().setStatusBarStyle(ui::Application::StatusBarStyle(3)), core::Exception);

    // A subclass that keeps the device awake refuses to let the timer run.
    struct Insomniac : ui::Application {
        void setIdleTimerDisabled(bool disabled) override
        {
            if (disabled)
                Application::setIdleTimerDisabled(true);
        }
    };
    auto insomniac = std::make_shared<Insomniac>();
    ui::Application& base = *insomniac;
    base.setIdleTimerDisabled(true);
    base.setIdleTimerDisabled(false);
    EXPECT_TRUE(insomniac->isIdleTimerDisabled());
}

TEST_F(ServicesTest, OpeningURLs)
{
    EXPECT_TRUE(application().openURL(*core::URL::parse("http://example.com/")));
    EXPECT_FALSE(application().openURL(*core::URL::parse("ftp://x")));
    EXPECT_FALSE(application().openURL(core::URL()));
    ASSERT_EQ(driver.openedURLs().size(), 1u);
    EXPECT_EQ(driver.openedURLs()[0].absoluteString(), "http://example.com/");

    // The program's opener: a stand-in xdg-open on PATH gets the URL as one
    // argument, untouched by any shell.
    std::string bin = home() + "/bin";
    std::string out = home() + "/arguments";
    makeFile("bin/xdg-open", "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > \"" + out + ".part\"\nmv \"" + out + ".part\" \"" + out + "\"\n");
    ASSERT_EQ(::chmod((bin + "/xdg-open").c_str(), 0755), 0);
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    application().setURLOpener(ui::SystemURLOpener::open);
    auto url = core::URL::parse("http://example.com/?a=1&b='x';ls");
    ASSERT_TRUE(url);
    bool opened = application().openURL(*url);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(pumpUntil([&] { return core::fs::exists(out); }));
    core::Data data;
    ASSERT_TRUE(core::fs::readFile(out, data));
    EXPECT_EQ(std::string(data.view()), "1|http://example.com/?a=1&b='x';ls|");

    // Without xdg-open: false and one line.
    setenv("PATH", home().c_str(), 1);
    EXPECT_FALSE(application().openURL(*url));
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_TRUE(logContains("xdg-open"));
    EXPECT_TRUE(core::Thread::waitForAll(5));
}

TEST_F(ServicesTest, AudioSessionInterruptions)
{
    std::vector<std::pair<int, bool>> heard;
    auto& session = ui::AudioSession::shared();
    EXPECT_TRUE(session.initialize([&](int state) { heard.push_back({ state, core::Thread::isMainThread() }); }));
    EXPECT_FALSE(session.initialize([&](int) { heard.push_back({ 99, false }); }));
    session.setCategory(ui::AudioSession::categoryMediaPlayback);
    session.setActive(true);
    EXPECT_EQ(session.category(), ui::AudioSession::categoryMediaPlayback);
    driver.audioInterruption(true);
    driver.audioInterruption(false);
    // From another thread too: the listener still hears on the main thread.
    std::thread([&] { session.interruption(true); }).join();
    runLoop();
    EXPECT_EQ(heard, (std::vector<std::pair<int, bool>> { { 1, true }, { 0, true }, { 1, true } }));
}

TEST_F(ServicesTest, PhotoAlbumCompletionsRunOnceOffTheMainThread)
{
    EXPECT_TRUE(ui::PhotoAlbum::isVideoCompatible("a.MOV"));
    EXPECT_TRUE(ui::PhotoAlbum::isVideoCompatible("/x/b.m4v"));
    EXPECT_FALSE(ui::PhotoAlbum::isVideoCompatible("a.avi"));

    std::atomic<int> calls { 0 }, onMain { 0 }, failed { 0 };
    auto completion = [&](const core::Error* error) {
        if (core::Thread::isMainThread())
            ++onMain;
        if (error)
            ++failed;
        ++calls;
    };
    ui::PhotoAlbum::saveImage(smallImage(), completion);
    ui::PhotoAlbum::saveVideo(makeFile("clip.mov", "movie"), completion);
    EXPECT_EQ(driver.albumSaveCount(), 2u);
    EXPECT_EQ(driver.completeAlbumSaves(), 2u);
    EXPECT_EQ(driver.completeAlbumSaves(), 0u); // never twice
    EXPECT_TRUE(pumpUntil([&] { return calls == 2; }));
    EXPECT_EQ(onMain, 0);
    EXPECT_EQ(failed, 0);

    ui::PhotoAlbum::saveImage(smallImage(), completion);
    ui::PhotoAlbum::saveVideo("clip.avi", completion); // refused at once, still completed
    driver.completeAlbumSaves(core::Error::posix(ENOSPC));
    EXPECT_TRUE(pumpUntil([&] { return calls == 4; }));
    EXPECT_EQ(failed, 2);
    EXPECT_TRUE(core::Thread::waitForAll(5));
    EXPECT_EQ(calls, 4);
}

TEST_F(ServicesTest, FolderAlbumWritesJPEGsAndNeverOverwrites)
{
    std::string folder = home() + "/Pictures/Tandry";
    auto album = std::make_shared<ui::FolderPhotoAlbum>(folder);
    std::atomic<int> done { 0 }, errors { 0 };
    auto completion = [&](const core::Error* error) {
        errors += error ? 1 : 0;
        ++done;
    };
    album->saveImage(smallImage(), completion);
    album->saveImage(smallImage(), completion);
    std::string clip = makeFile("clip.mp4", "movie bytes");
    album->saveVideo(clip, completion);
    album->saveVideo(clip, completion);
    EXPECT_TRUE(pumpUntil([&] { return done == 4; }));
    EXPECT_TRUE(core::Thread::waitForAll(5));
    EXPECT_EQ(errors, 0);
    auto names = core::fs::sortedContentsOfDirectory(folder);
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, (std::vector<std::string> { "Photo 2.jpg", "Photo.jpg", "clip 2.mp4", "clip.mp4" }));
    core::Data bytes;
    ASSERT_TRUE(core::fs::readFile(folder + "/Photo.jpg", bytes));
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(std::string(bytes.view().substr(0, 3)), "\xff\xd8\xff");
    ASSERT_TRUE(core::fs::readFile(folder + "/clip 2.mp4", bytes));
    EXPECT_EQ(std::string(bytes.view()), "movie bytes");

    setenv("XDG_PICTURES_DIR", (home() + "/P").c_str(), 1);
    EXPECT_TRUE(ui::FolderPhotoAlbum::defaultFolder().starts_with(home() + "/P/"));
    unsetenv("XDG_PICTURES_DIR");
}

TEST_F(ServicesTest, PrintPanel)
{
    auto& panel = ui::PrintInteractionController::shared();
    std::string pdf = makeFile("a.PDF", "%PDF-1.4");
    EXPECT_TRUE(ui::PrintInteractionController::canPrint(core::URL::fileURL(pdf)));
    EXPECT_FALSE(ui::PrintInteractionController::canPrint(core::URL::fileURL(home() + "/missing.pdf")));
    EXPECT_FALSE(ui::PrintInteractionController::canPrint(core::URL::fileURL(makeFile("a.txt", "x"))));
    EXPECT_FALSE(ui::PrintInteractionController::canPrint(*core::URL::parse("http://example.com/a.pdf")));

    std::vector<std::string> log;
    auto completion = [&](ui::PrintInteractionController&, bool completed, const core::Error* error) {
        log.push_back(fmt::format("{} {}", completed, error ? error->code() : 0));
    };
    auto view = ui::View::create({ 0, 0, 100, 100 });
    window().addSubview(view);
    panel.setPrintFormatter(ui::PrintFormatter::create(view));
    EXPECT_FALSE(panel.present(true, completion)); // printing is off
    driver.setPrintingAvailable(true);
    EXPECT_TRUE(panel.presentFromRect({ 10, 10, 20, 20 }, *view, true, completion));
    EXPECT_EQ(panel.printFormatter()->view(), view);
    EXPECT_EQ(panel.anchorKind(), ui::PrintInteractionController::AnchorKind::Rect);
    EXPECT_FALSE(panel.present(true, completion)); // shown already
    driver.completePrint(false, core::Error::posix(EIO));
    EXPECT_EQ(log, (std::vector<std::string> { fmt::format("false {}", EIO) }));
    EXPECT_FALSE(panel.isPresented());
    EXPECT_THROW(driver.completePrint(true), core::Exception);
    EXPECT_EQ(log.size(), 1u);

    // A dismissal completes unfinished, once.
    EXPECT_TRUE(panel.present(false, completion));
    panel.dismiss(true);
    panel.dismiss(true);
    EXPECT_EQ(log.back(), "false 0");
    EXPECT_EQ(log.size(), 2u);

    // Nothing to print: a detached formatter, then a printable file.
    panel.printFormatter()->setView(nullptr);
    EXPECT_FALSE(panel.printFormatter()->view());
    EXPECT_FALSE(panel.present(true, completion));
    panel.setPrintingItem(core::URL::fileURL(pdf).absoluteString());
    EXPECT_TRUE(panel.present(true, completion));
    driver.completePrint(true);
    EXPECT_EQ(log.back(), "true 0");
}

struct OpenInRecorder : ui::DocumentInteractionControllerDelegate {
    std::vector<std::string> log;
    void willPresentOpenInMenu(ui::DocumentInteractionController&) override { log.push_back("willPresent"); }
    void didDismissOpenInMenu(ui::DocumentInteractionController&) override { log.push_back("didDismiss"); }
    void willBeginSendingToApplication(ui::DocumentInteractionController&, const std::string& a) override
    {
        log.push_back("willBegin " + a);
    }
    void didEndSendingToApplication(ui::DocumentInteractionController&, const std::string& a) override
    {
        log.push_back("didEnd " + a);
    }
};

TEST_F(ServicesTest, OpenInMenu)
{
    auto recorder = std::make_shared<OpenInRecorder>();
    auto controller = ui::DocumentInteractionController::create(core::URL::fileURL(makeFile("doc 1.pdf", "x")));
    controller->setDelegate(recorder);
    EXPECT_EQ(controller->name(), "doc 1.pdf");
    EXPECT_FALSE(controller->presentOpenInMenu({ 0, 0, 10, 10 }, window(), true)); // no application
    EXPECT_TRUE(recorder->log.empty());
    EXPECT_THROW(driver.openInMenu(), core::Exception);

    driver.setOpenInApplications({ "Viewer" });
    EXPECT_TRUE(controller->presentOpenInMenu({ 5, 30, 10, 10 }, window(), true));
    EXPECT_EQ(controller->anchorRect(), (gfx::Rect { 5, 30, 10, 10 }));
    EXPECT_EQ(driver.openInMenu(), controller);
    EXPECT_THROW(driver.chooseOpenInApplication("Other"), core::Exception);
    driver.chooseOpenInApplication("Viewer");
    EXPECT_EQ(recorder->log,
        (std::vector<std::string> { "willPresent", "willBegin Viewer", "didEnd Viewer", "didDismiss" }));
    EXPECT_FALSE(controller->isMenuVisible());

    // The toolkit keeps a shown menu alive.
    std::weak_ptr<ui::DocumentInteractionController> weak = controller;
    controller->presentOpenInMenu({ 0, 0, 1, 1 }, window(), false);
    controller.reset();
    ASSERT_FALSE(weak.expired());
    weak.lock()->dismissMenu(false);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(recorder->log.back(), "didDismiss");
}

} // namespace
