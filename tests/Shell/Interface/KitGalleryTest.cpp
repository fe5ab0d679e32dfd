// The interface kit's gallery: a navigation controller whose toolbar holds
// action buttons and a repeat button, above a custom tab bar, with a tagged
// sheet and an alert with a spinner on the way. Driven as a person would,
// rendered with real text at phone and tablet size in both orientations
// into build/screens/interface/, and compared with three goldens drawn
// with the deterministic text engine.

#include "Shell/Interface/ScreenAdditions.h"
#include "Shell/Interface/VKActionButton.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/Interface/VKRepeatButton.h"
#include "Shell/Interface/VKTabBarButton.h"
#include "Shell/Interface/ViewControllerAdditions.h"

#include "Platform/Core/RunLoop.h"
#include "Support/UIScreens.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UITestCase.h"

#include <cmath>
#include <fmt/format.h>

using ui::Control;

namespace {

// A white glyph 24 points square for the toolbar's buttons.
std::shared_ptr<gfx::Image> glyph(std::string_view kind)
{
    auto c = gfx::makeImageContext({ 24, 24 }, 2);
    c->setStrokeColor(gfx::Color::white(1));
    c->setFillColor(gfx::Color::white(1));
    c->setLineWidth(2);
    c->beginPath();
    if (kind == "mail") {
        c->addRect({ 3, 6, 18, 13 });
        c->moveToPoint(3, 6);
        c->addLineToPoint(12, 14);
        c->addLineToPoint(21, 6);
    } else if (kind == "move") {
        c->moveToPoint(3, 19);
        c->addLineToPoint(3, 5);
        c->addLineToPoint(9, 5);
        c->addLineToPoint(11, 8);
        c->addLineToPoint(21, 8);
        c->addLineToPoint(21, 19);
        c->closePath();
        c->moveToPoint(8, 14);
        c->addLineToPoint(16, 14);
        c->moveToPoint(13, 11);
        c->addLineToPoint(16, 14);
        c->addLineToPoint(13, 17);
    } else if (kind == "trash") {
        c->moveToPoint(4, 6);
        c->addLineToPoint(20, 6);
        c->moveToPoint(9, 6);
        c->addLineToPoint(9, 3);
        c->addLineToPoint(15, 3);
        c->addLineToPoint(15, 6);
        c->moveToPoint(6, 6);
        c->addLineToPoint(7, 21);
        c->addLineToPoint(17, 21);
        c->addLineToPoint(18, 6);
    } else {
        c->setLineWidth(3);
        c->moveToPoint(9, 5);
        c->addLineToPoint(16, 12);
        c->addLineToPoint(9, 19);
    }
    c->strokePath();
    return c->makeImage();
}

// What the navigation controller shows: a few words and the page the
// repeat button has paged to.
class GalleryContent : public ui::ViewController {
public:
    void loadView() override
    {
        auto view = ui::View::create({ 0, 0, 320, 372 });
        view->setBackgroundColor(ui::StandardColors::groupTableViewBackground());
        view->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        page = ui::Label::create({ 20, 30, 280, 30 });
        page->setFont(ui::Fonts::boldSystemFont(20));
        page->setTextAlignment(gfx::TextAlignment::Center);
        page->setBackgroundColor(ui::StandardColors::clear());
        page->setAutoresizingMask(ui::View::FlexibleWidth);
        view->addSubview(page);
        auto note = ui::Label::create({ 20, 70, 280, 60 });
        note->setText("Hold the arrow to page on; tap Email for the file menu.");
        note->setNumberOfLines(0);
        note->setTextAlignment(gfx::TextAlignment::Center);
        note->setTextColor(gfx::Color::white(0.3f));
        note->setBackgroundColor(ui::StandardColors::clear());
        note->setAutoresizingMask(ui::View::FlexibleWidth);
        view->addSubview(note);
        setView(view);
        showPage(1);
    }
    void showPage(int number)
    {
        if (page)
            page->setText(fmt::format("Page {}", number));
    }
    std::shared_ptr<ui::Label> page;
};

// The custom tab bar: a dark strip with its tabs spread evenly.
class GalleryTabBar : public ui::View {
public:
    GalleryTabBar() { setBackgroundColor(gfx::Color::white(0.1f)); }
    void layoutSubviews() override
    {
        gfx::Rect b = bounds();
        float slot = b.width() / float(std::max<size_t>(1, tabs.size()));
        for (size_t i = 0; i < tabs.size(); ++i) {
            auto& tab = tabs[i];
            tab->setFrame({ 0, 0, 0, b.height() });
            tab->sizeToFit();
            float width = tab->frame().width();
            tab->setFrame({ std::floor(slot * float(i) + (slot - width) / 2), 0, width, b.height() });
        }
    }
    std::vector<std::shared_ptr<VKTabBarButton>> tabs;
};

// The gallery's own view: the navigation controller's view above the tab
// bar, whose height follows the status bar.
class GalleryView : public ui::View {
public:
    void layoutSubviews() override
    {
        gfx::Rect b = bounds();
        auto* application = ui::Application::shared();
        float tabHeight = application && isStatusBarOrientationLandscape(*application) ? 37 : 49;
        if (top)
            top->setFrame({ 0, 0, b.width(), b.height() - tabHeight });
        if (bottom)
            bottom->setFrame({ 0, b.height() - tabHeight, b.width(), tabHeight });
    }
    ui::View* top = nullptr;
    ui::View* bottom = nullptr;
};

class Gallery : public ui::ViewController, public ui::ActionSheetDelegate {
public:
    static std::shared_ptr<Gallery> create()
    {
        auto gallery = std::make_shared<Gallery>();
        gallery->build();
        return gallery;
    }

    bool shouldAutorotate(ui::Orientation) override { return true; }

    void loadView() override
    {
        gfx::Rect frame = ui::Application::shared()->applicationFrame();
        auto view = ui::View::make<GalleryView>({ 0, 0, frame.width(), frame.height() });
        view->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        view->addSubview(navigation->view());
        view->addSubview(tabBar);
        view->top = navigation->view().get();
        view->bottom = tabBar.get();
        setView(view);
    }

    void clickedButton(ui::ActionSheet& sheet, int index) override
    {
        int tag = static_cast<VKActionSheet&>(sheet).tagForButtonAtIndex(index);
        clickedTags.push_back(tag);
        if (tag == 1001)
            core::RunLoop::main().performAfter(0, [weak = std::weak_ptr<Gallery>(self())] {
                if (auto gallery = weak.lock())
                    gallery->prepareAttachments();
            });
    }

    void showFileMenu()
    {
        auto sheet = VKActionSheet::create("Report.pdf", std::static_pointer_cast<ui::ActionSheetDelegate>(self()));
        sheet->addButtonWithTitle("Email File", 1001);
        sheet->addButtonWithTitle("Print", 1012);
        sheet->setCancelButtonIndex(sheet->addButton("Cancel"));
        showActionSheet(*content, *sheet, email);
    }

    void prepareAttachments()
    {
        alert = VKAlertView::create("Preparing attachments...", "", {}, std::string("Cancel"));
        alert->addActivityIndicator();
        alert->show();
    }

    std::shared_ptr<GalleryContent> content;
    std::shared_ptr<ui::NavigationController> navigation;
    std::shared_ptr<GalleryTabBar> tabBar;
    std::shared_ptr<VKActionButton> email, move, trash;
    std::shared_ptr<VKRepeatButton> pager;
    std::shared_ptr<VKAlertView> alert;
    std::vector<int> clickedTags;
    int emails = 0, moves = 0, pages = 1;

private:
    std::shared_ptr<Gallery> self() { return std::static_pointer_cast<Gallery>(shared_from_this()); }

    std::shared_ptr<VKActionButton> actionButton(std::string title, std::string_view icon)
    {
        auto button = VKActionButton::actionButton();
        button->setTitle(std::move(title));
        button->setFrame({ 0, 0, 56, 0 });
        button->setImage(glyph(icon));
        return button;
    }

    void build()
    {
        std::weak_ptr<Gallery> weak = self();
        content = std::make_shared<GalleryContent>();
        content->setTitle("Kit Gallery");
        navigation = ui::NavigationController::create(content);
        navigation->setToolbarHidden(false);

        email = actionButton("Email", "mail");
        email->setBadgeValue("3");
        email->addTarget(nullptr, "showFileMenu", [weak](Control&, const ui::Event*) {
            if (auto gallery = weak.lock()) {
                ++gallery->emails;
                gallery->showFileMenu();
            }
        }, Control::TouchUpInside);
        move = actionButton("Move", "move");
        move->addTarget(nullptr, "moveFiles", [weak](Control&, const ui::Event*) {
            if (auto gallery = weak.lock())
                ++gallery->moves;
        }, Control::TouchUpInside);
        trash = actionButton("Delete", "trash");
        trash->setEnabled(false);
        pager = VKRepeatButton::create({ 0, 0, 44, 44 });
        pager->setImage(glyph("next"), Control::Normal);
        pager->setShowsTouchWhenHighlighted(true);
        auto nextPage = [weak](Control&, const ui::Event*) {
            if (auto gallery = weak.lock())
                gallery->content->showPage(++gallery->pages);
        };
        pager->addTarget(nullptr, "nextPage", nextPage, VKRepeatButton::RepeatEvent);
        pager->addTarget(nullptr, "nextPage", nextPage, Control::TouchDown);
        auto space = [] { return ui::BarButtonItem::space(); };
        content->setToolbarItems({ ui::BarButtonItem::create(email), space(), ui::BarButtonItem::create(move), space(),
            ui::BarButtonItem::create(trash), space(), ui::BarButtonItem::create(pager) });

        tabBar = ui::View::make<GalleryTabBar>({ 0, 0, 320, 49 });
        auto browser = VKTabBarButton::tabBarButtonWithBackgroundImageBasename("VKTabBarButtonMore");
        browser->setTitle(std::string("Browser"), Control::Normal);
        auto downloads = VKTabBarButton::tabBarButtonWithBackgroundImageBasename("VKTabBarButtonMore");
        downloads->setTitle(std::string("Downloads"), Control::Normal);
        downloads->setBadgeValue("12");
        auto more = VKTabBarButton::tabBarButtonWithStyle(1);
        more->setSelected(true);
        tabBar->tabs = { browser, downloads, more };
        for (auto& tab : tabBar->tabs) {
            tabBar->addSubview(tab);
            tab->addTarget(nullptr, "selectTab", [weak, tab = std::weak_ptr<VKTabBarButton>(tab)](Control&, const ui::Event*) {
                auto gallery = weak.lock();
                auto chosen = tab.lock();
                if (!gallery || !chosen)
                    return;
                for (auto& other : gallery->tabBar->tabs)
                    other->setSelected(other == chosen);
            }, Control::TouchUpInside);
        }
    }

};

class KitGalleryTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        gallery.reset();
        test::UITestCase::TearDown();
    }

    // The screen at `size`, phone or tablet, with the gallery as the key
    // window's root.
    void showGallery(gfx::Size size, bool tablet)
    {
        if (tablet)
            core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
        gfx::Screen::main().setBounds({ 0, 0, size.width, size.height });
        window().setFrame({ 0, 0, size.width, size.height });
        gallery = Gallery::create();
        window().setRootViewController(gallery);
        runLoop();
    }

    VKTabBarButton& tab(size_t index) { return *gallery->tabBar->tabs.at(index); }

    // Renders the gallery, its file menu and its spinner alert in portrait and
    // in landscape, with real text.
    void shootScreens(const std::string& device, float scale)
    {
        auto shoot = [&](const std::string& name) {
            test::saveScreen(driver, sourcePath("build/screens/interface"), fmt::format("{}-{}", name, device), scale);
        };
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            std::string side = orientation == ui::Orientation::Portrait ? "portrait" : "landscape";
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(orientation));
            }
            advance(1);
            shoot("gallery-" + side);
            driver.tap(*gallery->email);
            advance(1);
            shoot("sheet-" + side);
            driver.pressSheetButton("Email File");
            advance(1);
            shoot("alert-" + side);
            driver.pressAlertButton("Cancel");
            advance(1);
        }
        ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
        advance(1);
    }

    std::shared_ptr<Gallery> gallery;
};

TEST_F(KitGalleryTest, DrivenAsAPersonWould)
{
    showGallery({ 320, 480 }, false);
    EXPECT_EQ(gallery->email->frame().height(), 44);
    std::vector<ui::Button*> buttons { gallery->email.get(), gallery->move.get(), gallery->trash.get(), gallery->pager.get() };
    for (auto* button : buttons)
        EXPECT_GE(button->frame().width(), 44) << button->debugText();
    EXPECT_FLOAT_EQ(gallery->trash->alpha(), 0.5f);

    // The badge acts as the button: the tagged file menu rises from the
    // toolbar.
    driver.tap(*gallery->email->badgeView());
    EXPECT_EQ(gallery->emails, 1);
    auto sheet = std::dynamic_pointer_cast<VKActionSheet>(driver.actionSheet());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->anchorKind(), ui::ActionSheet::AnchorKind::Toolbar);
    driver.pressSheetButton("Print");
    advance(1);
    EXPECT_EQ(gallery->clickedTags, std::vector<int> { 1012 });

    driver.tap(*gallery->email);
    driver.pressSheetButton("Email File");
    advance(1);
    EXPECT_EQ(gallery->clickedTags, (std::vector<int> { 1012, 1001 }));
    auto alert = driver.alert();
    ASSERT_EQ(alert, gallery->alert);
    EXPECT_TRUE(gallery->alert->activityIndicator()->isAnimating());
    driver.pressAlertButton("Cancel");
    advance(1);

    // The disabled button takes no tap; Move does.
    driver.tap(*gallery->move);
    EXPECT_EQ(gallery->moves, 1);

    // Hold the arrow: one page at once, then one every half second after
    // the first second; out of its frame they stop, back in they go on.
    gfx::Point arrow = driver.tapPoint(*gallery->pager);
    auto finger = driver.touchDown({ arrow });
    EXPECT_EQ(gallery->pages, 2);
    driver.wait(1.6);
    EXPECT_EQ(gallery->pages, 4);
    driver.touchMove({ { finger[0], { arrow.x - 40, arrow.y } } });
    driver.wait(1);
    EXPECT_EQ(gallery->pages, 4);
    driver.touchMove({ { finger[0], arrow } });
    driver.wait(0.5);
    driver.touchUp(finger);
    EXPECT_EQ(gallery->content->page->text(), "Page 5");

    // Tabs select on a tap.
    driver.tap(tab(0));
    EXPECT_TRUE(tab(0).isSelected());
    EXPECT_FALSE(tab(2).isSelected());

    // Turned, the bars and buttons are lower and the tabs show their small
    // artwork.
    auto portraitArt = tab(1).currentBackgroundImage().image;
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    EXPECT_EQ(gallery->email->frame().height(), 32);
    EXPECT_EQ(gallery->navigation->toolbar().frame().height(), 32);
    EXPECT_NE(tab(1).currentBackgroundImage().image, portraitArt);
    EXPECT_EQ(gallery->tabBar->frame().height(), 37);
    driver.tap(*gallery->email->badgeView());
    EXPECT_EQ(gallery->emails, 3);
    driver.pressSheetButton("Cancel");
    advance(1);
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
    EXPECT_EQ(gallery->email->frame().height(), 44);
    EXPECT_EQ(tab(1).currentBackgroundImage().image, portraitArt);
}

TEST_F(KitGalleryTest, GoldenPhoneScreens)
{
    showGallery({ 320, 480 }, false);
    auto picture = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "interface-gallery-phone-portrait"));

    driver.tap(*gallery->email);
    driver.pressSheetButton("Email File");
    advance(1);
    auto alerted = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(alerted);
    EXPECT_TRUE(test::matchesGolden(*alerted, sourcePath(""), "interface-alert-phone-portrait"));
    driver.pressAlertButton("Cancel");
    advance(1);

    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    auto turned = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(turned);
    EXPECT_TRUE(test::matchesGolden(*turned, sourcePath(""), "interface-gallery-phone-landscape"));
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

TEST_F(KitGalleryTest, ScreensWithRealTextAtPhoneSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    showGallery({ 320, 480 }, false);
    shootScreens("phone", 2);
}

TEST_F(KitGalleryTest, ScreensWithRealTextAtTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    showGallery({ 768, 1024 }, true);
    shootScreens("tablet", 1);
}

} // namespace
