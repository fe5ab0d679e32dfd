// The folder picker: its roots, Cancel, the rows of a folder and their
// order, picking and opening, disabled folders (whole components, passed
// over by the arrows), the header, the remembered folder and what may not
// reopen, updates from the server and the cloud, and where the message and
// the spinner sit.

#include "RootFolderTestCase.h"

#include "App/FolderBrowser/VKFolderPickerController.h"
#include "App/FolderBrowser/VKFolderPickerViewController.h"
#include "App/FolderBrowser/VKRootFolderDataSource.h"
#include "Cloud/VKCloudService.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/Window.h"
#include "WebDAV/WebDAVResponse.h"

#include <gtest/gtest.h>

namespace {

using FolderPicker = VKFolderPickerController;
using Screen = VKFolderPickerViewController;

class RecordingPickerDelegate : public VKFolderPickerControllerDelegate {
public:
    void folderPickerController(FolderPicker&, const std::shared_ptr<VKFileResource>& folder) override
    {
        picked.push_back(folder ? folder->path() : "(none)");
    }
    void didCancelFolderPickerController(FolderPicker&) override { ++cancels; }
    std::vector<std::string> picked;
    int cancels = 0;
};

class VKFolderPickerControllerTest : public test::RootFolderTestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        picker.reset();
        test::RootFolderTestCase::TearDown();
    }
    std::shared_ptr<FolderPicker> open(std::shared_ptr<FolderPicker> made)
    {
        window().setRootViewController(nullptr);
        picker = std::move(made);
        picker->setPickerDelegate(pickerDelegate);
        window().setRootViewController(picker);
        runLoop();
        return picker;
    }
    void close()
    {
        window().setRootViewController(nullptr);
        runLoop();
    }
    Screen& top() { return dynamic_cast<Screen&>(*picker->viewControllers().back()); }
    std::vector<std::string> rows(Screen& screen)
    {
        std::vector<std::string> result;
        auto& table = screen.tableView();
        for (int section = 0; section < table.numberOfSections(); ++section)
            for (int row = 0; row < table.numberOfRows(section); ++row)
                result.push_back(screen.numberOfSections(table) && screen.rootDataSource()
                        ? screen.rootDataSource()->titleForIndexPath({ section, row })
                        : screen.folders()[size_t(row)]->name());
        return result;
    }
    void openFolder(const std::string& path)
    {
        picker->pushViewController(Screen::create(resource(path)), false);
        runLoop();
    }
    // The screen's cell of the row, laid out.
    ui::TableViewCell& cell(Screen& screen, ui::IndexPath path)
    {
        screen.tableView().layoutIfNeeded();
        auto* found = screen.tableView().cellForRow(path);
        EXPECT_TRUE(found);
        return *found;
    }
    static std::string stored()
    {
        auto value = core::UserDefaults::standard()->object(FolderPicker::LastKnownLeafKey);
        return value.isString() ? value.string() : "(none)";
    }
    std::string photos2023()
    {
        makeFolder(publicFolder("Photos"));
        return makeFolder(publicFolder("Photos/2023"));
    }

    std::shared_ptr<FolderPicker> picker;
    std::shared_ptr<RecordingPickerDelegate> pickerDelegate = std::make_shared<RecordingPickerDelegate>();
};

TEST_F(VKFolderPickerControllerTest, FactoriesListTheirRoots)
{
    auto linked = installService("Linked", true);
    installService("Unlinked", false);
    open(FolderPicker::folderPickerWithLocalDirectories());
    EXPECT_EQ(rows(top()), (std::vector<std::string> { "Documents", "Public" }));
    EXPECT_EQ(picker->rootFolderDataSource()->localDirectories().front(), documents());
    EXPECT_FALSE(picker->rootResource());
    EXPECT_EQ(picker->contentSizeForViewInPopover(), (gfx::Size { 320, 500 }));
    EXPECT_EQ(top().contentSizeForViewInPopover(), (gfx::Size { 320, 500 }));

    open(FolderPicker::folderPickerWithStandardDirectories());
    EXPECT_EQ(rows(top()), (std::vector<std::string> { "Documents", "Public", "Linked" }));
    open(FolderPicker::folderPickerWithLinkedCloudServices());
    EXPECT_EQ(rows(top()), (std::vector<std::string> { "Linked" }));

    // One service: a remembered folder elsewhere becomes its root, which
    // the picker then opens on.
    close();
    core::UserDefaults::standard()->set(FolderPicker::LastKnownLeafKey, core::Value("~/Documents"));
    open(FolderPicker::folderPickerWithCloudService(linked));
    ASSERT_EQ(picker->viewControllers().size(), 2u);
    EXPECT_EQ(top().resource()->path(), linked->localPath());
    EXPECT_EQ(stored(), "(none)");
}

TEST_F(VKFolderPickerControllerTest, CancelIsOnEveryScreen)
{
    makeFolder(publicFolder("Photos"));
    open(FolderPicker::folderPickerWithLocalDirectories());
    EXPECT_FALSE(picker->showsCancelButton());
    picker->navigationItem().setPrompt("Move 2 Items");
    picker->setShowsCancelButton(true);
    EXPECT_TRUE(picker->showsCancelButton());
    auto cancel = top().navigationItem().rightBarButtonItem();
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->systemItem(), ui::BarButtonItem::SystemItem::Cancel);
    EXPECT_EQ(cancel, picker->navigationItem().rightBarButtonItem());

    openFolder(publicFolder());
    EXPECT_EQ(top().navigationItem().rightBarButtonItem(), cancel);
    EXPECT_EQ(top().navigationItem().prompt(), "Move 2 Items");
    driver.tapBarItem(*cancel);
    runLoop();
    EXPECT_EQ(pickerDelegate->cancels, 1);

    picker->setShowsCancelButton(false);
    EXPECT_FALSE(picker->showsCancelButton());
    EXPECT_FALSE(top().navigationItem().rightBarButtonItem());
}

TEST_F(VKFolderPickerControllerTest, RowsAreVisibleSubfoldersInFileNameOrder)
{
    for (const char* name : { "f10", "F11", "f2", ".config" })
        makeFolder(publicFolder(name));
    ASSERT_TRUE(core::fs::writeFileAtomically(publicFolder("file.txt"), "x"));
    rescan(publicFolder());
    open(FolderPicker::folderPickerWithLocalDirectories());
    openFolder(publicFolder());
    EXPECT_EQ(rows(top()), (std::vector<std::string> { "f2", "f10", "F11" }));
    EXPECT_FALSE(top().errorLabel());

    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(true));
    top().reloadFolders();
    EXPECT_EQ(rows(top()), (std::vector<std::string> { ".config", "f2", "f10", "F11" }));
    // A custom predicate holds as well.
    top().setPredicate([](const VKFileResource& folder) { return folder.name() != "f10"; });
    top().reloadFolders();
    EXPECT_EQ(rows(top()), (std::vector<std::string> { ".config", "f2", "F11" }));
    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(false));
    top().reloadFolders();
    EXPECT_EQ(rows(top()), (std::vector<std::string> { "f2", "F11" }));

    // No folders: "No Folders".
    openFolder(makeFolder(publicFolder("f2/Empty")));
    ASSERT_TRUE(top().errorLabel());
    EXPECT_EQ(top().errorLabel()->text(), "No Folders");
    EXPECT_EQ(top().errorLabel()->superview(), &top().tableView());
}

TEST_F(VKFolderPickerControllerTest, ATapPicksAndTheAccessoryOpens)
{
    makeFolder(publicFolder("Photos"));
    open(FolderPicker::folderPickerWithLocalDirectories());
    auto& root = top();
    auto& publicRow = cell(root, { 0, 1 });
    auto* accessory = dynamic_cast<ui::Button*>(publicRow.accessoryView().get());
    ASSERT_TRUE(accessory);
    EXPECT_GE(accessory->frame().width(), 44);
    EXPECT_GE(accessory->frame().height(), 44);
    EXPECT_TRUE(accessory->imageForState(ui::Control::Normal));
    EXPECT_TRUE(accessory->imageForState(ui::Control::Highlighted));

    // From the keyboard, Right opens the row the arrows reached.
    for (auto command : { ui::KeyCommand::Down, ui::KeyCommand::Down, ui::KeyCommand::Right })
        driver.key(command);
    advance(1);
    ASSERT_EQ(picker->viewControllers().size(), 2u);
    EXPECT_EQ(top().resource()->path(), publicFolder());
    picker->popViewController(false);

    driver.tap(*accessory);
    advance(1);
    ASSERT_EQ(picker->viewControllers().size(), 2u);
    EXPECT_EQ(top().resource()->path(), publicFolder());
    EXPECT_EQ(rows(top()), (std::vector<std::string> { "Photos" }));

    driver.tap(cell(top(), { 0, 0 }));
    runLoop();
    EXPECT_EQ(pickerDelegate->picked, (std::vector<std::string> { publicFolder("Photos") }));
}

TEST_F(VKFolderPickerControllerTest, DisabledFoldersByWholeComponents)
{
    for (const char* name : { "A", "AB", "L" })
        makeFolder(publicFolder(name));
    makeFolder(publicFolder("L/Inside"));
    open(FolderPicker::folderPickerWithLocalDirectories());
    openFolder(publicFolder());
    auto& screen = top();
    ASSERT_EQ(rows(screen), (std::vector<std::string> { "A", "AB", "L" }));
    int reloads = 0;
    picker->addDisabledFolder(resource(publicFolder("A")), true);
    picker->addDisabledFolder(resource(publicFolder("L")), false);
    EXPECT_EQ(picker->disabledValueForFolder(*resource(publicFolder("A"))), true);
    EXPECT_EQ(picker->disabledValueForFolder(*resource(publicFolder("L"))), false);
    EXPECT_EQ(picker->disabledValueForFolder(*resource(publicFolder("AB"))), std::nullopt);
    (void)reloads;

    // A: grey, not picked, not opened.
    auto& a = cell(screen, { 0, 0 });
    EXPECT_EQ(a.contentView().alpha(), 0.5f);
    EXPECT_TRUE(a.accessoryView()->isHidden());
    driver.tap(a);
    runLoop();
    EXPECT_FALSE(screen.tableView().indexPathForSelectedRow());
    EXPECT_TRUE(pickerDelegate->picked.empty());

    // AB only shares a prefix of letters with A: it is free.
    auto& ab = cell(screen, { 0, 1 });
    EXPECT_EQ(ab.contentView().alpha(), 1.0f);
    EXPECT_FALSE(ab.accessoryView()->isHidden());
    EXPECT_FALSE(picker->isFolderDisabled(publicFolder("AB")));
    EXPECT_TRUE(picker->isFolderDisabled(publicFolder("A/Below")));

    // L: grey and not picked, but it opens and its folders may be picked.
    auto& l = cell(screen, { 0, 2 });
    EXPECT_EQ(l.contentView().alpha(), 0.5f);
    ASSERT_FALSE(l.accessoryView()->isHidden());
    driver.tap(l);
    runLoop();
    EXPECT_TRUE(pickerDelegate->picked.empty());

    // The arrows pass over A, which neither picks nor opens, and rest on L,
    // whose Return picks nothing.
    auto selected = [&] { return screen.tableView().indexPathForSelectedRow(); };
    driver.key(ui::KeyCommand::Down);
    EXPECT_EQ(selected(), (ui::IndexPath { 0, 1 }));
    driver.key(ui::KeyCommand::Up);
    EXPECT_EQ(selected(), (ui::IndexPath { 0, 1 }));
    driver.key(ui::KeyCommand::Down);
    EXPECT_EQ(selected(), (ui::IndexPath { 0, 2 }));
    driver.key(ui::KeyCommand::Return);
    runLoop();
    EXPECT_TRUE(pickerDelegate->picked.empty());
    driver.tap(*l.accessoryView());
    advance(1);
    ASSERT_EQ(top().resource()->path(), publicFolder("L"));
    driver.tap(cell(top(), { 0, 0 }));
    runLoop();
    EXPECT_EQ(pickerDelegate->picked, (std::vector<std::string> { publicFolder("L/Inside") }));
}

TEST_F(VKFolderPickerControllerTest, TheHeaderIsTheLocationCutToTheWidth)
{
    std::string leaf = photos2023();
    open(FolderPicker::folderPickerWithLocalDirectories());
    openFolder(leaf);
    EXPECT_EQ(top().titleForHeader(top().tableView(), 0), "Public > Photos > 2023");

    std::string longName(120, 'x');
    std::string deep = makeFolder(publicFolder("Photos/2023/" + longName));
    openFolder(deep);
    auto header = top().titleForHeader(top().tableView(), 0).value_or("");
    EXPECT_TRUE(header.ends_with("…") || header.find("…") != std::string::npos) << header;
    EXPECT_LE(ui::Fonts::sizeOfString(header, ui::Fonts::boldSystemFont(18)).width,
        top().tableView().bounds().width() - 28);
}

TEST_F(VKFolderPickerControllerTest, TheLastFolderIsRememberedAndReopened)
{
    std::string leaf = photos2023();
    open(FolderPicker::folderPickerWithLocalDirectories());
    openFolder(publicFolder());
    openFolder(publicFolder("Photos"));
    openFolder(leaf);
    close();
    EXPECT_EQ(stored(), "~/Documents/Photos/2023");

    open(FolderPicker::folderPickerWithLocalDirectories());
    EXPECT_EQ(stored(), "(none)");
    ASSERT_EQ(picker->viewControllers().size(), 4u);
    EXPECT_EQ(dynamic_cast<Screen&>(*picker->viewControllers()[1]).resource()->path(), publicFolder());
    EXPECT_EQ(dynamic_cast<Screen&>(*picker->viewControllers()[2]).resource()->path(), publicFolder("Photos"));
    EXPECT_EQ(top().resource()->path(), leaf);

    // Closing on the root forgets it.
    picker->popToRootViewController(false);
    runLoop();
    close();
    EXPECT_EQ(stored(), "(none)");

    // Turning browsing off pops to the root and forgets.
    close();
    core::UserDefaults::standard()->set(FolderPicker::LastKnownLeafKey, core::Value("~/Documents/Photos"));
    open(FolderPicker::folderPickerWithLocalDirectories());
    ASSERT_EQ(picker->viewControllers().size(), 3u);
    openFolder(leaf);
    picker->setSubfolderBrowsingDisabled(true);
    runLoop();
    EXPECT_EQ(picker->viewControllers().size(), 1u);
    EXPECT_TRUE(picker->subfolderBrowsingDisabled());
    EXPECT_TRUE(cell(top(), { 0, 1 }).accessoryView()->isHidden());
    close();
    EXPECT_EQ(stored(), "(none)");
}

TEST_F(VKFolderPickerControllerTest, WhatMayNotReopenOpensTheRoot)
{
    std::string leaf = photos2023();
    auto service = installService("Cloud", true);
    std::string cloudFolder = makeCloudFolder(*service, "Work");
    // A picker closing stores its own top: each case starts closed.
    auto expectRootOnly = [&](const core::Value& value, std::function<void(FolderPicker&)> prepare = {}) {
        close();
        core::UserDefaults::standard()->set(FolderPicker::LastKnownLeafKey, value);
        auto made = FolderPicker::folderPickerWithStandardDirectories();
        if (prepare)
            prepare(*made);
        open(made);
        EXPECT_EQ(picker->viewControllers().size(), 1u) << value.toString();
        EXPECT_EQ(stored(), "(none)") << value.toString();
    };
    // A cloud folder of a linked, listed service reopens.
    close();
    core::UserDefaults::standard()->set(FolderPicker::LastKnownLeafKey, core::Value(cloudFolder));
    open(FolderPicker::folderPickerWithStandardDirectories());
    EXPECT_EQ(picker->viewControllers().size(), 3u);

    expectRootOnly(core::Value(int64_t(3)));
    expectRootOnly(core::Value("Documents/Photos"));
    expectRootOnly(core::Value("/etc"));
    expectRootOnly(core::Value("~/Documents/Photos/../Photos/2023"));
    expectRootOnly(core::Value(std::string("~/Documents/Photos\0/2023", 25)));
    // Deleted meanwhile.
    expectRootOnly(core::Value("~/Documents/Gone"));
    // Inside a folder disabled with everything below it; "/A" never
    // stands for "/AB".
    expectRootOnly(core::Value("~/Documents/Photos/2023"), [&](FolderPicker& made) {
        made.addDisabledFolder(resource(publicFolder("Photos")), true);
    });
    close();
    core::UserDefaults::standard()->set(FolderPicker::LastKnownLeafKey, core::Value("~/Documents/Photos/2023"));
    auto made = FolderPicker::folderPickerWithLocalDirectories();
    made->addDisabledFolder(resource(publicFolder("Photo")), true);
    open(made);
    EXPECT_EQ(picker->viewControllers().size(), 4u);
    // A cloud folder when the picker lists no services, or the service is
    // no longer linked.
    close();
    core::UserDefaults::standard()->set(FolderPicker::LastKnownLeafKey, core::Value(cloudFolder));
    open(FolderPicker::folderPickerWithLocalDirectories());
    EXPECT_EQ(picker->viewControllers().size(), 1u);
    service->setLinked(false);
    expectRootOnly(core::Value(cloudFolder));
}

TEST_F(VKFolderPickerControllerTest, UpdatesReloadTheShownFolder)
{
    open(FolderPicker::folderPickerWithLocalDirectories());
    openFolder(publicFolder());
    EXPECT_TRUE(rows(top()).empty());
    makeFolder(publicFolder("New"));
    postWebDAVUpdate(publicFolder("Elsewhere"));
    runLoop();
    EXPECT_TRUE(rows(top()).empty());
    postBrowserUpdate(publicFolder());
    runLoop();
    EXPECT_EQ(rows(top()), (std::vector<std::string> { "New" }));
    EXPECT_FALSE(top().errorLabel());
}

TEST_F(VKFolderPickerControllerTest, ACloudFolderAsksForAFreshListing)
{
    auto service = installService("Cloud", true);
    std::string work = makeCloudFolder(*service, "Work");
    open(FolderPicker::folderPickerWithLinkedCloudServices());
    openFolder(work);
    EXPECT_EQ(service->calls().back(), "updateMetadata /Work");
    ASSERT_TRUE(top().hasActivityIndicator());
    EXPECT_TRUE(top().activityIndicator().isAnimating());
    EXPECT_EQ(top().activityIndicator().activityIndicatorViewStyle(), ui::ActivityIndicator::Style::Gray);

    makeCloudFolder(*service, "Work/Sub");
    core::NotificationCenter::defaultCenter().post(VKCloudServiceMetadataUnchangedNotification, service,
        { {}, work, std::nullopt, false });
    runLoop();
    EXPECT_FALSE(top().hasActivityIndicator());
    EXPECT_EQ(rows(top()), (std::vector<std::string> { "Sub" }));

    openFolder(makeCloudFolder(*service, "Other"));
    core::NotificationCenter::defaultCenter().post(VKCloudServiceMetadataLoadFailedNotification, service,
        { {}, service->localPath() + "/Other", std::nullopt, false });
    runLoop();
    EXPECT_FALSE(top().hasActivityIndicator());
    ASSERT_TRUE(top().errorLabel());
    EXPECT_EQ(top().errorLabel()->text(), "Sync Failed");
}

TEST_F(VKFolderPickerControllerTest, TheMessageSitsInTheMiddleRowBand)
{
    open(FolderPicker::folderPickerWithLocalDirectories());
    openFolder(publicFolder());
    auto& screen = top();
    auto& table = screen.tableView();
    ASSERT_TRUE(screen.errorLabel());
    gfx::Rect bounds = table.bounds();
    gfx::Rect frame = screen.errorLabel()->frame();
    // Portrait 320 × 372 (under the bar), header 22, rows 44: the band is
    // 22 + 44 × floor(350 / 2 / 44) = 154, one row higher: 110.
    float h = table.rectForHeader(0).height();
    float band = h + 44 * std::floor((bounds.height() - h) * 0.5f / 44) - 44;
    EXPECT_EQ(frame.minY(), band + std::floor((44 - frame.height()) * 0.5f));
    EXPECT_NEAR(frame.midX(), bounds.midX(), 0.5f);
}

TEST_F(VKFolderPickerControllerTest, TheMessageSitsInTheMiddleRowBandSideways)
{
    // The picker keeps the orientation it opened in: opened sideways, the
    // band is not raised by a row.
    struct TurningScreen : ui::ViewController {
        bool shouldAutorotate(ui::Orientation) override { return true; }
    };
    window().setRootViewController(std::make_shared<TurningScreen>());
    runLoop();
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    open(FolderPicker::folderPickerWithLocalDirectories());
    openFolder(publicFolder());
    auto& table = top().tableView();
    ASSERT_TRUE(top().errorLabel());
    gfx::Rect bounds = table.bounds();
    ASSERT_GT(bounds.width(), bounds.height());
    gfx::Rect frame = top().errorLabel()->frame();
    float h = table.rectForHeader(0).height();
    float band = h + 44 * std::floor((bounds.height() - h) * 0.5f / 44);
    EXPECT_EQ(frame.minY(), band + std::floor((44 - frame.height()) * 0.5f));
    EXPECT_NEAR(frame.midX(), bounds.midX(), 0.5f);
}

} // namespace
