// The detail controller: a view straight in a window with its own toolbar,
// turned with the status bar, following its content's bars and moving the
// content's view in and out.

#include "Shell/VKFullScreenDetailViewController.h"
#include "Shell/VKFullScreenViewController.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Toolbar.h"
#include "Support/UITestCase.h"

#include <cmath>

namespace {

constexpr float detailPi = 3.14159265358979323846f;

class VKFullScreenDetailViewControllerTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        detail = VKFullScreenDetailViewController::initWithWindow(ui::testing::Environment::keyWindow());
    }
    void TearDown() override
    {
        detail.reset();
        UITestCase::TearDown();
    }
    // Where the view shows now, in its superview.
    static gfx::Rect shownFrame(const ui::View& view)
    {
        auto state = view.layer().presentation();
        return { state.position.x - state.bounds.width() / 2, state.position.y - state.bounds.height() / 2,
            state.bounds.width(), state.bounds.height() };
    }

    std::shared_ptr<VKFullScreenDetailViewController> detail;
};

TEST_F(VKFullScreenDetailViewControllerTest, SitsInTheWindowWithItsOwnToolbar)
{
    auto& view = *detail->view();
    EXPECT_EQ(view.superview(), &window());
    EXPECT_EQ(view.frame(), (gfx::Rect { 0, 0, 320, 480 }));
    EXPECT_EQ(view.backgroundColor(), ui::StandardColors::clear());
    EXPECT_EQ(view.autoresizingMask(), ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    auto& toolbar = detail->toolbar();
    EXPECT_EQ(toolbar.superview(), &view);
    EXPECT_EQ(toolbar.barStyle(), ui::NavigationBar::Style::Black);
    EXPECT_TRUE(toolbar.isTranslucent());
    EXPECT_EQ(toolbar.autoresizingMask(), unsigned(ui::View::FlexibleWidth));
    EXPECT_EQ(toolbar.frame(), (gfx::Rect { 0, 20, 320, 44 }));

    auto items = std::vector { ui::BarButtonItem::create("One"), ui::BarButtonItem::space(),
        ui::BarButtonItem::create("Two") };
    detail->setToolbarItems(items);
    EXPECT_EQ(toolbar.items(), items);
    EXPECT_EQ(detail->toolbarItems(), items);
}

TEST_F(VKFullScreenDetailViewControllerTest, TurnsWithTheStatusBar)
{
    auto& view = *detail->view();
    struct Case {
        ui::Orientation orientation;
        gfx::Size size;
        float angle;
    };
    for (auto [orientation, size, angle] : { Case { ui::Orientation::LandscapeRight, { 480, 320 }, detailPi / 2 },
             Case { ui::Orientation::LandscapeLeft, { 480, 320 }, -detailPi / 2 },
             Case { ui::Orientation::PortraitUpsideDown, { 320, 480 }, detailPi },
             Case { ui::Orientation::Portrait, { 320, 480 }, 0 } }) {
        application().setStatusBarOrientation(orientation, false);
        EXPECT_EQ(view.bounds(), (gfx::Rect { { 0, 0 }, size })) << int(orientation);
        EXPECT_EQ(view.center(), (gfx::Point { 160, 240 }));
        EXPECT_EQ(view.transform(), gfx::AffineTransform::rotation(angle)) << int(orientation);
        // The toolbar spans the turned width.
        EXPECT_EQ(detail->toolbar().frame().width(), size.width);
    }
    // Not an interface orientation: nothing moves.
    detail->updateGeometryForOrientation(ui::Orientation::FaceUp);
    EXPECT_EQ(view.transform(), gfx::AffineTransform());
    EXPECT_EQ(view.bounds(), (gfx::Rect { 0, 0, 320, 480 }));
}

TEST_F(VKFullScreenDetailViewControllerTest, FollowsItsContentsBars)
{
    auto content = std::make_shared<VKFullScreenViewController>();
    auto stranger = std::make_shared<VKFullScreenViewController>();
    detail->setContentViewController(content);
    auto& toolbar = detail->toolbar();

    stranger->setUIHidden(true, true);
    advance(1);
    stranger->setUIHidden(false, true);
    EXPECT_EQ(toolbar.alpha(), 1);

    content->setUIHidden(true, true);
    EXPECT_TRUE(application().isStatusBarHidden());
    EXPECT_EQ(toolbar.alpha(), 0);
    EXPECT_TRUE(toolbar.layer().animationForKey("opacity"));
    advance(0.1);
    EXPECT_GT(toolbar.layer().presentation().opacity, 0);
    advance(1);
    EXPECT_FLOAT_EQ(toolbar.layer().presentation().opacity, 0);

    content->setUIHidden(false, true);
    EXPECT_FALSE(application().isStatusBarHidden());
    EXPECT_EQ(toolbar.alpha(), 1);
    advance(1);

    // Unanimated, from the detail itself: no fade.
    detail->setUIHidden(true, false);
    EXPECT_EQ(application().statusBarAnimation(), ui::Application::StatusBarAnimation::None);
    EXPECT_EQ(toolbar.alpha(), 0);
    EXPECT_FALSE(toolbar.layer().animationForKey("opacity"));
    detail->setUIHidden(false, false);

    // Once the content is another, the old one's bars are a stranger's.
    detail->setContentViewController(stranger);
    content->setUIHidden(true, true);
    EXPECT_EQ(toolbar.alpha(), 1);
    content->setUIHidden(false, false);
}

TEST_F(VKFullScreenDetailViewControllerTest, ContentMovesInFromWhereItStood)
{
    auto content = std::make_shared<VKFullScreenViewController>();
    auto holder = ui::View::create({ 40, 60, 200, 200 });
    window().addSubview(holder);
    content->view()->setFrame({ 10, 10, 100, 100 });
    holder->addSubview(content->view());

    detail->setContentViewController(content, true);
    auto& view = *content->view();
    EXPECT_EQ(view.superview(), detail->view().get());
    EXPECT_EQ(detail->view()->subviews().front().get(), &view); // behind the toolbar
    EXPECT_EQ(view.frame(), (gfx::Rect { 0, 0, 320, 480 }));
    EXPECT_EQ(shownFrame(view), (gfx::Rect { 50, 70, 100, 100 }));
    advance(0.4);
    gfx::Rect halfway = shownFrame(view);
    EXPECT_GT(halfway.width(), 100);
    EXPECT_LT(halfway.width(), 320);
    advance(0.4);
    EXPECT_EQ(shownFrame(view), (gfx::Rect { 0, 0, 320, 480 }));

    // Out to another view: it travels there, then changes superview.
    detail->moveContentViewToView(holder, { 20, 30, 50, 40 }, true);
    EXPECT_EQ(view.superview(), detail->view().get());
    EXPECT_EQ(view.frame(), (gfx::Rect { 60, 90, 50, 40 }));
    advance(0.79);
    EXPECT_EQ(view.superview(), detail->view().get());
    advance(0.02);
    EXPECT_EQ(view.superview(), holder.get());
    EXPECT_EQ(view.frame(), (gfx::Rect { 20, 30, 50, 40 }));
    EXPECT_EQ(holder->subviews().front().get(), &view);

    // Back without animation, then away at once.
    detail->setContentViewController(nullptr);
    EXPECT_EQ(view.superview(), nullptr);
    detail->setContentViewController(content);
    EXPECT_EQ(view.frame(), (gfx::Rect { 0, 0, 320, 480 }));
    detail->moveContentViewToView(holder, { 1, 2, 3, 4 }, false);
    EXPECT_EQ(view.superview(), holder.get());
    EXPECT_EQ(view.frame(), (gfx::Rect { 1, 2, 3, 4 }));
    holder->removeFromSuperview();
}

TEST_F(VKFullScreenDetailViewControllerTest, TeardownTakesItsViewAndObserversAway)
{
    auto content = std::make_shared<VKFullScreenViewController>();
    detail->setContentViewController(content);
    std::weak_ptr<ui::View> view = detail->view();
    detail.reset();
    EXPECT_TRUE(view.expired());
    EXPECT_TRUE(window().subviews().empty());
    content->setUIHidden(true, true);
    application().setStatusBarOrientation(ui::Orientation::LandscapeRight, false);
    application().setStatusBarOrientation(ui::Orientation::Portrait, false);
    advance(1);
}

} // namespace
