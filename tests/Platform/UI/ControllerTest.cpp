#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/DimmingView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/BarItemButton.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"

#include <gmock/gmock.h>

namespace {

using test::UITestCase;
class ControllerTest : public UITestCase { };
using Log = std::vector<std::string>;

class Logged : public ui::ViewController {
public:
    Logged(std::string name, Log& log) : m_name(std::move(name)), m_log(&log) { setTitle(m_name); }
    static std::shared_ptr<Logged> create(std::string name, Log& log) { return std::make_shared<Logged>(name, log); }
    void viewDidLoad() override { m_log->push_back(m_name + " load"); }
    void viewDidUnload() override { m_log->push_back(m_name + " unload"); }
    void viewWillAppear(bool) override { m_log->push_back(m_name + " will-appear"); }
    void viewDidAppear(bool) override { m_log->push_back(m_name + " did-appear"); }
    void viewWillDisappear(bool) override { m_log->push_back(m_name + " will-disappear"); }
    void viewDidDisappear(bool) override { m_log->push_back(m_name + " did-disappear"); }
    bool shouldAutorotate(ui::Orientation) override { return rotates; }
    void willRotate(ui::Orientation, double) override { m_log->push_back(m_name + " will-rotate"); }
    void didRotate(ui::Orientation) override { m_log->push_back(m_name + " did-rotate"); }
    bool rotates = false;

private:
    std::string m_name;
    Log* m_log;
};

struct NavigationLog : ui::NavigationControllerDelegate {
    explicit NavigationLog(Log& log) : log(&log) { }
    void willShowViewController(ui::NavigationController&, ui::ViewController& c, bool) override
    {
        log->push_back("will-show " + c.title());
    }
    void didShowViewController(ui::NavigationController&, ui::ViewController& c, bool) override
    {
        log->push_back("did-show " + c.title());
    }
    Log* log;
};

TEST_F(ControllerTest, PushesAndPopsInTheDevicesOrder)
{
    Log log;
    auto a = Logged::create("A", log);
    auto navigation = ui::NavigationController::create(a);
    auto delegate = std::make_shared<NavigationLog>(log);
    navigation->setDelegate(delegate);
    window().setRootViewController(navigation);
    EXPECT_EQ(log, (Log { "A load", "A will-appear", "A did-appear" }));

    log.clear();
    auto b = Logged::create("B", log);
    navigation->pushViewController(b, true);
    EXPECT_EQ(log, (Log { "B load", "A will-disappear", "B will-appear", "will-show B" }));
    EXPECT_TRUE(navigation->isTransitioning());
    advance(0.35);
    EXPECT_EQ(log, (Log { "B load", "A will-disappear", "B will-appear", "will-show B", "A did-disappear",
                       "B did-appear", "did-show B" }));
    EXPECT_EQ(a->view()->superview(), nullptr);
    EXPECT_EQ(navigation->navigationBar().backButtonTitle(), "A");

    // A push while one runs completes the running one first.
    log.clear();
    auto c = Logged::create("C", log);
    auto d = Logged::create("D", log);
    navigation->pushViewController(c, true);
    navigation->pushViewController(d, false);
    EXPECT_EQ(log, (Log { "C load", "B will-disappear", "C will-appear", "will-show C", "B did-disappear",
                       "C did-appear", "did-show C", "D load", "C will-disappear", "D will-appear", "will-show D",
                       "C did-disappear", "D did-appear", "did-show D" }));

    // Back pops in reverse order; an empty title reads "Back".
    c->setTitle("");
    runLoop();
    EXPECT_EQ(navigation->navigationBar().backButtonTitle(), "Back");
    log.clear();
    driver.tapBack();
    advance(0.35);
    EXPECT_EQ(navigation->topViewController(), c.get());
    EXPECT_EQ(log, (Log { "D will-disappear", "C will-appear", "will-show ", "D did-disappear", "C did-appear", "did-show " }));
    EXPECT_EQ(d->parentViewController(), nullptr);
    driver.tapBack();
    advance(0.35);
    EXPECT_EQ(navigation->topViewController(), b.get());

    // Replacing the stack: the controller that stays hears nothing.
    log.clear();
    navigation->setViewControllers({ a, c }, false);
    EXPECT_EQ(log, (Log { "B will-disappear", "C will-appear", "will-show ", "B did-disappear", "C did-appear", "did-show " }));
    EXPECT_EQ(navigation->popViewController(false), c);
    EXPECT_EQ(navigation->popViewController(false), nullptr); // the root stays

    // Misuse.
    EXPECT_THROW(navigation->pushViewController(a, false), core::Exception);
    EXPECT_THROW(navigation->pushViewController(ui::NavigationController::create(nullptr), false), core::Exception);
    window().setRootViewController(nullptr);
}

TEST_F(ControllerTest, LaysOutBarsAndViewsOnThePhone)
{
    Log log;
    auto a = Logged::create("A", log);
    auto navigation = ui::NavigationController::create(a);
    window().setRootViewController(navigation);
    runLoop();
    EXPECT_EQ(navigation->view()->frame(), (gfx::Rect { 0, 20, 320, 460 }));
    EXPECT_EQ(navigation->navigationBar().frame(), (gfx::Rect { 0, 0, 320, 44 }));
    EXPECT_EQ(a->view()->frame(), (gfx::Rect { 0, 44, 320, 416 }));
    navigation->setToolbarHidden(false);
    EXPECT_EQ(a->view()->frame(), (gfx::Rect { 0, 44, 320, 372 }));
    EXPECT_EQ(navigation->toolbar().frame(), (gfx::Rect { 0, 416, 320, 44 }));
    navigation->setToolbarHidden(true);
    navigation->navigationBar().setBarStyle(ui::NavigationBar::Style::BlackTranslucent);
    navigation->layoutContent();
    EXPECT_EQ(a->view()->frame(), (gfx::Rect { 0, 0, 320, 460 }));
    navigation->navigationBar().setBarStyle(ui::NavigationBar::Style::Default);
    a->navigationItem().setPrompt("Choose");
    runLoop();
    EXPECT_EQ(navigation->navigationBar().frame().height(), 74);
    EXPECT_EQ(a->view()->frame(), (gfx::Rect { 0, 74, 320, 386 }));
    EXPECT_NE(navigation->navigationBar().promptView(), nullptr);
    a->navigationItem().setPrompt("");

    // Landscape: 32-point bars; every controller takes the orientation.
    a->rotates = true;
    EXPECT_TRUE(driver.rotate(ui::Orientation::LandscapeRight));
    runLoop();
    EXPECT_EQ(navigation->navigationBar().frame(), (gfx::Rect { 0, 0, 480, 32 }));
    EXPECT_EQ(a->view()->frame(), (gfx::Rect { 0, 32, 480, 268 }));
    EXPECT_EQ(a->interfaceOrientation(), ui::Orientation::LandscapeRight);
    EXPECT_EQ(navigation->interfaceOrientation(), ui::Orientation::LandscapeRight);
    window().setRootViewController(nullptr);
}

TEST_F(ControllerTest, ModalChains)
{
    Log log;
    auto a = Logged::create("A", log);
    auto navigation = ui::NavigationController::create(a);
    window().setRootViewController(navigation);
    auto m = Logged::create("M", log);
    log.clear();
    // A pushed child presents from its navigation controller.
    a->presentModalViewController(m, true);
    EXPECT_EQ(navigation->modalViewController(), m.get());
    EXPECT_EQ(m->parentViewController(), navigation.get());
    EXPECT_EQ(log, (Log { "M load", "A will-disappear", "M will-appear" }));
    EXPECT_EQ(navigation->view()->window(), &window());
    advance(0.4);
    EXPECT_EQ(log, (Log { "M load", "A will-disappear", "M will-appear", "A did-disappear", "M did-appear" }));
    EXPECT_EQ(navigation->view()->window(), nullptr);
    EXPECT_EQ(m->view()->frame(), (gfx::Rect { 0, 20, 320, 460 }));
    EXPECT_THROW(a->presentModalViewController(Logged::create("X", log), false), core::Exception);

    // Rotation reaches the deepest presented controller.
    m->rotates = true;
    log.clear();
    EXPECT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(0.3);
    EXPECT_EQ(log, (Log { "M will-rotate", "M did-rotate" }));
    EXPECT_EQ(a->interfaceOrientation(), ui::Orientation::LandscapeLeft);
    EXPECT_EQ(m->interfaceOrientation(), ui::Orientation::LandscapeLeft);
    EXPECT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(0.3);

    // A navigation controller presented over a presented controller: the
    // visible controller is its top.
    auto n = Logged::create("N", log);
    auto inner = ui::NavigationController::create(n);
    m->presentModalViewController(inner, false);
    EXPECT_EQ(navigation->visibleViewController(), n.get());
    EXPECT_EQ(ui::testing::Driver::modalChain(*navigation), (std::vector<ui::ViewController*> { m.get(), inner.get() }));
    EXPECT_EQ(ui::testing::Driver::stackTitles(*inner), (std::vector<std::string> { "N" }));

    // Dismissing at the root removes the chain; only the top and the
    // uncovered controller hear it.
    log.clear();
    navigation->dismissModalViewController(true);
    advance(0.4);
    EXPECT_EQ(log, (Log { "N will-disappear", "A will-appear", "N did-disappear", "A did-appear" }));
    EXPECT_EQ(navigation->modalViewController(), nullptr);
    EXPECT_EQ(m->view()->window(), nullptr);
    EXPECT_EQ(inner->view()->window(), nullptr);
    EXPECT_EQ(navigation->view()->window(), &window());

    // A presented controller without its own modal dismisses itself; a form
    // sheet covers the presenter on the phone.
    auto sheet = Logged::create("S", log);
    sheet->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    navigation->presentModalViewController(sheet, false);
    EXPECT_EQ(navigation->view()->window(), nullptr);
    log.clear();
    sheet->dismissModalViewController(false);
    EXPECT_EQ(log, (Log { "S will-disappear", "A will-appear", "S did-disappear", "A did-appear" }));
    window().setRootViewController(nullptr);
}

TEST_F(ControllerTest, FormSheetsLeaveThePresenterOnTheTablet)
{
    core::UserDefaults::standard()->set("DeviceIdiom", core::Value("tablet"));
    ui::Screen::main()->setBounds({ 0, 0, 768, 1024 });
    window().setFrame({ 0, 0, 768, 1024 });
    Log log;
    auto a = Logged::create("A", log);
    window().setRootViewController(a);
    auto sheet = Logged::create("S", log);
    sheet->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    log.clear();
    a->presentModalViewController(sheet, true);
    advance(0.4);
    EXPECT_EQ(log, (Log { "S load", "S will-appear", "S did-appear" }));
    EXPECT_EQ(a->view()->window(), &window());
    EXPECT_EQ(sheet->view()->bounds().size, ui::ViewController::FormSheetSize);
    // What stays behind is dimmed, under a view that takes its touches.
    auto& below = window().subviews();
    auto at = std::find(below.begin(), below.end(), sheet->view());
    ASSERT_NE(at, below.begin());
    auto dimming = std::dynamic_pointer_cast<ui::DimmingView>(*(at - 1));
    ASSERT_TRUE(dimming);
    EXPECT_EQ(dimming->frame(), window().bounds());
    EXPECT_GT(dimming->backgroundColor().alpha(), 0.2f);
    // Turned, the sheet turns with the presenter about the screen's centre
    // and keeps its size.
    a->rotates = sheet->rotates = true;
    EXPECT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    EXPECT_EQ(sheet->view()->transform(), a->view()->transform());
    EXPECT_EQ(sheet->view()->bounds().size, ui::ViewController::FormSheetSize);
    EXPECT_EQ(sheet->view()->center(), a->view()->center());
    auto shown = sheet->view()->convertRect(sheet->view()->bounds(), nullptr);
    EXPECT_EQ(shown.size, (gfx::Size { 620, 540 })) << "upright on the landscape screen";
    // A desktop window made phone-sized (wider than the sheet, not as tall)
    // keeps it a sheet that fills the window; grown, it has its size again.
    ui::Screen::setUserInterfaceIdiom(core::Device::Idiom::Phone);
    application().setInterfaceSize({ 760, 390 });
    EXPECT_EQ(sheet->view()->bounds().size, a->view()->bounds().size);
    EXPECT_EQ(sheet->view()->center(), a->view()->center());
    EXPECT_EQ(a->view()->window(), &window());
    ui::Screen::setUserInterfaceIdiom(core::Device::Idiom::Tablet);
    application().setInterfaceSize({ 1400, 900 });
    EXPECT_EQ(sheet->view()->bounds().size, ui::ViewController::FormSheetSize);
    EXPECT_EQ(sheet->view()->center(), a->view()->center());
    log.clear();
    a->dismissModalViewController(false);
    EXPECT_EQ(log, (Log { "S will-disappear", "S did-disappear" }));
    EXPECT_EQ(sheet->view()->window(), nullptr);
    EXPECT_EQ(dimming->superview(), nullptr);

    // Presented on a phone's screen it covers its presenter; the window
    // grown to a tablet's, it is a panel over it again, and goes as one.
    ui::Screen::setUserInterfaceIdiom(core::Device::Idiom::Phone);
    application().setInterfaceSize({ 760, 390 });
    a->presentModalViewController(sheet, false);
    EXPECT_EQ(a->view()->window(), nullptr);
    log.clear();
    ui::Screen::setUserInterfaceIdiom(core::Device::Idiom::Tablet);
    application().setInterfaceSize({ 1400, 900 });
    EXPECT_EQ(log, (Log { "A will-appear", "A did-appear" }));
    EXPECT_EQ(a->view()->window(), &window());
    EXPECT_EQ(sheet->view()->bounds().size, ui::ViewController::FormSheetSize);
    auto at2 = std::find(below.begin(), below.end(), sheet->view());
    ASSERT_NE(at2, below.begin());
    auto dimming2 = std::dynamic_pointer_cast<ui::DimmingView>(*(at2 - 1));
    ASSERT_TRUE(dimming2);
    log.clear();
    a->dismissModalViewController(false);
    EXPECT_EQ(log, (Log { "S will-disappear", "S did-disappear" }));
    EXPECT_EQ(dimming2->superview(), nullptr);

    // A sheet with a size of its own shows at that size, centred.
    auto small = Logged::create("P", log);
    small->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    small->setFormSheetContentSize({ 320, 500 });
    a->presentModalViewController(small, false);
    EXPECT_EQ(small->view()->bounds().size, (gfx::Size { 320, 500 }));
    EXPECT_EQ(small->view()->center(), a->view()->center());
    a->dismissModalViewController(false);
    window().setRootViewController(nullptr);
}

TEST_F(ControllerTest, MemoryWarningsUnloadOnlyViewsOffScreen)
{
    Log log;
    auto shown = Logged::create("A", log);
    auto hidden = Logged::create("B", log);
    window().setRootViewController(shown);
    hidden->view();
    log.clear();
    driver.memoryWarning();
    EXPECT_EQ(log, (Log { "B unload" }));
    EXPECT_FALSE(hidden->isViewLoaded());
    EXPECT_TRUE(shown->isViewLoaded());
    hidden->view();
    EXPECT_EQ(log.back(), "B load");
    window().setRootViewController(nullptr);
}

class WideBar : public ui::NavigationBar {
public:
    gfx::Size sizeThatFits(gfx::Size size) const override { return { size.width, 60 }; }
    void layoutSubviews() override
    {
        NavigationBar::layoutSubviews();
        if (titleView())
            titleView()->setFrame({ 0, 0, 10, 10 });
    }
};

TEST_F(ControllerTest, BarsItemsAndTheirViews)
{
    Log log;
    auto a = Logged::create("A", log);
    auto navigation = ui::NavigationController::create(a, [] { return ui::View::make<WideBar>({}); });
    window().setRootViewController(navigation);
    runLoop();
    EXPECT_NE(dynamic_cast<WideBar*>(&navigation->navigationBar()), nullptr);
    EXPECT_EQ(a->view()->frame().y(), 60);
    EXPECT_EQ(navigation->navigationBar().titleView()->frame(), (gfx::Rect { 0, 0, 10, 10 }));
    auto b = Logged::create("B", log);
    navigation->pushViewController(b, false);
    runLoop();
    auto* back = dynamic_cast<ui::BarItemButton*>(navigation->navigationBar().leftButtonView());
    ASSERT_NE(back, nullptr);
    EXPECT_GT(back->titleWidth(), 0);

    // Toolbar: flexible spaces share what the items and gaps leave.
    auto custom = ui::BarButtonItem::create(ui::View::create({ 0, 0, 100, 30 }));
    auto fixed = ui::BarButtonItem::space(32);
    b->setToolbarItems({ ui::BarButtonItem::space(), custom, ui::BarButtonItem::space() });
    navigation->setToolbarHidden(false);
    EXPECT_EQ(custom->view(), nullptr);
    runLoop();
    ASSERT_NE(custom->view(), nullptr);
    EXPECT_EQ(custom->view()->frame().x(), 110);
    b->setToolbarItems({ fixed, custom });
    runLoop();
    EXPECT_EQ(custom->view()->frame().x(), 6 + 32 + 8);

    // The edit item toggles its title and the editing state.
    b->navigationItem().setRightBarButtonItem(b->editButtonItem());
    runLoop();
    driver.tapBarItem("toggleEditing");
    EXPECT_TRUE(b->isEditing());
    EXPECT_EQ(b->editButtonItem()->title(), "Done");
    // The bar shows the item's new title.
    runLoop();
    ASSERT_TRUE(navigation->navigationBar().rightButtonView());
    EXPECT_NE(ui::testing::Driver::dumpLine(*navigation->navigationBar().rightButtonView()).find("Done"), std::string::npos);
    driver.tapBarItem(*b->editButtonItem());
    EXPECT_FALSE(b->isEditing());
    EXPECT_EQ(b->editButtonItem()->title(), "Edit");

    // A view laid over the bar stays over the bar's own views when they are
    // made again (the back button hidden): it keeps its clicks.
    auto& bar = navigation->navigationBar();
    auto over = ui::View::create(bar.bounds());
    bar.addSubview(over);
    b->navigationItem().setHidesBackButton(true, false);
    runLoop();
    EXPECT_EQ(bar.subviews().back(), over);
    EXPECT_EQ(bar.hitTest(bar.rightButtonView()->center()), over.get());

    // A new look draws the bars and their buttons again.
    for (ui::View* view : { static_cast<ui::View*>(&bar), bar.rightButtonView(), custom->view().get() })
        view->layer().displayIfNeeded();
    bar.setTintColor(gfx::Color::rgb255(10, 20, 30));
    navigation->toolbar().setBarStyle(ui::NavigationBar::Style::Black);
    EXPECT_TRUE(bar.layer().needsDisplay());
    EXPECT_TRUE(bar.rightButtonView()->layer().needsDisplay());
    EXPECT_TRUE(custom->view()->layer().needsDisplay());
    window().setRootViewController(nullptr);
}

TEST_F(ControllerTest, PushingAndPoppingLeavesNothingAlive)
{
    long before = ui::LiveObjects::controllers;
    {
        auto navigation = ui::NavigationController::create(ui::ViewController::create());
        window().setRootViewController(navigation);
        for (int i = 0; i < 1000; ++i)
            navigation->pushViewController(ui::ViewController::create(), i % 2 == 0);
        navigation->popToRootViewController(true);
        advance(0.35);
        EXPECT_EQ(navigation->viewControllers().size(), 1u);
        window().setRootViewController(nullptr);
    }
    runLoop();
    EXPECT_EQ(ui::LiveObjects::controllers, before);
}

} // namespace
