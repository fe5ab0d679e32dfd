// The history and bookmark screens with real text at phone and tablet size,
// both ways up, for a person to look at (build/screens/webbrowser/), and
// goldens of the bookmarks list, the history screen and the type-ahead list.

#include "WebBrowserTestCase.h"

#include "Shell/VKNavigationController.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Viewers/Document/VKBookmarkAddCell.h"
#include "WebBrowser/VKWebBookmarksViewController.h"
#include "WebBrowser/VKWebHistorySearchController.h"

#include <fmt/format.h>

namespace {

// The page under the address field while it is edited.
class PageController : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
    void loadView() override
    {
        ui::ViewController::loadView();
        view()->setBackgroundColor(gfx::Color::white(1));
        field = ui::TextField::create();
        field->setBorderStyle(ui::TextField::BorderStyle::RoundedRect);
        field->setFrame(gfx::Rect(8, 8, view()->bounds().width() - 16, 31));
        field->setAutoresizingMask(ui::View::FlexibleWidth);
        field->setText("example");
        view()->addSubview(field);
    }
    std::shared_ptr<ui::TextField> field;
};

class HistoryBookmarksScreensTest : public test::WebBrowserTestCase {
protected:
    void SetUp() override
    {
        WebBrowserTestCase::SetUp();
        clock().setNow(at(2026, 12, 8, 16, 0)); // a Tuesday
        auto bookmarks = VKWebBookmarks::sharedWebBookmarks();
        for (const auto& bookmark : bookmarks->bookmarks())
            bookmarks->removeBookmark(bookmark);
        const std::pair<const char*, const char*> sites[] = {
            { "The Free Encyclopedia of Everything Anyone Ever Wrote Down, Main Page",
                "https://en.wikipedia.org/wiki/Main_Page/with/a/rather/long/path/to/show/the/middle/cut" },
            { "Project Gutenberg: free e-books of the classics", "https://www.gutenberg.org/ebooks/search/?query=travel" },
            { "OpenStreetMap", "https://www.openstreetmap.org/#map=12/52.5200/13.4050" },
            { "Internet Archive: Digital Library of Free & Borrowable Books, Movies, Music", "https://archive.org/" },
            { "Weather <b>forecast</b>\nfor the week", "https://weather.example/forecast/berlin?days=7" },
            { "", "https://example.org/no-title" },
        };
        for (const auto& [title, address] : sites)
            bookmarks->addURL(url(address), std::string(title));

        struct Visit { const char* address; const char* title; core::Date date; };
        const Visit visits[] = {
            { "https://news.example/world/2026/12/08/long-headline-about-something", "World news: a long headline about something that happened today", at(2026, 12, 8, 15, 40) },
            { "https://docs.example/manual/chapter-3", "Manual, chapter 3", at(2026, 12, 8, 9, 5) },
            { "https://shop.example/cart", "", at(2026, 12, 7, 20, 15) },
            { "https://example.org/", "Example Domain", at(2026, 12, 7, 11, 0) },
            { "https://www.example.com/search?q=trains+to+vienna", "trains to vienna - Search", at(2026, 12, 5, 18, 30) },
            { "https://example.net/recipes/bread", "Bread recipes", at(2026, 12, 3, 8, 45) },
        };
        for (const auto& visit : visits) {
            clock().setNow(visit.date);
            VKWebHistory::sharedWebHistory()->addURL(url(visit.address), std::string(visit.title));
        }
        clock().setNow(at(2026, 12, 8, 16, 0));
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        screen.reset();
        WebBrowserTestCase::TearDown();
    }
    void use(const test::DeviceScreen& device)
    {
        m_device = device;
        test::useDeviceScreen(window(), device);
        runLoop();
    }
    void showBookmarks()
    {
        window().setRootViewController(nullptr);
        screen = VKWebBookmarksViewController::initWithBookmarksDelegate({});
        screen->setAddCellEnabled(true);
        navigation = std::make_shared<test::RotatingNavigation>();
        navigation->setViewControllers({ screen }, false);
        window().setRootViewController(navigation);
        advance(1);
    }
    void shoot(const std::string& name)
    {
        runLoop();
        auto standIn = keyboardStandIn();
        struct Remove {
            std::shared_ptr<ui::View> view;
            ~Remove()
            {
                if (view)
                    view->removeFromSuperview();
            }
        } remove { standIn };
        std::string side = application().statusBarOrientation() == ui::Orientation::Portrait ? "portrait" : "landscape";
        test::saveScreen(driver, sourcePath("build/screens/webbrowser"), fmt::format("{}-{}-{}", name, m_device.name, side),
            m_device.scale);
    }
    // The type-ahead list over the page, the field editing.
    std::shared_ptr<VKWebHistorySearchController> showTypeAhead()
    {
        window().setRootViewController(nullptr);
        page = std::make_shared<PageController>();
        window().setRootViewController(page);
        runLoop();
        auto list = VKWebHistorySearchController::create();
        list->setFullscreen(true);
        gfx::Rect bounds = page->view()->bounds();
        list->view()->setFrame(gfx::Rect(0, 47, bounds.width(), bounds.height() - 47));
        page->view()->addSubview(list->view());
        list->setItemFilter("example");
        page->field->becomeFirstResponder();
        advance(1);
        return list;
    }
    void shootAll(const test::DeviceScreen& device);

    test::DeviceScreen m_device = test::phoneScreen;
    std::shared_ptr<VKWebBookmarksViewController> screen;
    std::shared_ptr<VKNavigationController> navigation;
    std::shared_ptr<PageController> page;
};

void HistoryBookmarksScreensTest::shootAll(const test::DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    use(device);
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        showBookmarks();
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        shoot("bookmarks");

        screen->setEditing(true, false);
        advance(1);
        auto& table = screen->tableView();
        table.swipeCell(*table.cellForRow({ 0, 3 }), {});
        advance(1);
        shoot("bookmarks-editing");
        table.cancelDeletion();

        driver.tapRow(table, { 0, 2 });
        advance(1);
        shoot("bookmark-edit-form");
        driver.tapBack();
        advance(1);
        screen->setEditing(false, false);
        advance(1);

        auto form = VKWebAddBookmarkViewController::initWithURL(
            url("https://news.example/world/2026/12/08/long-headline-about-something"), std::string("World news"));
        navigation->pushViewController(form, false);
        advance(1);
        advance(1); // the keyboard comes up once the form shows
        shoot("add-bookmark-keyboard");
        form->titleCell().textField().resignFirstResponder();
        navigation->popViewController(false);
        advance(1);

        driver.tapRow(table, { 0, 1 });
        advance(1);
        shoot("history");
        driver.tapBarItem("clearHistoryWithConfirmation");
        advance(1);
        shoot("clear-history-sheet");
        driver.pressSheetButton("Cancel");
        advance(1);

        auto list = showTypeAhead();
        shoot("type-ahead");
        page->field->resignFirstResponder();
        advance(1);
        page.reset();

        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
            advance(1);
        }
    }
}

TEST_F(HistoryBookmarksScreensTest, Phone)
{
    shootAll(test::phoneScreen);
}

TEST_F(HistoryBookmarksScreensTest, Tablet)
{
    shootAll(test::tabletScreen);
}

// In the deterministic text engine, against goldens.
TEST_F(HistoryBookmarksScreensTest, Goldens)
{
    auto expectGolden = [&](const std::string& name) {
        runLoop();
        auto standIn = keyboardStandIn();
        auto picture = ui::Renderer::renderScreenImage();
        if (standIn)
            standIn->removeFromSuperview();
        ASSERT_TRUE(picture);
        EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), name));
    };
    use(test::phoneScreen);
    showBookmarks();
    expectGolden("webbrowser-bookmarks-phone-portrait");
    driver.tapRow(screen->tableView(), { 0, 1 });
    advance(1);
    expectGolden("webbrowser-history-phone-portrait");

    use(test::tabletScreen);
    showTypeAhead();
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    expectGolden("webbrowser-type-ahead-tablet-landscape");
    page->field->resignFirstResponder();
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

} // namespace
