// The folder picker as a person sees it: its root screen; a folder screen
// with its header, a disabled row, accessory buttons, a prompt and Cancel;
// "No Folders", the spinner and "Sync Failed". Phone size fills the
// screen; a tablet shows the picker in its modal size. Rendered with real
// text in both orientations into build/screens/folder_browser/, checked
// for whole rows and touch-sized accessories, and guarded by two goldens.

#include "RootFolderTestCase.h"

#include "App/FolderBrowser/VKFolderPickerController.h"
#include "App/FolderBrowser/VKFolderPickerViewController.h"
#include "Cloud/VKCloudService.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

namespace {

using FolderPicker = VKFolderPickerController;
using Screen = VKFolderPickerViewController;

// The screen under the picker, which turns with the device.
class TurningScreen : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

class FolderPickerScreensTest : public test::RootFolderTestCase {
protected:
    void TearDown() override
    {
        if (host)
            host->dismissModalViewController(false);
        window().setRootViewController(nullptr);
        runLoop();
        picker.reset();
        host.reset();
        test::RootFolderTestCase::TearDown();
    }
    // On a phone the picker fills the window; on a tablet it is a form
    // sheet of its modal size over a plain screen.
    void present(const test::DeviceScreen& device, ui::Orientation orientation, std::shared_ptr<FolderPicker> made)
    {
        if (host)
            host->dismissModalViewController(false);
        window().setRootViewController(nullptr);
        runLoop();
        // Each picture starts on the root: what the last picker remembered
        // is forgotten.
        core::UserDefaults::standard()->remove(FolderPicker::LastKnownLeafKey);
        test::useDeviceScreen(window(), device);
        picker = std::move(made);
        host = std::make_shared<TurningScreen>();
        window().setRootViewController(host);
        runLoop();
        // The device may already be turned (false then).
        driver.rotate(orientation);
        advance(1);
        EXPECT_EQ(host->interfaceOrientation(), orientation);
        picker->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
        host->presentModalViewController(picker, false);
        advance(1);
    }
    Screen& top() { return dynamic_cast<Screen&>(*picker->viewControllers().back()); }
    void push(const std::string& path)
    {
        picker->pushViewController(Screen::create(resource(path)), false);
        advance(1);
    }
    // Rows a whole touch high, text whole beside the icon, accessories a
    // whole touch and inside the row.
    void expectTidyRows(Screen& screen)
    {
        auto& table = screen.tableView();
        table.layoutIfNeeded();
        for (auto* cell : table.visibleCells()) {
            cell->layoutIfNeeded();
            EXPECT_GE(cell->frame().height(), 44);
            auto& text = cell->textLabel();
            EXPECT_LE(cell->imageView().frame().maxX(), text.frame().minX()) << text.text();
            if (const auto& accessory = cell->accessoryView()) {
                gfx::Rect frame = accessory->frame();
                EXPECT_GE(frame.width(), 44);
                EXPECT_GE(frame.height(), 44);
                EXPECT_LE(frame.maxX(), cell->bounds().width());
                EXPECT_LE(text.frame().maxX(), frame.minX()) << text.text();
            }
        }
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/folder_browser"), name, gfx::Screen::main().scale());
    }
    void makeFolders()
    {
        makeFolder(publicFolder("Photos"));
        makeFolder(publicFolder("Photos/2023"));
        for (const char* name : { "Albums", "Holiday in the Mountains with a Rather Long Name", "Moved Here", "Scans" })
            makeFolder(publicFolder(std::string("Photos/2023/") + name));
    }
    void showFolderScreen(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        auto made = FolderPicker::folderPickerWithLocalDirectories();
        made->navigationItem().setPrompt("Move \"Report.pdf\" to");
        made->setShowsCancelButton(true);
        made->addDisabledFolder(resource(publicFolder("Photos/2023/Moved Here")), true);
        present(device, orientation, made);
        push(publicFolder());
        push(publicFolder("Photos"));
        push(publicFolder("Photos/2023"));
    }

    std::shared_ptr<ui::ViewController> host;
    std::shared_ptr<FolderPicker> picker;
};

TEST_F(FolderPickerScreensTest, GoldensOfAFolderScreen)
{
    makeFolders();
    showFolderScreen(test::phoneScreen, ui::Orientation::Portrait);
    auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-picker-phone-portrait"));

    showFolderScreen(test::tabletScreen, ui::Orientation::LandscapeLeft);
    picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-picker-tablet-landscape"));
}

TEST_F(FolderPickerScreensTest, EveryScreenAtPhoneAndTabletSizeInBothOrientations)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    makeFolders();
    auto service = installService("Cloud", true);
    std::string work = makeCloudFolder(*service, "Work");
    std::string other = makeCloudFolder(*service, "Other");
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            bool upright = orientation == ui::Orientation::Portrait;
            std::string suffix = fmt::format("{}-{}", device->name, upright ? "portrait" : "landscape");
            SCOPED_TRACE(suffix);

            present(*device, orientation, FolderPicker::folderPickerWithStandardDirectories());
            expectTidyRows(top());
            shoot("picker-root-" + suffix);

            showFolderScreen(*device, orientation);
            EXPECT_EQ(top().navigationItem().prompt(), "Move \"Report.pdf\" to");
            ASSERT_TRUE(top().navigationItem().rightBarButtonItem());
            auto header = top().titleForHeader(top().tableView(), 0).value_or("");
            EXPECT_EQ(header, "Public > Photos > 2023");
            expectTidyRows(top());
            auto& moved = *top().tableView().cellForRow({ 0, 2 });
            EXPECT_EQ(moved.textLabel().text(), "Moved Here");
            EXPECT_EQ(moved.contentView().alpha(), 0.5f);
            shoot("picker-folder-" + suffix);

            push(publicFolder("Photos/2023/Albums"));
            ASSERT_TRUE(top().errorLabel());
            EXPECT_TRUE(top().tableView().bounds().contains(top().errorLabel()->frame()));
            shoot("picker-no-folders-" + suffix);

            present(*device, orientation, FolderPicker::folderPickerWithLinkedCloudServices());
            push(work);
            ASSERT_TRUE(top().hasActivityIndicator());
            shoot("picker-spinner-" + suffix);
            picker->popViewController(false);
            advance(1);
            push(other);
            core::NotificationCenter::defaultCenter().post(VKCloudServiceMetadataLoadFailedNotification, service,
                { {}, other, std::nullopt, false });
            runLoop();
            ASSERT_TRUE(top().errorLabel());
            EXPECT_EQ(top().errorLabel()->text(), "Sync Failed");
            shoot("picker-sync-failed-" + suffix);

            if (!upright) {
                host->dismissModalViewController(false);
                advance(1);
                EXPECT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
        }
    }
}

} // namespace
