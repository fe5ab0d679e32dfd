#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/AudioSession.h"
#include "Platform/UI/FolderPhotoAlbum.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/PhotoAlbum.h"
#include "Platform/UI/SystemURLOpener.h"

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

} // namespace
