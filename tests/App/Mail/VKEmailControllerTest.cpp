// E-mail with attachments: plain files straight into the composer, packages
// zipped on a worker (checked with unzip), the preparing alert and its
// Cancel, the worker's files when the controller is gone, and what cannot
// be attached.

#include "App/Mail/VKEmailController.h"
#include "App/Mail/VKMailComposeViewController.h"

#include "Kit/VKFunctions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Window.h"
#include "Support/Command.h"
#include "Support/UITestCase.h"

#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <regex>
#include <unistd.h>

namespace {

class RecordingMailDelegate : public VKEmailControllerDelegate {
public:
    void emailController(VKEmailController&, bool success, const core::Error* error) override
    {
        results.push_back(success);
        errors += error ? 1 : 0;
    }
    std::vector<bool> results;
    int errors = 0;
};

// Holds the worker before it zips until the test lets it go.
class Gate {
public:
    void install()
    {
        VKEmailController::setWorkerGateForTesting([this] {
            std::unique_lock lock(m_mutex);
            m_reached = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_open; });
        });
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    bool reached()
    {
        std::lock_guard lock(m_mutex);
        return m_reached;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    bool m_reached = false;
};

class VKEmailControllerTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        driver.setCanSendMail(true);
        screen = std::make_shared<ui::ViewController>();
        window().setRootViewController(screen);
        runLoop();
        mail = VKEmailController::create();
        mail->setDelegate(delegate);
    }
    void TearDown() override
    {
        if (gate)
            gate->open();
        mail.reset();
        waitForWorkers();
        window().setRootViewController(nullptr);
        screen.reset();
        VKEmailController::setWorkerGateForTesting({});
        UITestCase::TearDown();
    }

    // A package of three files.
    std::string makePackage(std::string_view name)
    {
        makeFile(std::string("Files/") + std::string(name) + "/index.xml", "<document/>");
        makeFile(std::string("Files/") + std::string(name) + "/Data/1.txt", "one");
        makeFile(std::string("Files/") + std::string(name) + "/preview.jpg", std::string(5000, 'j'));
        return pathInHome(std::string("Files/") + std::string(name));
    }
    std::vector<std::string> zipsInTemporaryFolder()
    {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(VKTemporaryDirectory()))
            if (entry.path().extension() == ".zip")
                found.push_back(entry.path().string());
        return found;
    }
    // The workers end in real time; their hand-back runs on the main loop.
    void waitForWorkers()
    {
        core::RunLoop::main().runUntil([] { return core::Thread::runningThreadNames().empty(); }, 30);
        runLoop();
    }
    bool composerShown()
    {
        return screen->modalViewController() != nullptr;
    }
    bool waitForComposer()
    {
        return core::RunLoop::main().runUntil([this] { return composerShown(); }, 30);
    }

    std::shared_ptr<ui::ViewController> screen;
    std::shared_ptr<RecordingMailDelegate> delegate = std::make_shared<RecordingMailDelegate>();
    std::shared_ptr<VKEmailController> mail;
    std::unique_ptr<Gate> gate;
};

TEST_F(VKEmailControllerTest, APlainFileGoesStraightIntoTheComposerOnTheNextPass)
{
    EXPECT_EQ(VKEmailController::maximumMessageSize(), 5242880u);
    std::string path = makeFile("Files/notes.txt", "hello\nthere\n");
    ASSERT_TRUE(mail->addAttachment(path));
    mail->setSubject("notes.txt");
    EXPECT_TRUE(mail->isSendingEmail());
    mail->beginSendFromViewController(*screen);
    EXPECT_TRUE(core::Thread::runningThreadNames().empty());
    EXPECT_FALSE(composerShown());
    runLoop();
    ASSERT_TRUE(composerShown());
    auto* composer = dynamic_cast<VKMailComposeViewController*>(screen->modalViewController());
    ASSERT_TRUE(composer);
    EXPECT_EQ(composer->subject(), "notes.txt");
    ASSERT_EQ(composer->attachments().size(), 1u);
    EXPECT_EQ(composer->attachments()[0].fileName, "notes.txt");
    EXPECT_EQ(composer->attachments()[0].mimeType, "text/plain");
    EXPECT_EQ(composer->attachments()[0].data.toString(), "hello\nthere\n");
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::PortraitUpsideDown,
             ui::Orientation::LandscapeLeft, ui::Orientation::LandscapeRight })
        EXPECT_TRUE(composer->shouldAutorotate(orientation));
    // No alert ever: nothing was being prepared.
    advance(1);
    EXPECT_TRUE(driver.shownChoices().empty());

    driver.finishMail(ui::MailComposeController::Saved);
    advance(1);
    EXPECT_FALSE(mail->isSendingEmail());
    EXPECT_FALSE(composerShown());
    EXPECT_EQ(delegate->results, std::vector<bool> { true });
}

TEST_F(VKEmailControllerTest, EachEndOfTheComposerIsASuccessButAFailure)
{
    std::string path = makeFile("Files/a.txt", "a");
    for (int result : { 0, 1, 2, 3 }) {
        auto each = VKEmailController::create();
        each->setDelegate(delegate);
        ASSERT_TRUE(each->addAttachment(path));
        each->beginSendFromViewController(*screen);
        runLoop();
        driver.finishMail(result);
        advance(1);
    }
    EXPECT_EQ(delegate->results, (std::vector<bool> { true, true, true, false }));
    EXPECT_EQ(delegate->errors, 0);
}

TEST_F(VKEmailControllerTest, APackageIsZippedOnAWorkerAndItsZipGoesWithTheController)
{
    std::string package = makePackage("Notes.pages");
    ASSERT_TRUE(mail->addAttachment(package));
    EXPECT_EQ(mail->attachments()[0].name, "Notes.pages");
    mail->beginSendFromViewController(*screen);
    // The test clock stands still: finishing within 0.4 s shows no alert.
    ASSERT_TRUE(waitForComposer());
    EXPECT_TRUE(driver.shownChoices().empty());

    ASSERT_EQ(mail->tempFiles().size(), 1u);
    const std::string zip = mail->tempFiles()[0];
    EXPECT_EQ(core::path::deletingLastPathComponent(zip), pathInHome("tmp"));
    EXPECT_TRUE(std::regex_match(core::path::lastPathComponent(zip),
        std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}-Notes\\.pages\\.zip")));
    auto* composer = dynamic_cast<ui::MailComposeController*>(screen->modalViewController());
    ASSERT_EQ(composer->attachments().size(), 1u);
    EXPECT_EQ(composer->attachments()[0].fileName, "Notes.pages.zip");
    EXPECT_EQ(composer->attachments()[0].mimeType, "application/zip");
    EXPECT_EQ(composer->attachments()[0].data.size(), std::filesystem::file_size(zip));

    auto tested = test::runCommand({ "unzip", "-t", zip });
    EXPECT_EQ(tested.status, 0) << tested.output;
    auto listed = test::runCommand({ "unzip", "-Z1", zip });
    EXPECT_NE(listed.output.find("Notes.pages/index.xml"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("Notes.pages/Data/1.txt"), std::string::npos) << listed.output;

    advance(1);
    EXPECT_TRUE(driver.shownChoices().empty());
    driver.finishMail(ui::MailComposeController::Sent);
    advance(1);
    EXPECT_TRUE(std::filesystem::exists(zip));
    mail.reset();
    EXPECT_FALSE(std::filesystem::exists(zip));
    EXPECT_EQ(delegate->results, std::vector<bool> { true });
}

TEST_F(VKEmailControllerTest, ASlowZipShowsThePreparingAlertWhoseCancelIsASuccess)
{
    gate = std::make_unique<Gate>();
    gate->install();
    ASSERT_TRUE(mail->addAttachment(makePackage("Slides.key")));
    mail->beginSendFromViewController(*screen);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return gate->reached(); }, 10));
    advance(0.39);
    EXPECT_TRUE(driver.shownChoices().empty());
    advance(0.02);
    auto alert = driver.alert();
    EXPECT_EQ(alert, mail->preparingAttachmentsAlertView());
    EXPECT_EQ(alert->title(), "Preparing attachments...\n\n");
    EXPECT_EQ(alert->message(), "");
    ASSERT_EQ(alert->numberOfButtons(), 1);
    EXPECT_EQ(alert->buttonTitle(alert->cancelButtonIndex()), "Cancel");
    ui::ActivityIndicator* spinner = nullptr;
    for (const auto& view : alert->subviews())
        if (auto* found = dynamic_cast<ui::ActivityIndicator*>(view.get()))
            spinner = found;
    ASSERT_TRUE(spinner);
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_EQ(spinner->frame().origin, (gfx::Point { 150 - spinner->frame().width(), 45 }));

    driver.pressAlertButton("Cancel");
    advance(1);
    EXPECT_EQ(delegate->results, std::vector<bool> { true });
    EXPECT_FALSE(mail->isSendingEmail());
    EXPECT_FALSE(mail->preparingAttachmentsAlertView());

    // The zip finishes after the cancel: it is deleted as it comes back,
    // and no composer shows.
    gate->open();
    waitForWorkers();
    EXPECT_TRUE(zipsInTemporaryFolder().empty());
    EXPECT_TRUE(mail->tempFiles().empty());
    EXPECT_FALSE(composerShown());
    EXPECT_EQ(delegate->results, std::vector<bool> { true });
}

TEST_F(VKEmailControllerTest, AControllerDroppedWhileItsZipRunsIsNeverTouched)
{
    gate = std::make_unique<Gate>();
    gate->install();
    ASSERT_TRUE(mail->addAttachment(makePackage("Budget.numbers")));
    mail->beginSendFromViewController(*screen);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return gate->reached(); }, 10));
    advance(0.5);
    ASSERT_TRUE(driver.alert());
    mail.reset();
    advance(0.5);
    EXPECT_TRUE(driver.shownChoices().empty());
    gate->open();
    waitForWorkers();
    advance(1);
    EXPECT_TRUE(zipsInTemporaryFolder().empty());
    EXPECT_FALSE(composerShown());
    EXPECT_TRUE(delegate->results.empty());
}

TEST_F(VKEmailControllerTest, WhatCannotBeAttachedIsLeftOut)
{
    // Nothing there, a plain folder: refused. A package: taken.
    EXPECT_FALSE(mail->addAttachment(pathInHome("Files/missing.pdf")));
    EXPECT_FALSE(mail->addAttachment(makeFolder("Files/Plain")));
    EXPECT_FALSE(mail->addAttachment(""));
    EXPECT_TRUE(mail->attachments().empty());

    // A file gone before the send, and a link out of the home, are left out
    // with a log line.
    std::string kept = makeFile("Files/kept.txt", "kept");
    std::string gone = makeFile("Files/gone.txt", "gone");
    std::filesystem::create_symlink(sourcePath("tests/fixtures/ui/screen.png"), pathInHome("Files/outside.png"));
    ASSERT_TRUE(mail->addAttachment(kept, "Kept.txt"));
    ASSERT_TRUE(mail->addAttachment(gone));
    ASSERT_TRUE(mail->addAttachment(pathInHome("Files/outside.png")));
    mail->beginSendFromViewController(*screen);
    std::filesystem::remove(gone);
    runLoop();
    auto* composer = dynamic_cast<ui::MailComposeController*>(screen->modalViewController());
    ASSERT_TRUE(composer);
    ASSERT_EQ(composer->attachments().size(), 1u);
    EXPECT_EQ(composer->attachments()[0].fileName, "Kept.txt");
    EXPECT_TRUE(logContains("gone.txt"));
    EXPECT_TRUE(logContains("outside.png"));
}

TEST_F(VKEmailControllerTest, AFailedZipIsLeftOutAndWithNothingLeftTheSendFails)
{
    std::string package = makePackage("Notes.pages");
    // The temporary folder cannot be made: every zip fails.
    std::filesystem::remove_all(pathInHome("tmp"));
    makeFile("tmp", "in the way");
    ASSERT_TRUE(mail->addAttachment(package));
    mail->beginSendFromViewController(*screen);
    waitForWorkers();
    EXPECT_TRUE(logContains("Warning, zip failed for: " + package));
    EXPECT_TRUE(logContains("Warning, sendAttachments passed 0 attachments"));
    EXPECT_EQ(delegate->results, std::vector<bool> { false });
    EXPECT_FALSE(mail->isSendingEmail());
    EXPECT_FALSE(composerShown());
}

TEST_F(VKEmailControllerTest, AZipsNameIsOnlyTheLastPartOfTheAttachmentsName)
{
    std::string package = makePackage("Notes.pages");
    ASSERT_TRUE(mail->addAttachment(package, "../../outside/Evil.pages"));
    mail->beginSendFromViewController(*screen);
    ASSERT_TRUE(waitForComposer());
    ASSERT_EQ(mail->tempFiles().size(), 1u);
    const std::string zip = mail->tempFiles()[0];
    EXPECT_EQ(core::path::deletingLastPathComponent(zip), pathInHome("tmp"));
    EXPECT_TRUE(zip.ends_with("-Evil.pages.zip")) << zip;
    EXPECT_FALSE(std::filesystem::exists(pathInHome("outside")));
}

TEST_F(VKEmailControllerTest, ZippingALargePackageKeepsTheMainLoopTurning)
{
    // 200 MB of a sparse file: big to zip, nothing on the disk.
    std::string package = makePackage("Large.key");
    std::string big = core::path::appendingPathComponent(package, "movie.bin");
    int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 200LL * 1024 * 1024), 0);
    ::close(fd);

    ASSERT_TRUE(mail->addAttachment(package));
    int firings = 0;
    int firingsWhileZipping = 0;
    auto timer = core::RunLoop::main().schedule(0.05, true, [&](core::Timer&) {
        ++firings;
        if (!core::Thread::runningThreadNames().empty())
            ++firingsWhileZipping;
    });
    mail->beginSendFromViewController(*screen);
    bool shown = core::RunLoop::main().runUntil(
        [&] {
            advance(0.05);
            return composerShown();
        },
        120);
    timer->invalidate();
    ASSERT_TRUE(shown);
    EXPECT_GT(firingsWhileZipping, 0);
    EXPECT_GE(firings, firingsWhileZipping);
    // The alert came and went with the zip.
    EXPECT_FALSE(mail->preparingAttachmentsAlertView());
    auto* composer = dynamic_cast<ui::MailComposeController*>(screen->modalViewController());
    ASSERT_EQ(composer->attachments().size(), 1u);
    EXPECT_LT(composer->attachments()[0].data.size(), 10u * 1024 * 1024);
    auto tested = test::runCommand({ "unzip", "-t", mail->tempFiles()[0] });
    EXPECT_EQ(tested.status, 0) << tested.output;
}

} // namespace
