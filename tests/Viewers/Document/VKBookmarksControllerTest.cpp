#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/VKSqlite3.h"
#include "Platform/Core/Value.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"
#include "Viewers/Document/VKBookmarkAddCell.h"
#include "Viewers/Document/VKBookmarksController.h"

#include <gtest/gtest.h>

namespace {

struct Recorder : VKBookmarksControllerDelegate {
    void bookmarksControllerDidEnd(ui::ViewController&) override { events.push_back("end"); }
    void bookmarksController(ui::ViewController&, const core::Value& bookmark) override
    {
        events.push_back("select " + bookmark[VKBookmarkNameKey].toString());
        chosen = bookmark;
    }
    std::vector<std::string> events;
    core::Value chosen;
};

class VKBookmarksControllerTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        path = makeFile("Library/Documents/Report.pdf", "%PDF-1.4\n");
        recorder = std::make_shared<Recorder>();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        controller.reset();
        UITestCase::TearDown();
    }
    void store(const std::string& name, double offset = 0.5)
    {
        ASSERT_TRUE(VKFileSettingsManager::defaultManager()->insertBookmark(
            core::Value::makeDictionary({ { VKBookmarkNameKey, name }, { VKBookmarkOffsetKey, offset },
                { VKBookmarkInsetKey, 0.25 }, { VKBookmarkZoomKey, 2.0 } }),
            path));
    }
    std::vector<std::string> storedNames()
    {
        std::vector<std::string> names;
        for (const auto& bookmark : VKFileSettingsManager::defaultManager()->bookmarksForFile(path).value_or(core::Value::Array()))
            names.push_back(bookmark[VKBookmarkNameKey].toString());
        return names;
    }
    void show(std::optional<gfx::Point> newOffset = std::nullopt, float zoom = 0)
    {
        controller = VKBookmarksController::initWithFileAtPath(path);
        controller->setDelegate(recorder);
        if (newOffset)
            controller->addBookmarkWithOffset(*newOffset, zoom);
        navigation = std::make_shared<VKNavigationController>();
        navigation->setViewControllers({ controller }, false);
        window().setRootViewController(navigation);
        runLoop();
    }
    // Refuses the statement kind on the manager's own connection.
    void refuse(const char* event)
    {
        std::string sql = std::string("CREATE TEMP TRIGGER refuse_") + event + " BEFORE " + event
            + " ON Bookmarks BEGIN SELECT RAISE(ABORT, 'refused'); END";
        int result = VKFileSettingsManager::defaultManager()->database()->executeSql(sql);
        ASSERT_TRUE(result == 0 || result == 101) << result;
    }

    std::string path;
    std::shared_ptr<Recorder> recorder;
    std::shared_ptr<VKBookmarksController> controller;
    std::shared_ptr<VKNavigationController> navigation;
};

TEST_F(VKBookmarksControllerTest, AnEmptyListHasNothingToEditAndDoneEnds)
{
    show();
    EXPECT_EQ(controller->title(), "Bookmarks");
    EXPECT_EQ(controller->mode(), VKBookmarksController::Mode::List);
    EXPECT_TRUE(driver.cellTexts(controller->tableView()).empty());
    EXPECT_FALSE(controller->navigationItem().leftBarButtonItem()->isEnabled());
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::BlackOpaque);
    EXPECT_EQ(navigation->navigationBar().barStyle(), ui::NavigationBar::Style::Black);
    EXPECT_FALSE(navigation->navigationBar().isTranslucent());
    EXPECT_TRUE(controller->shouldAutorotate(ui::Orientation::LandscapeLeft));
    driver.tapBarItem(*controller->navigationItem().rightBarButtonItem());
    EXPECT_EQ(recorder->events, std::vector<std::string>({ "end" }));
}

TEST_F(VKBookmarksControllerTest, ARowIsChosenThenTheScreenEnds)
{
    store("Intro", 0.125);
    store("Results\nand \"quotes\" 'too'");
    store(std::string(10000, 'w'));
    show();
    auto texts = driver.cellTexts(controller->tableView());
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "Results and \"quotes\" 'too'");
    EXPECT_EQ(texts[2].size(), VKBookmarksController::MaximumShownNameLength);
    EXPECT_TRUE(controller->navigationItem().leftBarButtonItem()->isEnabled());

    driver.tapRow(controller->tableView(), { 0, 0 });
    EXPECT_EQ(recorder->events, std::vector<std::string>({ "select Intro", "end" }));
    EXPECT_FLOAT_EQ(float(recorder->chosen[VKBookmarkOffsetKey].toReal()), 0.125f);
    EXPECT_FLOAT_EQ(float(recorder->chosen[VKBookmarkZoomKey].toReal()), 2.0f);
}

TEST_F(VKBookmarksControllerTest, DeletingAndMovingGoThroughTheStore)
{
    for (const char* name : { "A", "B", "C" })
        store(name);
    show();
    auto& table = controller->tableView();
    driver.tapBarItem(*controller->navigationItem().leftBarButtonItem());
    EXPECT_TRUE(controller->isEditing());
    EXPECT_FALSE(controller->navigationItem().rightBarButtonItem()->isEnabled());

    driver.moveRow(table, { 0, 2 }, { 0, 0 });
    runLoop();
    EXPECT_EQ(storedNames(), std::vector<std::string>({ "C", "A", "B" }));
    EXPECT_EQ(driver.cellTexts(table), storedNames());

    driver.deleteRow(table, { 0, 1 });
    runLoop();
    EXPECT_EQ(storedNames(), std::vector<std::string>({ "C", "B" }));
    EXPECT_EQ(driver.cellTexts(table), storedNames());

    // Refused by the store: the row stays, and a refused move shows the
    // order kept.
    refuse("DELETE");
    driver.deleteRow(table, { 0, 0 });
    runLoop();
    EXPECT_TRUE(logContains("Warning, removeBookmarkForFile failed: " + path));
    EXPECT_EQ(driver.cellTexts(table), std::vector<std::string>({ "C", "B" }));
    driver.moveRow(table, { 0, 1 }, { 0, 0 });
    runLoop();
    EXPECT_TRUE(logContains("Warning, failure for moveBookmarkAtRow:1 toRow:0 forPath:" + path));
    EXPECT_EQ(storedNames(), std::vector<std::string>({ "C", "B" }));
    EXPECT_EQ(driver.cellTexts(table), storedNames());

    driver.tapBarItem(*controller->navigationItem().leftBarButtonItem());
    EXPECT_TRUE(controller->navigationItem().rightBarButtonItem()->isEnabled());
}

TEST_F(VKBookmarksControllerTest, AddingProposesTheNextNumberAndStoresThePlace)
{
    show(gfx::Point { 0.25f, 0.75f }, 1.5f);
    EXPECT_EQ(controller->title(), "Add Bookmark");
    ASSERT_TRUE(controller->addCell());
    EXPECT_EQ(controller->addCell()->textField().text(), "Bookmark 1");
    EXPECT_EQ(controller->tableView().numberOfRows(0), 1);
    // Not selectable, editable or movable.
    EXPECT_FALSE(controller->willSelectRow(controller->tableView(), { 0, 0 }));
    EXPECT_FALSE(controller->canEditRow(controller->tableView(), { 0, 0 }));
    EXPECT_FALSE(controller->canMoveRow(controller->tableView(), { 0, 0 }));
    // The keyboard comes up on the name after the screen appeared.
    advance(1);
    EXPECT_TRUE(controller->addCell()->textField().isFirstResponder());

    driver.clear(controller->addCell()->textField());
    driver.type("Chapter two");
    driver.tapBarItem(*controller->navigationItem().rightBarButtonItem());
    EXPECT_EQ(recorder->events, std::vector<std::string>({ "end" }));
    auto stored = VKFileSettingsManager::defaultManager()->bookmarksForFile(path).value_or(core::Value::Array());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0][VKBookmarkNameKey].toString(), "Chapter two");
    EXPECT_FLOAT_EQ(float(stored[0][VKBookmarkOffsetKey].toReal()), 0.75f);
    EXPECT_FLOAT_EQ(float(stored[0][VKBookmarkInsetKey].toReal()), 0.25f);
    EXPECT_FLOAT_EQ(float(stored[0][VKBookmarkZoomKey].toReal()), 1.5f);
}

TEST_F(VKBookmarksControllerTest, ATakenNameIsRefusedButOtherCaseIsNot)
{
    for (const char* name : { "Intro", "Middle", "End" })
        store(name);
    show(gfx::Point { 0, 0.5f });
    EXPECT_EQ(controller->addCell()->textField().text(), "Bookmark 4");
    controller->addCell()->textField().setText("Intro");
    controller->saveClicked();
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Warning");
    EXPECT_EQ(alert->message(), "The bookmark \"Intro\" already exists.\nPlease choose another name.");
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_EQ(storedNames().size(), 3u);
    driver.pressAlertButton("OK");

    controller->addCell()->textField().setText("intro");
    controller->saveClicked();
    EXPECT_EQ(recorder->events, std::vector<std::string>({ "end" }));
    EXPECT_EQ(storedNames(), std::vector<std::string>({ "Intro", "Middle", "End", "intro" }));
}

TEST_F(VKBookmarksControllerTest, ARefusedInsertIsLoggedAndStillEndsAndCancelEnds)
{
    refuse("INSERT");
    show(gfx::Point { 0, 0.5f });
    controller->saveClicked();
    EXPECT_TRUE(logContains("Warning, failed to insert bookmark: "));
    EXPECT_EQ(recorder->events, std::vector<std::string>({ "end" }));
    EXPECT_TRUE(storedNames().empty());
    driver.tapBarItem(*controller->navigationItem().leftBarButtonItem());
    EXPECT_EQ(recorder->events, std::vector<std::string>({ "end", "end" }));
}

} // namespace
