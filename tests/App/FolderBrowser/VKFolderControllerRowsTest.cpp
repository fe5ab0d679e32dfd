// The folder list's rows as a person uses them: the cell's texts and
// layout, opening items, marking (sizes past 4 GiB, marks that follow their
// items through a rebuild), swipe delete into the real trash, the long
// touch in search results, the viewers' trash, and the scroll position kept
// per folder and in the saved state. What a row opens and the walks are
// VKFolderRowOpenerTest's, the scroll position's numbers
// VKFolderScrollMemoryTest's.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKIndexView.h"
#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderCountWatch.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "App/FolderBrowser/VKOperationProgressView.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKBadgedButton.h"
#include "App/Viewers/VKViewController.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/DateAdditions.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Touch.h"
#include "Support/FileModel/RecordingCloudHooks.h"
#include "Support/FileModel/RecordingDownloadHooks.h"
#include "Support/GoldenImage.h"

#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;
using test::FakeDownload;

gfx::Point mid(const gfx::Rect& rect)
{
    return { rect.midX(), rect.midY() };
}

class VKFolderControllerRowsTest : public test::FolderListingTestCase {
protected:
    void TearDown() override
    {
        VKFolderScrollMemory::forgetAllForTesting();
        ui::AlertView::resetForTesting();
        FolderListingTestCase::TearDown();
    }
    VKFileResourceCell& cellAt(int row)
    {
        auto& table = controller->activeTableView();
        table.layoutIfNeeded();
        auto* cell = dynamic_cast<VKFileResourceCell*>(table.cellForRow({ 0, row }));
        if (!cell)
            throw std::runtime_error("no cell at row " + std::to_string(row));
        cell->layoutIfNeeded();
        return *cell;
    }
    // Scrolls the row into view and touches it.
    void tapRow(ui::TableView& table, int row)
    {
        table.scrollToRow({ 0, row }, ui::TableView::ScrollPosition::Middle, false);
        table.layoutIfNeeded();
        driver.tapRow(table, { 0, row });
    }
    bool sheetShown()
    {
        try {
            return driver.actionSheet() != nullptr;
        } catch (...) {
            return false;
        }
    }
    int rowOf(const std::string& name)
    {
        auto all = names(*controller);
        auto found = std::find(all.begin(), all.end(), name);
        if (found == all.end()) {
            ADD_FAILURE() << name;
            return 0;
        }
        return int(found - all.begin());
    }
    // A file of `size` bytes that takes no room on disk.
    std::string makeSparse(const std::string& relative, off_t size)
    {
        std::string path = makeDocument(relative, "");
        EXPECT_EQ(::truncate(path.c_str(), size), 0);
        return path;
    }
    static Strings titles(const ui::ActionSheet& sheet)
    {
        Strings found;
        for (int i = 0; i < sheet.numberOfButtons(); ++i)
            found.push_back(sheet.buttonTitle(i));
        return found;
    }
};

TEST_F(VKFolderControllerRowsTest, CellTextsIconsAndLayout)
{
    makeDocument("Work/Projects/a.txt");
    makeDocument("Work/Projects/.hidden");
    makeDocument("Work/Empty/");
    makeDocument("Work/One/b.txt");
    makeDocument("Work/notes.txt", std::string(2048, 'n'));
    makeDocument("Work/data.XYZ");
    makeDocument("Work/gone.txt");
    core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(true));
    auto downloads = test::RecordingDownloadHooks::install();
    downloads->addDownload(documents("Work/Projects"), FakeDownload::create(documents("Work/Projects/c.bin")));
    show(documents("Work"));
    ASSERT_TRUE(core::fs::removeItem(documents("Work/gone.txt")));
    controller->tableView().reloadData();
    runLoop();

    auto& table = controller->tableView();
    EXPECT_EQ(table.rowHeight(), 68);
    EXPECT_EQ(cellAt(rowOf("gone.txt")).sizeLabel().text(), "File not found");
    // Folders count their items by the hidden rule, with their downloads.
    EXPECT_EQ(cellAt(rowOf("Projects")).sizeLabel().text(), "2 items");
    EXPECT_EQ(cellAt(rowOf("One")).sizeLabel().text(), "1 item");
    EXPECT_EQ(cellAt(rowOf("Empty")).sizeLabel().text(), "0 items");
    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(true));
    runLoop();
    EXPECT_EQ(cellAt(rowOf("Projects")).sizeLabel().text(), "3 items");
    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(false));
    runLoop();

    auto& notes = cellAt(rowOf("notes.txt"));
    EXPECT_EQ(notes.sizeLabel().text(), "2 KB");
    EXPECT_EQ(notes.titleLabel().text(), "notes.txt");
    EXPECT_FALSE(notes.modificationDateLabel().text().empty());
    // Over the generic icon the extension in lower case; a known type none.
    auto& unknown = cellAt(rowOf("data.XYZ"));
    EXPECT_EQ(unknown.extensionLabel().text(), "xyz");
    EXPECT_FALSE(unknown.extensionLabel().isHidden());
    EXPECT_TRUE(unknown.iconView().frame().contains(unknown.extensionLabel().frame()));
    EXPECT_TRUE(notes.extensionLabel().isHidden());

    // The layout in a 320-point row.
    EXPECT_EQ(notes.iconView().frame(), (gfx::Rect { 5, 2, 64, 64 }));
    EXPECT_EQ(notes.titleLabel().frame().x(), 77);
    EXPECT_NEAR(notes.titleLabel().frame().y(), 10, 0.01);
    EXPECT_EQ(notes.titleLabel().frame().width(), 213);
    EXPECT_FALSE(notes.titleLabel().frame().intersects(notes.sizeLabel().frame()));
    EXPECT_FALSE(notes.sizeLabel().frame().intersects(notes.modificationDateLabel().frame()));
    EXPECT_EQ(notes.modificationDateLabel().frame().maxX(), 290);

    // Without extensions the files lose theirs, folders keep their names.
    core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(false));
    runLoop();
    EXPECT_EQ(cellAt(rowOf("notes.txt")).titleLabel().text(), "notes");
    core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(true));
    runLoop();

    // A row marked deleted is drawn faint.
    resource(documents("Work/notes.txt"))->setMarkedDeleted(true);
    controller->tableView().reloadData();
    EXPECT_EQ(cellAt(rowOf("notes.txt")).contentView().alpha(), 0.5f);
    VKDownloadHooks::setCurrent(nullptr);
}

// Another program adds and removes files inside a folder whose row shows;
// a burst is counted once it settles, on a worker, and the folder's date
// follows too.
TEST_F(VKFolderControllerRowsTest, AFolderRowsCountFollowsItsFolder)
{
    makeDocument("Work/Projects/a.txt");
    makeDocument("Work/Projects/b.txt");
    ASSERT_TRUE(core::fs::setModificationTime(documents("Work/Projects"), 1'577'836'800'000'000'000));
    show(documents("Work"));
    auto count = [&] { return cellAt(rowOf("Projects")).sizeLabel().text(); };
    auto settlesAt = [&](const std::string& expected) {
        runLoop();
        advance(VKFolderCountWatch::SettleDelay);
        return core::RunLoop::main().runUntil([&] { return count() == expected; }, 5);
    };
    EXPECT_EQ(count(), "2 items");
    makeDocument("Work/Projects/c.txt");
    makeDocument("Work/Projects/.hidden");
    EXPECT_TRUE(settlesAt("3 items")) << count();
    EXPECT_EQ(cellAt(rowOf("Projects")).modificationDateLabel().text(),
        descriptionWithNaturalLanguageUsingAbbreviation(*modificationDateOfItemAtPath(documents("Work/Projects")),
            VKDateAbbreviation::None));
    ASSERT_TRUE(core::fs::removeItem(documents("Work/Projects/a.txt")));
    ASSERT_TRUE(core::fs::removeItem(documents("Work/Projects/b.txt")));
    EXPECT_TRUE(settlesAt("1 item")) << count();
}

// A folder's row reads its count and date on a worker, never while it is
// set up; a row reused for another item never shows the answer for the
// folder it showed before.
TEST_F(VKFolderControllerRowsTest, AFolderRowsCountArrivesFromAWorkerForItsOwnItemOnly)
{
    makeDocument("Work/Two/a.txt");
    makeDocument("Work/Two/b.txt");
    makeDocument("Work/Three/a.txt");
    makeDocument("Work/Three/b.txt");
    makeDocument("Work/Three/c.txt");
    makeDocument("Work/notes.txt", std::string(2048, 'n'));
    auto cell = VKFileResourceCell::create("VKFileResourceCell");
    window().addSubview(cell);
    auto& loop = core::RunLoop::main();

    cell->setResource(resource(documents("Work/Two")));
    EXPECT_EQ(cell->sizeLabel().text(), "");
    EXPECT_EQ(cell->modificationDateLabel().text(), "");
    runLoop();
    EXPECT_EQ(cell->sizeLabel().text(), "2 items");
    EXPECT_FALSE(cell->modificationDateLabel().text().empty());
    // Set again for its folder (a reload), it keeps what it shows.
    cell->setResource(resource(documents("Work/Two")));
    EXPECT_EQ(cell->sizeLabel().text(), "2 items");

    // Reused once the count of its last folder is posted back, before the
    // loop ran it.
    auto posted = [] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (VKFolderCountWatch::countsInFlightForTesting() > 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        return VKFolderCountWatch::countsInFlightForTesting() == 0;
    };
    for (const char* next : { "Work/notes.txt", "Work/Three" }) {
        cell->setResource(resource(documents("Work")));
        runLoop();
        cell->setResource(resource(documents("Work/Two")));
        ASSERT_TRUE(posted());
        cell->setResource(resource(documents(next)));
        loop.runUntilIdle();
        EXPECT_NE(cell->sizeLabel().text(), "2 items") << next;
        runLoop();
        EXPECT_EQ(cell->sizeLabel().text(), next == std::string("Work/Three") ? "3 items" : "2 KB");
    }
    cell->removeFromSuperview();
}

TEST_F(VKFolderControllerRowsTest, HostileNamesStayOneLineAndLongDatesGiveWay)
{
    std::string longName = std::string(251, 'L') + ".txt";
    makeDocument("Odd/" + longName);
    makeDocument("Odd/<b>bold&amp;\x01" "\xff.txt");
    core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(true));
    show(documents("Odd"));
    auto& odd = cellAt(rowOf("<b>bold&amp;\x01" "\xff.txt"));
    EXPECT_EQ(odd.titleLabel().text(), "<b>bold&amp;\xEF\xBF\xBD\xEF\xBF\xBD.txt");
    auto& lengthy = cellAt(rowOf(longName));
    EXPECT_EQ(lengthy.titleLabel().frame().width(), 213);
    EXPECT_LE(lengthy.titleLabel().frame().maxX(), 290);

    // A date too long for the room left by the size shortens outside
    // editing, and is cut to the free width while editing.
    auto cell = VKFileResourceCell::create("VKFileResourceCell");
    cell->setFrame({ 0, 0, 180, 68 });
    cell->setResource(resource(documents("Odd/" + longName)));
    cell->layoutIfNeeded();
    std::string shortened = cell->modificationDateLabel().text();
    float freeLeft = cell->sizeLabel().frame().maxX() + 8;
    EXPECT_GE(cell->modificationDateLabel().frame().minX(), freeLeft);
    cell->setIndentationLevel(1);
    cell->setResource(cell->resource());
    cell->layoutIfNeeded();
    std::string full = cell->modificationDateLabel().text();
    EXPECT_LT(shortened.size(), full.size());
    EXPECT_GE(cell->modificationDateLabel().frame().minX(), cell->sizeLabel().frame().maxX() + 8);
    float fullWidth = ui::Fonts::sizeOfString(full, cell->modificationDateLabel().font()).width;
    EXPECT_LT(cell->modificationDateLabel().frame().width(), fullWidth);
}

TEST_F(VKFolderControllerRowsTest, OpeningFoldersArchivesFilesAndWhatCannotOpen)
{
    makeDocument("Box/Sub/x.txt");
    makeDocument("Box/a.zip");
    makeDocument("Box/A.ZIP");
    makeDocument("Box/note.txt");
    makeDocument("Box/gone.txt");
    auto downloads = test::RecordingDownloadHooks::install();
    downloads->addDownload(documents("Box"), FakeDownload::create(documents("Box/movie.mp4")));
    show(documents("Box"));
    auto& table = controller->tableView();

    tapRow(table, rowOf("Sub"));
    advance(1);
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_EQ(navigation->topViewController()->title(), "Sub");
    EXPECT_FALSE(controller->navigationItem().backBarButtonItem());
    driver.tapBack();
    advance(1);

    tapRow(table, rowOf("a.zip"));
    advance(1);
    auto sheet = std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), vkTag(VKFolderCommands::Sheet::Unzip));
    EXPECT_EQ(sheet->title(), "Unzip \"a.zip\"?");
    EXPECT_EQ(titles(*sheet), (Strings { "Unzip", "Cancel" }));
    EXPECT_EQ(sheet->cancelButtonIndex(), 1);
    EXPECT_EQ(sheet->userInfo().objectAs<VKFileResource>()->name(), "a.zip");
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    EXPECT_FALSE(table.indexPathForSelectedRow());
    sheet->dismiss(1, false);
    runLoop();

    // The extension test is exact: capitals open a viewer.
    tapRow(table, rowOf("A.ZIP"));
    advance(1);
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_TRUE(std::dynamic_pointer_cast<VKViewController>(navigation->viewControllers().back()));
    ASSERT_TRUE(controller->navigationItem().backBarButtonItem());
    EXPECT_EQ(controller->navigationItem().backBarButtonItem()->title(), "Back");
    driver.tapBack();
    advance(1);

    tapRow(table, rowOf("movie.mp4"));
    advance(1);
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->message(), "Can't view incomplete downloads.");
    ui::AlertView::resetForTesting();

    ASSERT_TRUE(core::fs::removeItem(documents("Box/gone.txt")));
    size_t reads = controller->listing().directoryReadCount();
    tapRow(table, rowOf("gone.txt"));
    advance(1);
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->message(), "gone.txt no longer exists");
    EXPECT_GT(controller->listing().directoryReadCount(), reads);
    auto listed = names(*controller);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "gone.txt"), 0);
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    ui::AlertView::resetForTesting();

    // While editing nothing opens.
    controller->setEditing(true, false);
    tapRow(table, rowOf("note.txt"));
    advance(1);
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    VKDownloadHooks::setCurrent(nullptr);
}

// Back from a folder the keys opened, the keyboard's place is on that
// folder's row, so the arrows go on from there; rows coming above it do
// not move it off its folder.
TEST_F(VKFolderControllerRowsTest, KeysComeBackToTheFolderTheyOpened)
{
    for (const char* path : { "Box/A/x.txt", "Box/B/x.txt", "Box/C/x.txt" })
        makeDocument(path);
    show(documents("Box"));
    auto& table = controller->tableView();
    for (auto command : { ui::KeyCommand::Down, ui::KeyCommand::Down, ui::KeyCommand::Return })
        EXPECT_TRUE(driver.key(command));
    advance(1);
    ASSERT_EQ(navigation->topViewController()->title(), "B");
    EXPECT_TRUE(driver.key(ui::KeyCommand::Escape));
    advance(1);
    ASSERT_EQ(navigation->topViewController(), controller.get());
    EXPECT_EQ(table.keyboardPlace(), (ui::IndexPath { 0, rowOf("B") }));
    // A folder another program makes above it: the place stays on B.
    makeDocument("Box/AA/x.txt");
    controller->updateModelAndView();
    advance(1);
    ASSERT_EQ(rowOf("B"), 2);
    EXPECT_EQ(table.keyboardPlace(), (ui::IndexPath { 0, rowOf("B") }));
    EXPECT_TRUE(driver.key(ui::KeyCommand::Down));
    EXPECT_EQ(table.indexPathForSelectedRow(), (ui::IndexPath { 0, rowOf("C") }));
}

// The row the keys chose is coloured up to the letter strip, not under it:
// the strip's letters stay on the list's white.
TEST_F(VKFolderControllerRowsTest, TheChosenRowStopsShortOfTheStrip)
{
    makeDocument("S/a.txt");
    makeDocument("S/b.txt");
    show(documents("S"));
    EXPECT_TRUE(driver.key(ui::KeyCommand::Down));
    auto& table = controller->tableView();
    auto* strip = controller->letterStrip().view();
    ASSERT_TRUE(strip && !strip->isHidden());
    ASSERT_TRUE(table.indexPathForSelectedRow());
    table.layoutIfNeeded();
    auto picture = ui::Renderer::renderImage(table);
    ASSERT_TRUE(picture);
    int y = int(table.rectForRow(*table.indexPathForSelectedRow()).midY() - table.bounds().y());
    auto row = test::straightPixel(*picture, int(strip->frame().minX()) - 10, y);
    auto besideLetters = test::straightPixel(*picture, int(strip->frame().maxX()) + 1, y);
    EXPECT_GT(row.blue, row.red) << "the selection's colour";
    EXPECT_EQ(besideLetters, (gfx::Pixel { 255, 255, 255, 255 }));
}

TEST_F(VKFolderControllerRowsTest, MarkedSizesStay64BitAndMarksFollowTheirItems)
{
    makeSparse("Big/b.iso", off_t(3) << 30);
    makeSparse("Big/c.iso", off_t(3) << 30);
    makeDocument("Big/d.txt", "1234");
    show(documents("Big"));
    controller->setEditing(true, false);
    runLoop();
    auto& table = controller->tableView();
    EXPECT_FALSE(controller->navigationItem().leftBarButtonItem() == nullptr);
    EXPECT_EQ(controller->navigationItem().leftBarButtonItem()->title(), "New Folder");

    // A touch anywhere on the row marks it in the marking mode.
    tapRow(table, rowOf("b.iso"));
    tapRow(table, rowOf("c.iso"));
    advance(0.5);
    EXPECT_TRUE(cellAt(rowOf("b.iso")).isMarked());
    EXPECT_EQ(controller->editing().markedSize(), uint64_t(6) << 30);
    EXPECT_FALSE(table.indexPathForSelectedRow());

    // A client adds a.txt: b and c move down a row and keep their marks.
    makeDocument("Big/a.txt");
    postWebDAVUpdate(documents("Big"));
    advance(1);
    ASSERT_EQ(names(*controller), (Strings { "a.txt", "b.iso", "c.iso", "d.txt" }));
    std::vector<std::string> marked;
    for (auto& item : controller->editing().markedResources())
        marked.push_back(item->name());
    EXPECT_EQ(marked, (Strings { "b.iso", "c.iso" }));
    EXPECT_FALSE(cellAt(0).isMarked());
    EXPECT_TRUE(cellAt(1).isMarked());

    // A marked item that vanishes takes its size along.
    ASSERT_TRUE(core::fs::removeItem(documents("Big/c.iso")));
    postWebDAVUpdate(documents("Big"));
    advance(1);
    EXPECT_EQ(controller->editing().markedSize(), uint64_t(3) << 30);
    tapRow(table, rowOf("b.iso"));
    EXPECT_EQ(controller->editing().markedSize(), 0u);
    tapRow(table, rowOf("b.iso"));
    controller->tableSide().didUnmarkCell(table, { 0, rowOf("d.txt") });
    EXPECT_EQ(controller->editing().markedSize(), uint64_t(3) << 30);

    // Leaving editing clears the marks and brings the help back.
    controller->setEditing(false, false);
    EXPECT_EQ(controller->editing().markedSize(), 0u);
    EXPECT_FALSE(cellAt(rowOf("b.iso")).isMarked());
    EXPECT_FALSE(cellAt(rowOf("b.iso")).markControl());
}

TEST_F(VKFolderControllerRowsTest, SwipeDeleteTrashesAndRemovesTheRowWithoutReload)
{
    makeDocument("Del/only.txt");
    makeDocument("Other/Work/inside.txt");
    show(documents("Del"));
    auto& table = controller->tableView();
    Strings posted;
    auto a = core::NotificationCenter::defaultCenter().observe(VKFolderControllerWillDeleteResourceNotification, nullptr,
        [&](const VKResourceDeletion& deletion) { posted.push_back("will " + deletion.path); });
    auto b = core::NotificationCenter::defaultCenter().observe(VKFolderControllerCollectionDidUpdateNotification, nullptr,
        [&](const VKFolderUpdate& update) { posted.push_back("did " + update.path); });
    size_t builds = controller->listing().buildCount();

    driver.swipeRow(table, { 0, 0 });
    runLoop();
    auto* cell = table.cellForRow({ 0, 0 });
    ASSERT_TRUE(cell && cell->showingDeleteConfirmation());
    EXPECT_TRUE(controller->letterStrip().view()->isHidden()) << "the strip would cover the Delete button";
    driver.tap(*cell->deleteConfirmationButton());
    advance(1);
    EXPECT_TRUE(controller->letterStrip().view()->isHidden()) << "an emptied folder has no strip";
    EXPECT_FALSE(core::fs::exists(documents("Del/only.txt")));
    EXPECT_EQ(table.numberOfRows(0), 0);
    EXPECT_EQ(controller->listing().buildCount(), builds);
    EXPECT_EQ(controller->folderInfo(), "No Items");
    EXPECT_EQ(posted, (Strings { "will " + documents("Del/only.txt"), "did " + documents("Del") }));

    // A folder that is not empty asks first.
    show(documents("Other"));
    controller->tableSide().commitEditing(controller->tableView(), ui::TableViewCell::EditingStyle::Delete, { 0, 0 });
    runLoop();
    auto sheet = std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), vkTag(VKFolderCommands::Sheet::DeleteFolder));
    EXPECT_EQ(sheet->title(), "\"Work\" is not empty");
    EXPECT_EQ(titles(*sheet), (Strings { "Delete", "Cancel" }));
    EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
    EXPECT_TRUE(core::fs::exists(documents("Other/Work")));
    sheet->dismiss(1, false);

    // A guest or a running operation cannot swipe.
    EXPECT_TRUE(controller->tableSide().canEditRow(controller->tableView(), { 0, 0 }));
    delegate->setGuestModeForTesting(true);
    EXPECT_FALSE(controller->tableSide().canEditRow(controller->tableView(), { 0, 0 }));
    auto& multi = dynamic_cast<VKMultiEditTableView&>(controller->tableView());
    EXPECT_EQ(controller->tableSide().tableViewCanHandleSwipes(multi), false);
    delegate->setGuestModeForTesting(false);
    EXPECT_EQ(controller->tableSide().tableViewCanHandleSwipes(multi), true);
    controller->setEditing(true, false);
    EXPECT_EQ(controller->tableSide().tableViewCanHandleSwipes(multi), false);
}

TEST_F(VKFolderControllerRowsTest, EditingAfterASwipeMarksRows)
{
    makeDocument("Swiped/a.txt");
    makeDocument("Swiped/b.txt");
    makeDocument("Swiped/c.txt");
    show(documents("Swiped"));
    auto& table = dynamic_cast<VKMultiEditTableView&>(controller->tableView());
    auto edit = [&] {
        controller->setEditing(true, false);
        runLoop();
        EXPECT_EQ(table.editingMode(), VKMultiEditTableView::MultiEditMode);
        EXPECT_FALSE(table.isEditing()) << "the platform's red circles";
        EXPECT_EQ(controller->toolbarItems(), controller->editingToolbarItems());
        driver.tapRow(table, { 0, 0 });
        EXPECT_EQ(controller->editing().markedResources().size(), 1u);
        controller->setEditing(false, false);
    };

    // After a delete by swipe, and with a swipe's Delete still showing.
    driver.swipeRow(table, { 0, 0 });
    runLoop();
    driver.tap(*table.cellForRow({ 0, 0 })->deleteConfirmationButton());
    advance(1);
    ASSERT_EQ(table.numberOfRows(0), 2);
    edit();
    driver.swipeRow(table, { 0, 1 });
    runLoop();
    ASSERT_TRUE(table.swipedRow());
    edit();
    EXPECT_FALSE(table.cellForRow({ 0, 1 })->showingDeleteConfirmation());
}

TEST_F(VKFolderControllerRowsTest, LongTouchOnlyInSearchResultsAndOnlyWhenStill)
{
    makeDocument("Find/report.txt");
    makeDocument("Find/other.txt");
    VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
    show(documents("Find"));
    auto& table = controller->tableView();
    table.layoutIfNeeded();
    gfx::Point middle = table.convertPoint(mid(table.rectForRow({ 0, 1 })), &window());

    // Outside a search a held row does nothing (the touch is taken back,
    // or lifting it would open the row).
    auto fingers = driver.touchDown({ middle });
    driver.wait(1.3);
    EXPECT_FALSE(sheetShown());
    driver.touchCancel(fingers);
    advance(0.5);

    controller->beginSearch();
    runLoop();
    driver.type("report");
    advance(0.5);
    auto& results = controller->activeTableView();
    results.layoutIfNeeded();
    gfx::Point row = results.convertPoint(mid(results.rectForRow({ 0, 0 })), &window());

    // A drift of 6 points cancels, one of 4 does not.
    fingers = driver.touchDown({ row });
    driver.wait(0.3);
    driver.touchMove({ { fingers[0], { row.x + 6, row.y } } });
    driver.wait(1.2);
    EXPECT_FALSE(sheetShown());
    driver.touchCancel(fingers);
    advance(0.5);

    fingers = driver.touchDown({ row });
    driver.wait(0.3);
    driver.touchMove({ { fingers[0], { row.x + 4, row.y - 4 } } });
    driver.wait(1.0);
    auto sheet = std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), vkTag(VKFolderCommands::Sheet::LongTouch));
    EXPECT_EQ(sheet->title(), "report.txt");
    EXPECT_EQ(titles(*sheet), (Strings { "Open", "Reveal in Folder", "Cancel" }));
    EXPECT_EQ(sheet->tagForButtonAtIndex(0), vkTag(VKFolderCommands::EditAction::Open));
    EXPECT_EQ(sheet->tagForButtonAtIndex(1), vkTag(VKFolderCommands::EditAction::Reveal));
    driver.touchCancel(fingers);
    sheet->dismiss(2, false);
    runLoop();
}

TEST_F(VKFolderControllerRowsTest, ViewersWalkAndTrashThroughTheScreen)
{
    auto downloads = test::RecordingDownloadHooks::install();
    makeDocument("Pics/a.jpg");
    makeDocument("Pics/b.txt");
    makeDocument("Pics/c/");
    makeDocument("Pics/e.png");
    makeDocument("Pics/f.jpg");
    downloads->addDownload(documents("Pics"), FakeDownload::create(documents("Pics/d.jpg")));
    show(documents("Pics"));
    auto at = [&](const std::string& name) { return resource(documents("Pics/" + name)); };
    VKViewerFolderHost& host = *controller;
    EXPECT_EQ(host.getNextViewableResourceRelativeToResource(at("a.jpg"), std::optional<std::string>("image/"))->name(),
        "e.png");

    // The trash through the viewers' door.
    EXPECT_EQ(controller->moveResourceToTrash(at("b.txt")), VKViewerFolderHost::TrashMoved);
    EXPECT_EQ(names(*controller), (Strings { "a.jpg", "c", "d.jpg", "e.png", "f.jpg" }));
    VKDownloadHooks::setCurrent(nullptr);
}

TEST_F(VKFolderControllerRowsTest, ScrollPositionKeptPerFolderAndInTheSavedState)
{
    for (int i = 0; i < 40; ++i)
        makeDocument(fmt::format("Long/file {:02}.txt", i));
    show(documents("Long"));
    auto& table = controller->tableView();
    table.layoutIfNeeded();
    float bar = controller->searchBar()->frame().height();
    ASSERT_GT(bar, 0);

    // Kept as the screen goes.
    table.setContentOffset({ 0, bar + 500 });
    controller->viewWillDisappear(false);
    EXPECT_EQ(VKFolderScrollMemory::stored(documents("Long")), bar + 500);
    // A new screen for the folder comes back there.
    show(documents("Long"));
    EXPECT_EQ(controller->tableView().contentOffset().y, bar + 500);

    // Scrolled only as far as the bar: forgotten.
    controller->tableView().setContentOffset({ 0, bar });
    controller->viewWillDisappear(false);
    EXPECT_EQ(VKFolderScrollMemory::stored(documents("Long")), std::nullopt);

    // The saved state holds a fraction, applied on the next pass; values
    // that are no fraction are clamped or ignored.
    auto& shown = controller->tableView();
    float maximum = shown.contentSize().height - shown.bounds().height();
    shown.setContentOffset({ 0, maximum / 2 });
    auto state = controller->currentStateDictionary();
    EXPECT_NEAR(state[VKFolderScrollMemory::StateKey].toReal(), 0.5, 0.01);
    shown.setContentOffset({ 0, 0 });
    controller->restoreStateFromDictionary(state);
    EXPECT_EQ(shown.contentOffset().y, 0);
    runLoop();
    EXPECT_NEAR(shown.contentOffset().y, maximum / 2, 1);
}

TEST_F(VKFolderControllerRowsTest, ToolbarDownloadsBadgeUploadsAndGuest)
{
    auto downloads = test::RecordingDownloadHooks::install();
    auto cloud = test::RecordingCloudHooks::install();
    makeDocument("Bar/a.txt");
    show(documents("Bar"));
    auto actions = [&] {
        Strings found;
        for (auto& item : controller->toolbarItems()) {
            auto action = item->customView() ? item->customView()->tag() : 0;
            found.push_back(item->isFlexibleSpace() ? "flex" : action == 1001 ? "downloads" : std::to_string(action));
        }
        return found;
    };
    ASSERT_EQ(controller->toolbarItems().size(), 7u);
    auto downloadsItem = controller->toolbarItems()[5];
    ASSERT_EQ(downloadsItem->customView()->tag(), vkTag(VKFolderToolbar::Button::Downloads));
    EXPECT_EQ(downloadsItem->customView()->frame().width(), 44);
    auto* badged = dynamic_cast<VKBadgedButton*>(downloadsItem->customView().get());
    ASSERT_TRUE(badged);
    EXPECT_FALSE(badged->badgeValue());
    downloads->setWebDownloadCount(3);
    controller->updateDownloadsBadgeValue();
    EXPECT_EQ(badged->badgeValue(), "3");
    downloads->setWebDownloadCount(0);
    controller->updateDownloadsBadgeValue();
    EXPECT_FALSE(badged->badgeValue());

    cloud->setActiveUploads(3, 0.25f);
    controller->updateUploadProgressView();
    ASSERT_TRUE(controller->uploadOperationProgressView());
    controller->updateUploadProgressView();
    EXPECT_EQ(controller->uploadOperationProgressView()->text(), "Uploading 3 Items");
    // The bar follows the total while it changes.
    cloud->setActiveUploads(3, 0.75f);
    EXPECT_FLOAT_EQ(controller->uploadOperationProgressView()->progress(), 0.75f);
    cloud->setActiveUploads(1, 0.5f);
    controller->updateUploadProgressView();
    EXPECT_EQ(controller->uploadOperationProgressView()->text(), "Uploading 1 Item");
    cloud->setActiveUploads(0, 0);
    controller->updateUploadProgressView();
    EXPECT_FALSE(controller->uploadOperationProgressView());

    delegate->setGuestModeForTesting(true);
    controller->updateToolbarItems();
    EXPECT_EQ(controller->toolbarItems().size(), 5u);
    auto shown = actions();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "downloads"), 0);
    delegate->setGuestModeForTesting(false);
    VKDownloadHooks::setCurrent(nullptr);
    VKCloudHooks::setCurrent(nullptr);
}


TEST_F(VKFolderControllerRowsTest, RevealFlashesFourTimesAndSelectingNeverScrolls)
{
    for (int i = 0; i < 40; ++i)
        makeDocument(fmt::format("Many/file {:02}.txt", i));
    show(documents("Many"));
    auto& table = controller->tableView();
    table.layoutIfNeeded();
    auto target = resource(documents("Many/file 30.txt"));

    controller->revealAndHighlightResource(target);
    table.layoutIfNeeded();
    gfx::Rect row = table.rectForRow({ 0, 30 });
    EXPECT_NEAR(row.midY() - table.contentOffset().y, table.bounds().height() / 2, 1);
    auto selected = [&] { return table.cellForRow({ 0, 30 })->isSelected(); };
    std::vector<bool> seen { selected() };
    for (int i = 0; i < 4; ++i) {
        advance(0.5);
        seen.push_back(selected());
    }
    EXPECT_EQ(seen, (std::vector<bool> { true, false, true, false, false }));

    // Selecting and deselecting leave the offset alone; scrolling leaves a
    // row that shows whole where it is.
    float offset = table.contentOffset().y;
    controller->rowReveal().select(resource(documents("Many/file 00.txt")), false);
    EXPECT_EQ(table.contentOffset().y, offset);
    EXPECT_EQ(table.indexPathForSelectedRow(), (ui::IndexPath { 0, 0 }));
    controller->rowReveal().deselect(resource(documents("Many/file 00.txt")), false);
    EXPECT_FALSE(table.indexPathForSelectedRow());
    controller->rowReveal().scrollTo(target, ui::TableView::ScrollPosition::Top, false);
    EXPECT_EQ(table.contentOffset().y, offset);
    controller->rowReveal().scrollTo(resource(documents("Many/file 00.txt")), ui::TableView::ScrollPosition::Top, false);
    EXPECT_LT(table.contentOffset().y, offset);
}

TEST_F(VKFolderControllerRowsTest, DownloadNewsRefreshTheBadge)
{
    auto downloads = test::RecordingDownloadHooks::install();
    makeDocument("Inbox/a.txt");
    show(documents("Inbox"));
    auto item = controller->findBarButtonItemWithAction(VKFolderToolbar::ShowDownloadsAction);
    ASSERT_TRUE(item);
    auto* badged = dynamic_cast<VKBadgedButton*>(item->customView().get());
    ASSERT_TRUE(badged);
    downloads->setWebDownloadCount(2);
    core::NotificationCenter::defaultCenter().post(VKDownloadManagerDownloadDidStartNotification,
        FakeDownload::create(documents("Elsewhere/movie.mp4")));
    EXPECT_EQ(badged->badgeValue(), "2");
    VKDownloadHooks::setCurrent(nullptr);
}

} // namespace
