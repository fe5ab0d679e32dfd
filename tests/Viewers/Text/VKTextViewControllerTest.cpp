// The text viewer in the browser's stack: the text and its size once
// loaded, the font-size control, the encoding chooser and what is stored
// per document, and a viewer that goes away while its worker reads.

#include "TextViewerTestCase.h"

#include "App/Settings/VKTextEncodingsController.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TableViewController.h"
#include "Viewers/Text/VKTextFile.h"
#include "Viewers/Text/VKTextView.h"

#include <condition_variable>
#include <fmt/format.h>
#include <mutex>
#include <sys/stat.h>

namespace {

const std::string russian = "Съешь же ещё этих мягких французских булок, да выпей чаю.\n";

std::string encoded(std::string_view utf8, const char* encoding)
{
    return core::TextConverter::convertText(utf8, "UTF-8", encoding).value();
}

class VKTextViewControllerTest : public test::TextViewerTestCase {
protected:
    std::shared_ptr<VKFileSettingsManager> settings() { return VKFileSettingsManager::defaultManager(); }
    std::string path(std::string_view name) { return pathInHome("Files/" + std::string(name)); }
    float pointSize(VKTextViewController& viewer) { return viewer.textView()->font().pointSize(); }
};

TEST_F(VKTextViewControllerTest, OpensTheTextReadOnlyAtTheDefaultSize)
{
    auto viewer = openText("notes.txt", "Short lines.\nOf a few words.\n");
    ASSERT_TRUE(viewer->textView());
    EXPECT_EQ(viewer->textView()->text(), "Short lines.\nOf a few words.\n");
    EXPECT_FALSE(viewer->isEditable());
    EXPECT_FALSE(viewer->textView()->scrollsSelectionToVisible());
    EXPECT_EQ(viewer->textView()->font().familyName(), "Helvetica");
    EXPECT_EQ(pointSize(*viewer), 13);
    EXPECT_EQ(viewer->currentTextEncoding(), "UTF-8");
    EXPECT_TRUE(viewer->contentDidLoad());
    EXPECT_EQ(viewer->navigationItem().rightBarButtonItem(), viewer->fontSizeBarButtonItem());
    EXPECT_EQ(viewer->textView()->dataDetectorTypes(), unsigned(ui::TextView::All));
}

TEST_F(VKTextViewControllerTest, TheTextsInsetsFollowTheBars)
{
    std::string lines;
    for (int i = 0; i < 400; ++i)
        lines += fmt::format("line {}\n", i);
    auto viewer = openText("long.txt", lines);
    auto* text = viewer->textView();
    ASSERT_FALSE(viewer->navigationController()->isNavigationBarHidden());
    gfx::EdgeInsets bars = viewer->barInsets();
    ASSERT_GT(bars.top, 40);
    // The first line shows below the top bar, at the frame's offset 0.
    EXPECT_EQ(text->contentInset(), bars);
    EXPECT_EQ(text->contentOffset().y, -bars.top);
    EXPECT_EQ(viewer->contentOffset().y, 0);

    // At the top the text follows the bars away and back.
    viewer->setUIHidden(true, false);
    EXPECT_EQ(text->contentInset(), gfx::EdgeInsets());
    EXPECT_EQ(text->contentOffset().y, 0);
    viewer->setUIHidden(false, false);
    EXPECT_EQ(text->contentOffset().y, -bars.top);

    // Elsewhere it stays where it is on screen; at the end it stays at the end.
    text->setContentOffset({ 0, 500 });
    viewer->setUIHidden(true, false);
    EXPECT_EQ(text->contentOffset().y, 500);
    text->setContentOffset(text->maximumContentOffset());
    viewer->setUIHidden(false, false);
    EXPECT_EQ(text->contentOffset().y, text->maximumContentOffset().y);
    EXPECT_EQ(text->contentOffset().y, text->contentSize().height - text->bounds().height() + bars.bottom);
}

TEST_F(VKTextViewControllerTest, LongLinesLowerTheSizeUnlessOneIsStored)
{
    // Lines of 90 characters on the phone: 10 points.
    std::string lines;
    for (int i = 0; i < 20; ++i)
        lines += std::string(90, 'm') + "\n";
    auto viewer = openText("wide.txt", lines);
    EXPECT_EQ(pointSize(*viewer), 10);
    navigation->popViewController(false);
    runLoop();

    makeFile("Files/stored.txt", lines);
    ASSERT_TRUE(settings()->setFontSize(20, path("stored.txt")));
    viewer = openText("stored.txt", "");
    EXPECT_EQ(pointSize(*viewer), 20);
    navigation->popViewController(false);
    runLoop();

    // Nonsense stored sizes count as none, or are clamped.
    makeFile("Files/huge.txt", "a\n");
    ASSERT_TRUE(settings()->setFontSize(400, path("huge.txt")));
    EXPECT_EQ(VKTextViewController::fontSizeSettingForPath(path("huge.txt")), 40);
    ASSERT_TRUE(settings()->setFontSize(-3, path("huge.txt")));
    EXPECT_FALSE(VKTextViewController::hasFontSizeSettingForPath(path("huge.txt")));
}

TEST_F(VKTextViewControllerTest, TheSizeControlStepsWithinNineToForty)
{
    makeFile("Files/sizes.txt", "Some text\n");
    ASSERT_TRUE(settings()->setFontSize(10, path("sizes.txt")));
    auto viewer = openText("sizes.txt", "");
    auto* control = viewer->fontSizeControl();
    ASSERT_TRUE(control);
    EXPECT_TRUE(control->isMomentary());
    EXPECT_EQ(control->segmentedControlStyle(), ui::SegmentedControl::Style::Bar);
    driver.tapSegment(*control, 0);
    advance(1);
    EXPECT_EQ(pointSize(*viewer), 9);
    EXPECT_FALSE(control->isEnabledForSegment(0));
    EXPECT_TRUE(control->isEnabledForSegment(1));

    for (int i = 0; i < 35; ++i) {
        viewer->adjustFontSize(1);
        runLoop();
    }
    EXPECT_EQ(pointSize(*viewer), 40);
    EXPECT_FALSE(control->isEnabledForSegment(1));
    viewer->adjustFontSize(1);
    runLoop();
    EXPECT_EQ(pointSize(*viewer), 40);

    // The reader's size is kept for the document.
    viewer->storePersistentState();
    EXPECT_EQ(settings()->fontSizeForFile(path("sizes.txt")), 40);
}

TEST_F(VKTextViewControllerTest, ChoosingAnEncodingStoresItAndReloads)
{
    makeFile("Files/russian.txt", encoded(russian, "WINDOWS-1251"));
    core::UserDefaults::standard()->set("VKTextEncodings",
        core::Value(core::Value::Array { core::Value("UTF-8"), core::Value("KOI8-R"), core::Value("WINDOWS-1251") }));
    auto viewer = openText("russian.txt", "");
    EXPECT_EQ(viewer->currentTextEncoding(), "WINDOWS-1251");
    EXPECT_EQ(viewer->textView()->text(), russian);
    // Found, not chosen: nothing stored.
    viewer->storePersistentState();
    EXPECT_FALSE(settings()->textEncodingForFile(path("russian.txt")));

    // The sheet's entry presents the chooser with the current one checked.
    viewer->showDocumentActionSheet(nullptr);
    runLoop();
    driver.pressSheetButton("Change Text Encoding");
    runLoop();
    auto* presented = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
    ASSERT_TRUE(presented);
    EXPECT_EQ(presented->navigationBar().barStyle(), ui::NavigationBar::Style::Black);
    auto* chooser = dynamic_cast<VKTextEncodingsController*>(presented->visibleViewController());
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->defaultTextEncoding(), "WINDOWS-1251");
    EXPECT_TRUE(chooser->showsCancelButton());
    EXPECT_EQ(viewer->statusBarStyle(), ui::Application::StatusBarStyle::BlackOpaque);

    // KOI8-R: stored, reloaded lossily in it.
    driver.tapRow(chooser->tableView(), { 0, 1 });
    runLoop();
    EXPECT_FALSE(navigation->modalViewController());
    EXPECT_EQ(viewer->currentTextEncoding(), "KOI8-R");
    // The reload may already have ended while the chooser went away.
    waitForLoad(*viewer);
    EXPECT_EQ(settings()->textEncodingForFile(path("russian.txt")), "KOI8-R");
    EXPECT_EQ(viewer->textView()->text(), *core::TextConverter::convertText(encoded(russian, "WINDOWS-1251"), "KOI8-R"));

    // The same again: nothing happens.
    viewer->textEncodingsControllerDidEnd(*chooser, "KOI8-R");
    EXPECT_FALSE(viewer->contentIsLoading());

    // A name the converter does not know: the alert, and the name stays.
    viewer->textEncodingsControllerDidEnd(*chooser, "NO-SUCH-ENCODING");
    waitForLoad(*viewer);
    EXPECT_EQ(viewer->currentTextEncoding(), "NO-SUCH-ENCODING");
    EXPECT_EQ(settings()->textEncodingForFile(path("russian.txt")), "NO-SUCH-ENCODING");
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "Unable to display \"russian.txt\"");
    driver.pressAlertButton(0);
    runLoop();
}

TEST_F(VKTextViewControllerTest, LatinAndJapaneseFilesOpenInTheirOwnEncodingsByTheLanguagesList)
{
    // Shift_JIS, GB18030 and Big5 all take these bytes.
    const std::string latin = "Élève: un élève.\n";
    const std::string japanese = "こんにちは、世界。テストです。\n";
    makeFile("Files/latin.txt", encoded(latin, "WINDOWS-1252"));
    makeFile("Files/japanese.txt", encoded(japanese, "SHIFT_JIS"));
    for (const char* language : { "en", "ja" }) {
        SCOPED_TRACE(language);
        core::setCurrentLanguage(language);
        auto viewer = openText("japanese.txt", "");
        EXPECT_EQ(viewer->currentTextEncoding(), "SHIFT_JIS");
        EXPECT_EQ(viewer->textView()->text(), japanese);
    }
    core::setCurrentLanguage("en");
    auto viewer = openText("latin.txt", "");
    EXPECT_EQ(viewer->currentTextEncoding(), "WINDOWS-1252");
    EXPECT_EQ(viewer->textView()->text(), latin);
    // The user's own list wins over the language's.
    core::UserDefaults::standard()->set("VKTextEncodings",
        core::Value(core::Value::Array { core::Value("UTF-8"), core::Value("GB18030"), core::Value("WINDOWS-1252") }));
    EXPECT_EQ(openText("latin.txt", "")->currentTextEncoding(), "GB18030");
}

TEST_F(VKTextViewControllerTest, UTF16IsFoundAndNotStored)
{
    auto viewer = openText("wide.txt", "\xfe\xff" + encoded(russian, "UTF-16BE"));
    EXPECT_EQ(viewer->currentTextEncoding(), "UTF-16BE");
    EXPECT_NE(viewer->textView()->text().find("булок"), std::string::npos);
    viewer->storePersistentState();
    EXPECT_FALSE(settings()->textEncodingForFile(path("wide.txt")));
}

TEST_F(VKTextViewControllerTest, UndecodableTextShowsTheAlertAndKeepsTheSheetAndDelete)
{
    core::UserDefaults::standard()->set("VKTextEncodings", core::Value(core::Value::Array { core::Value("UTF-8") }));
    auto viewer = openText("binary.txt", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe\x80", 20));
    EXPECT_TRUE(viewer->contentDidLoad());
    ASSERT_TRUE(driver.alert());
    for (const char* action : { VKViewController::ShowDocumentActionSheetAction, VKViewController::DeleteItemAction })
        if (auto item = viewer->findBarButtonItemWithAction(action)) {
            EXPECT_TRUE(item->isEnabled()) << action;
        }
    driver.pressAlertButton(0);
    runLoop();
}

TEST_F(VKTextViewControllerTest, AFileThatCannotBeOpenedSaysWhyInsteadOfWaiting)
{
    // A FIFO without a writer, a file the user may not read, one gone since
    // it was listed, a link that leads to itself.
    makeFolder("Files");
    ASSERT_EQ(mkfifo(path("fifo.txt").c_str(), 0600), 0);
    makeFile("Files/locked.txt", "secret");
    makeFile("Files/gone.txt", "soon gone");
    makeFile("Files/loop.txt", "soon a loop");
    core::FileTestHooks::setOpenFileHook([&](const std::string& opened) { return opened == path("locked.txt") ? EACCES : 0; });
    const std::pair<const char*, const char*> cases[] = {
        { "fifo.txt", "it is not a regular file" },
        { "locked.txt", "permission denied" },
        { "gone.txt", "no such file or directory" },
        { "loop.txt", "a link leads in a loop" },
        { "outside.txt", "it is a link that leads out of Tandry's home" },
    };
    std::filesystem::create_symlink(sourcePath("CMakeLists.txt"), path("outside.txt"));
    for (auto [name, reason] : cases) {
        auto resource = VKFileResource::resourceWithPath(path(name));
        // Gone, or a loop, between the listing and the open.
        if (name == std::string("gone.txt") || name == std::string("loop.txt"))
            std::filesystem::remove(path(name));
        if (name == std::string("loop.txt"))
            std::filesystem::create_symlink("loop.txt", path(name));
        auto viewer = VKTextViewController::create(resource, host);
        navigation->pushViewController(viewer, false);
        runLoop();
        waitForLoad(*viewer);
        EXPECT_TRUE(viewer->contentDidLoad()) << name;
        ASSERT_TRUE(driver.alert()) << name;
        EXPECT_EQ(driver.alert()->message(), fmt::format("Unable to display \"{}\": {}", name, reason));
        driver.pressAlertButton(0);
        navigation->popViewController(false);
        runLoop();
    }
    EXPECT_TRUE(waitForWorkers());
    EXPECT_EQ(readFile(path("locked.txt")), "secret");
}

TEST_F(VKTextViewControllerTest, AViewerPoppedMidLoadStopsItsWorker)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool released = false;
    VKTextFile::setChunkHookForTesting([&](const std::string&, size_t) {
        std::unique_lock lock(mutex);
        held = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    });
    std::weak_ptr<VKTextViewController> weak;
    {
        auto viewer = openText("big.log", std::string(3 * VKTextFile::ChunkSize, 'z'), false);
        weak = viewer;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return held; });
        }
        navigation->popViewController(false);
        runLoop();
    }
    runLoop();
    EXPECT_TRUE(weak.expired());
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    EXPECT_TRUE(waitForWorkers());
    runLoop();
}

} // namespace

TEST_F(VKTextViewControllerTest, ALargeLogEndsLoadingOnceItsHeightIsExactAndComesBackToItsPlace)
{
    // 40,000 numbered lines, about 1.4 MB: measured on the text view's
    // worker. The load ends only when the height is exact, so a stored
    // place is restored against the real height.
    std::string log;
    for (int i = 0; i < 40000; ++i)
        log += fmt::format("{:05} GET /index.html 200 1024\n", i);
    ASSERT_GE(log.size(), ui::TextView::BackgroundLayoutBytes);
    makeFile("Files/big.log", log);
    ASSERT_TRUE(VKFileSettingsManager::defaultManager()->setContentOffset(0.5f, pathInHome("Files/big.log")));
    auto viewer = openText("big.log", log);
    ASSERT_TRUE(viewer->textView());
    EXPECT_TRUE(viewer->textView()->isLayoutComplete());
    EXPECT_EQ(viewer->textView()->text().size(), log.size());
    float line = ui::Fonts::lineHeight(viewer->textView()->font());
    EXPECT_NEAR(viewer->textView()->contentSize().height, 2 * ui::TextView::Inset + 40001 * double(line), 1);
    EXPECT_NEAR(viewer->textView()->contentOffset().y / viewer->textView()->contentSize().height, 0.5, 0.001);
}
