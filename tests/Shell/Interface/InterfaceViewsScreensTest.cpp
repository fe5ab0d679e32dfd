// The interface kit's popup alert, modal activity indicator, placeholder,
// keyboard dimming and modal popover on a folder screen. Driven as a
// person would, rendered with real text at phone and tablet size in both
// orientations into build/screens/interface/, and four phone pictures with
// the deterministic text engine compared with goldens.

#include "Shell/Interface/LayoutConstants.h"
#include "Shell/Interface/ModalPopoverAdditions.h"
#include "Shell/Interface/VKKeyboardDimmingView.h"
#include "Shell/Interface/VKModalActivityIndicator.h"
#include "Shell/Interface/VKPlaceholderView.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "PopupAlertFixtures.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/TestEnvironment.h"
#include "Support/UITestCase.h"

#include <filesystem>
#include <fmt/format.h>

namespace {

const bool registered = (test::TestEnvironment::addReset(resetModalPopoverForTesting), true);

// Rows of names down a white view, as a folder lists its items.
std::shared_ptr<ui::View> rowsView(const std::vector<std::string>& names, float top)
{
    auto view = ui::View::create({ 0, 0, 320, 416 });
    view->setBackgroundColor(ui::StandardColors::white());
    view->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    for (size_t i = 0; i < names.size(); ++i) {
        auto row = ui::Label::create({ 15, top + float(i) * 44, 290, 44 });
        row->setText(names[i]);
        row->setFont(ui::Fonts::boldSystemFont(18));
        row->setBackgroundColor(ui::StandardColors::clear());
        row->setAutoresizingMask(ui::View::FlexibleWidth);
        view->addSubview(row);
        auto line = ui::View::create({ 0, top + float(i + 1) * 44 - 1, 320, 1 });
        line->setBackgroundColor(gfx::Color::white(0.88f));
        line->setAutoresizingMask(ui::View::FlexibleWidth);
        view->addSubview(line);
    }
    return view;
}

const std::vector<std::string> folderNames { "Invoices", "Photos", "Reports", "Travel", "Recipes", "Letters" };

class Folder : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
    void loadView() override { setView(rowsView(folderNames, 0)); }
};

// A viewer's root before its content: the placeholder.
class Loading : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
    void loadView() override
    {
        placeholder = VKPlaceholderView::create({ 0, 0, 320, 416 });
        setView(placeholder);
    }
    std::shared_ptr<VKPlaceholderView> placeholder;
};

// A search field above the rows; the rows dim while the field has the
// keyboard.
class Search : public ui::ViewController, public VKKeyboardDimmingViewDelegate {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
    void loadView() override
    {
        auto view = rowsView(folderNames, 44);
        field = ui::TextField::create({ 8, 7, 304, 31 });
        field->setBorderStyle(ui::TextField::BorderStyle::RoundedRect);
        field->setPlaceholder("Search");
        field->setAutoresizingMask(ui::View::FlexibleWidth);
        view->addSubview(field);
        dimming = VKKeyboardDimmingView::create({ field });
        dimming->setFrame({ 0, 44, 320, 372 });
        view->addSubview(dimming);
        setView(view);
    }
    void viewDidLoad() override
    {
        dimming->setDelegate(std::static_pointer_cast<Search>(shared_from_this()));
    }
    void keyboardDimmingViewDidReceiveTouches(VKKeyboardDimmingView&) override { ++touches; }
    std::shared_ptr<ui::TextField> field;
    std::shared_ptr<VKKeyboardDimmingView> dimming;
    int touches = 0;
};

struct Chosen : VKPopupAlertDelegate {
    std::vector<std::string> names;
    void popupAlert(VKPopupAlert& alert, int index) override
    {
        if (index == 1 && alert.textField())
            names.push_back(alert.textField()->text());
    }
};

class InterfaceViewsScreensTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        dismissModalPopoverControllerAnimated(false);
        window().setRootViewController(nullptr);
        navigation.reset();
        folder.reset();
        edit.reset();
        move.reset();
        UITestCase::TearDown();
    }

    // The folder screen at `size`, phone or tablet: "Edit" on the left of
    // the bar, "Move" in the toolbar.
    void showFolder(gfx::Size size, bool tablet)
    {
        if (tablet)
            core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
        gfx::Screen::main().setBounds({ 0, 0, size.width, size.height });
        window().setFrame({ 0, 0, size.width, size.height });
        folder = std::make_shared<Folder>();
        folder->setTitle("Documents");
        edit = ui::BarButtonItem::create("Edit");
        folder->navigationItem().setLeftBarButtonItem(edit);
        move = ui::BarButtonItem::create("Move");
        folder->setToolbarItems({ ui::BarButtonItem::space(), move });
        navigation = ui::NavigationController::create(folder);
        navigation->setToolbarHidden(false);
        window().setRootViewController(navigation);
        runLoop();
    }

    // The screen as a person sees it: the renderer draws no keyboard, so a
    // plain stand-in is painted where the keyboard stands.
    std::unique_ptr<gfx::BitmapContext> picture(const ui::RenderOptions& options)
    {
        auto picture = ui::Renderer::renderScreenImage(options);
        if (picture && ui::Keyboard::shared().isVisible()) {
            gfx::Rect keys = ui::Keyboard::shared().frame();
            picture->setFillColor(gfx::Color::rgb255(209, 213, 219));
            picture->fillRect(keys);
            picture->setFillColor(gfx::Color::white(1));
            bool sideways = keys.width() < keys.height();
            float along = sideways ? keys.height() : keys.width();
            float across = sideways ? keys.width() : keys.height();
            for (int row = 0; row < 4; ++row)
                for (int key = 0; key < 10; ++key) {
                    float a = along / 10 * float(key) + 3, b = across / 4 * float(row) + 6;
                    gfx::Rect rect = sideways ? gfx::Rect { keys.minX() + b, keys.minY() + a, across / 4 - 12, along / 10 - 6 }
                                              : gfx::Rect { keys.minX() + a, keys.minY() + b, along / 10 - 6, across / 4 - 12 };
                    picture->fillRect(rect);
                }
        }
        return picture;
    }

    void shoot(const std::string& name)
    {
        std::string folderPath = sourcePath("build/screens/interface");
        std::filesystem::create_directories(folderPath);
        ui::RenderOptions options;
        options.scale = scale;
        options.realText = true;
        auto image = picture(options);
        ASSERT_TRUE(image);
        core::Error error;
        EXPECT_TRUE(image->writePNG(fmt::format("{}/{}-{}.png", folderPath, name, device), &error))
            << error.localizedDescription();
    }

    void turn(ui::Orientation orientation)
    {
        ASSERT_TRUE(driver.rotate(orientation));
        advance(1);
    }

    std::shared_ptr<VKPopupAlert> newFolderPopup()
    {
        return test::fieldPopup("New Folder", "Folder Name", "untitled folder", "Save", chosen);
    }

    // Every view in one orientation (`side`), the popup turned while shown.
    void shootSide(const std::string& side, ui::Orientation orientation)
    {
        // The centred popup with its field, typed into; turned while shown.
        auto popup = newFolderPopup();
        popup->show();
        advance(1);
        driver.clear(*popup->textField());
        driver.type("Reports 2024");
        if (orientation != ui::Orientation::Portrait)
            turn(orientation);
        // Above the keyboard, which stands along the interface's bottom.
        gfx::Rect keys = ui::Keyboard::shared().frame();
        float keyboardHeight = ui::isLandscape(orientation) ? keys.width() : keys.height();
        EXPECT_LE(popup->popupRect().maxY(), popup->bounds().height() - keyboardHeight);
        shoot("popup-field-" + side);
        driver.tap(*popup->buttonAtIndex(1));
        advance(1);

        // Below the bar's "Edit", pointing at it.
        auto rename = test::fieldPopup("Rename \"Reports\"", "Name", "Reports", "Rename", chosen);
        rename->showFromBarButtonItem(*edit);
        advance(1);
        EXPECT_EQ(rename->popupMode(), VKPopupAlert::Below);
        shoot("popup-below-" + side);
        driver.tap(*rename->buttonAtIndex(0));
        advance(1);

        // A title of two lines.
        auto password = test::fieldPopup("Enter the password for\n\"Archive.zip\"", "Password", "", "OK", chosen);
        password->show();
        advance(1);
        shoot("popup-two-lines-" + side);
        driver.tap(*password->buttonAtIndex(0));
        advance(1);

        // The indicator, short and long.
        for (auto [name, message] : { std::pair { "indicator-short", "Rebuilding quota index" },
                 std::pair { "indicator-long",
                     "Rebuilding quota index: counting the files of every folder in Documents, Public and the "
                     "cloud mirrors; this can take a few minutes" } }) {
            auto indicator = VKModalActivityIndicator::create(message);
            indicator->showInWindow(window());
            advance(0.5);
            shoot(std::string(name) + "-" + side);
            indicator->dismiss();
            runLoop();
        }

        // The placeholder: a message only, then message, bar and Cancel.
        auto loading = std::make_shared<Loading>();
        navigation->pushViewController(loading, false);
        runLoop();
        loading->placeholder->setLabelHidden(false);
        loading->placeholder->label()->setText("Download Failed");
        advance(0.5);
        shoot("placeholder-label-" + side);
        loading->placeholder->label()->setText("Loading Report.pdf");
        loading->placeholder->setProgressViewHidden(false);
        loading->placeholder->progressView()->setProgress(0.4f);
        loading->placeholder->setCancelButtonHidden(false);
        advance(0.5);
        shoot("placeholder-all-" + side);
        driver.tap(*loading->placeholder->cancelButton());
        navigation->popViewController(false);
        runLoop();

        // The rows dimmed behind the focused search field; a tap on them
        // ends the search.
        auto search = std::make_shared<Search>();
        navigation->pushViewController(search, false);
        runLoop();
        driver.tap(*search->field);
        driver.type("Rep");
        advance(1);
        EXPECT_FALSE(search->dimming->isHidden());
        shoot("dimming-" + side);
        driver.tap(*search->dimming);
        advance(1);
        EXPECT_EQ(search->touches, 1);
        EXPECT_TRUE(search->dimming->isHidden());
        navigation->popViewController(false);
        runLoop();
    }

    void shootAll()
    {
        shootSide("portrait", ui::Orientation::Portrait);
        shootSide("landscape", ui::Orientation::LandscapeLeft);
        turn(ui::Orientation::Portrait);
        EXPECT_EQ(chosen->names, (std::vector<std::string> { "Reports 2024", "Reports 2024" }));
    }

    std::shared_ptr<Folder> folder;
    std::shared_ptr<ui::NavigationController> navigation;
    std::shared_ptr<ui::BarButtonItem> edit, move;
    std::shared_ptr<Chosen> chosen = std::make_shared<Chosen>();
    std::string device;
    float scale = 1;
};

TEST_F(InterfaceViewsScreensTest, GoldenPhoneScreens)
{
    showFolder({ 320, 480 }, false);
    ui::RenderOptions options;

    auto popup = newFolderPopup();
    popup->show();
    advance(1);
    auto shown = picture(options);
    ASSERT_TRUE(shown);
    EXPECT_TRUE(test::matchesGolden(*shown, sourcePath(""), "interface-popup-phone-portrait"));
    turn(ui::Orientation::LandscapeRight);
    auto turned = picture(options);
    ASSERT_TRUE(turned);
    EXPECT_TRUE(test::matchesGolden(*turned, sourcePath(""), "interface-popup-phone-landscape"));
    popup->dismissWithClickedButtonIndex(0, false);
    turn(ui::Orientation::Portrait);

    auto indicator = VKModalActivityIndicator::create("Rebuilding quota index");
    indicator->showInWindow(window());
    runLoop();
    auto blocked = picture(options);
    ASSERT_TRUE(blocked);
    EXPECT_TRUE(test::matchesGolden(*blocked, sourcePath(""), "interface-indicator-phone-portrait"));
    indicator->dismiss();

    auto loading = std::make_shared<Loading>();
    navigation->pushViewController(loading, false);
    runLoop();
    loading->placeholder->setLabelHidden(false);
    loading->placeholder->label()->setText("Loading Report.pdf");
    loading->placeholder->setProgressViewHidden(false);
    loading->placeholder->progressView()->setProgress(0.4f);
    loading->placeholder->setCancelButtonHidden(false);
    runLoop();
    auto placeholder = picture(options);
    ASSERT_TRUE(placeholder);
    EXPECT_TRUE(test::matchesGolden(*placeholder, sourcePath(""), "interface-placeholder-phone-portrait"));
}

TEST_F(InterfaceViewsScreensTest, ScreensWithRealTextAtPhoneSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    showFolder({ 320, 480 }, false);
    device = "phone";
    scale = 2;
    shootAll();
}

TEST_F(InterfaceViewsScreensTest, ScreensWithRealTextAtTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    showFolder({ 768, 1024 }, true);
    device = "tablet";
    shootAll();

    // The folder picker in the modal popover, from "Move"; it comes back
    // after a turn and goes on a tap outside it.
    auto picker = std::make_shared<Folder>();
    picker->setContentSizeForViewInPopover(VKModalPopoverContentSize);
    auto popover = presentViewControllerInModalPopover(picker, move, ui::PopoverController::Any, true);
    ASSERT_TRUE(popover);
    advance(1);
    shoot("modal-popover-portrait");
    turn(ui::Orientation::LandscapeLeft);
    ASSERT_TRUE(popover->isPopoverVisible());
    shoot("modal-popover-landscape");
    driver.tapOutsidePopover();
    EXPECT_FALSE(modalPopoverController());
    turn(ui::Orientation::Portrait);
}

} // namespace
