#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

#include <cmath>

namespace {

using test::UITestCase;
class ViewTest : public UITestCase { };

constexpr float pi = 3.14159265358979323846f;

void expectRect(const gfx::Rect& actual, const gfx::Rect& expected)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-3);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-3);
    EXPECT_NEAR(actual.width(), expected.width(), 1e-3);
    EXPECT_NEAR(actual.height(), expected.height(), 1e-3);
}

// Records the hooks and layout passes a view sees.
struct LayoutRecorder : ui::View {
    std::vector<std::string>* log = nullptr;
    std::string name;
    std::vector<gfx::Rect> frames;
    void note(const std::string& what)
    {
        if (log)
            log->push_back(name + ":" + what);
    }
    void willMoveToSuperview(View* v) override { note(v ? "willMoveToSuperview" : "willMoveToSuperview(null)"); }
    void didMoveToSuperview() override { note("didMoveToSuperview"); }
    void willMoveToWindow(ui::Window* w) override { note(w ? "willMoveToWindow" : "willMoveToWindow(null)"); }
    void didMoveToWindow() override { note("didMoveToWindow"); }
    void didAddSubview(View*) override { note("didAddSubview"); }
    void willRemoveSubview(View*) override { note("willRemoveSubview"); }
    void layoutSubviews() override { note("layoutSubviews"); }
    void setFrame(const gfx::Rect& frame) override
    {
        frames.push_back(frame);
        View::setFrame(frame);
    }
};

TEST_F(ViewTest, FrameIsDerivedFromTheLayer)
{
    auto view = ui::View::create({ 10, 20, 100, 50 });
    EXPECT_EQ(view->center(), (gfx::Point { 60, 45 }));
    EXPECT_EQ(view->bounds(), (gfx::Rect { 0, 0, 100, 50 }));

    view->setTransform(gfx::AffineTransform::rotation(pi / 2));
    expectRect(view->frame(), { 35, -5, 50, 100 });
    EXPECT_EQ(view->bounds(), (gfx::Rect { 0, 0, 100, 50 }));

    view->setTransform(gfx::AffineTransform::identity());
    view->layer().setAnchorPoint({ 0, 0 });
    expectRect(view->frame(), { 60, 45, 100, 50 });
}

TEST_F(ViewTest, BadGeometryAndCyclesThrow)
{
    auto view = ui::View::create({ 0, 0, 10, 10 });
    auto child = ui::View::create();
    view->addSubview(child);
    EXPECT_THROW(view->setFrame({ 0, 0, NAN, 10 }), core::Exception);
    EXPECT_THROW(view->setCenter({ INFINITY, 0 }), core::Exception);
    EXPECT_THROW(view->addSubview(view), core::Exception);
    EXPECT_THROW(child->addSubview(view), core::Exception);
    EXPECT_EQ(view->frame(), (gfx::Rect { 0, 0, 10, 10 }));
}

TEST_F(ViewTest, AutoresizingSharesTheChangeThroughSetFrame)
{
    auto super = ui::View::create({ 0, 0, 320, 460 });
    auto flexible = ui::View::make<LayoutRecorder>({ 10, 10, 300, 440 });
    flexible->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    auto margins = ui::View::make<LayoutRecorder>({ 10, 0, 280, 20 });
    margins->setAutoresizingMask(ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin);
    auto fixed = ui::View::make<LayoutRecorder>({ 5, 5, 10, 10 });
    super->addSubview(flexible);
    super->addSubview(margins);
    super->addSubview(fixed);
    flexible->frames.clear();

    super->setFrame({ 0, 0, 480, 300 });
    EXPECT_EQ(flexible->frame(), (gfx::Rect { 10, 10, 460, 280 }));
    ASSERT_EQ(flexible->frames.size(), 1u);
    EXPECT_EQ(flexible->frames[0], (gfx::Rect { 10, 10, 460, 280 }));
    EXPECT_EQ(margins->frame(), (gfx::Rect { 50, 0, 280, 20 }));
    EXPECT_EQ(480 - margins->frame().maxX(), 150);
    EXPECT_TRUE(fixed->frames.size() == 1); // only its own initial frame

    super->setAutoresizesSubviews(false);
    super->setFrame({ 0, 0, 320, 460 });
    EXPECT_EQ(flexible->frame(), (gfx::Rect { 10, 10, 460, 280 }));
}

TEST_F(ViewTest, LayoutIsLazyAndParentsGoFirst)
{
    std::vector<std::string> log;
    auto parent = ui::View::make<LayoutRecorder>({ 0, 0, 100, 100 });
    auto child = ui::View::make<LayoutRecorder>({ 0, 0, 50, 50 });
    parent->log = child->log = &log;
    parent->name = "parent";
    child->name = "child";
    parent->addSubview(child);
    window().addSubview(parent);
    window().layoutIfNeeded();
    log.clear();

    child->setNeedsLayout();
    parent->setNeedsLayout();
    parent->setNeedsLayout();
    window().layoutIfNeeded();
    EXPECT_EQ(log, (std::vector<std::string> { "parent:layoutSubviews", "child:layoutSubviews" }));

    log.clear();
    child->setCenter({ 40, 40 });
    runLoop();
    EXPECT_TRUE(log.empty());
    child->setFrame({ 0, 0, 60, 60 });
    EXPECT_TRUE(child->needsLayout());
    runLoop(); // the main loop's pass runs pending layout
    EXPECT_EQ(log, (std::vector<std::string> { "child:layoutSubviews" }));
    parent->removeFromSuperview();
}

TEST_F(ViewTest, MoveHooksInOrderAndLayersMirrorSubviews)
{
    std::vector<std::string> log;
    auto parent = ui::View::make<LayoutRecorder>({ 0, 0, 100, 100 });
    auto child = ui::View::make<LayoutRecorder>({ 0, 0, 10, 10 });
    parent->log = child->log = &log;
    parent->name = "parent";
    child->name = "child";
    window().addSubview(parent);
    log.clear();

    parent->addSubview(child);
    EXPECT_EQ(log, (std::vector<std::string> { "child:willMoveToSuperview", "child:willMoveToWindow",
                       "child:didMoveToWindow", "child:didMoveToSuperview", "parent:didAddSubview" }));
    EXPECT_EQ(child->window(), &window());
    log.clear();
    child->removeFromSuperview();
    EXPECT_EQ(log, (std::vector<std::string> { "parent:willRemoveSubview", "child:willMoveToSuperview(null)",
                       "child:willMoveToWindow(null)", "child:didMoveToWindow", "child:didMoveToSuperview" }));
    EXPECT_EQ(child->window(), nullptr);

    // A standalone sublayer stays between the view layers around it.
    auto a = ui::View::create();
    auto b = ui::View::create();
    auto c = ui::View::create();
    parent->addSubview(a);
    auto standalone = ui::Layer::create();
    parent->layer().addSublayer(standalone);
    parent->addSubview(b);
    parent->insertSubview(c, 0);
    auto& layers = parent->layer().sublayers();
    ASSERT_EQ(layers.size(), 4u);
    EXPECT_EQ(layers[0], c->sharedLayer());
    EXPECT_EQ(layers[1], a->sharedLayer());
    EXPECT_EQ(layers[2], standalone);
    EXPECT_EQ(layers[3], b->sharedLayer());
    parent->bringSubviewToFront(a.get());
    EXPECT_EQ(parent->subviews().back(), a);
    EXPECT_EQ(parent->layer().sublayers().back(), a->sharedLayer());
    parent->removeFromSuperview();
}

TEST_F(ViewTest, ConversionsAcrossBranchesWithTransforms)
{
    auto left = ui::View::create({ 10, 10, 100, 100 });
    auto right = ui::View::create({ 200, 100, 100, 100 });
    right->setTransform(gfx::AffineTransform::scale(2, 2));
    auto inner = ui::View::create({ 10, 20, 30, 30 });
    right->addSubview(inner);
    window().addSubview(left);
    window().addSubview(right);

    gfx::Point p = inner->convertPoint({ 0, 0 }, left.get());
    // right's frame under the scale is (150, 50, 200, 200); inner's origin at (170, 90) in the window.
    EXPECT_NEAR(p.x, 160, 1e-3);
    EXPECT_NEAR(p.y, 80, 1e-3);
    gfx::Point back = inner->convertPointFrom(p, left.get());
    EXPECT_NEAR(back.x, 0, 1e-3);
    EXPECT_NEAR(back.y, 0, 1e-3);
    expectRect(inner->convertRect(inner->bounds(), nullptr), { 170, 90, 60, 60 });
    left->removeFromSuperview();
    right->removeFromSuperview();
}

TEST_F(ViewTest, HitTesting)
{
    auto parent = ui::View::create({ 0, 0, 100, 100 });
    auto back = ui::View::create({ 0, 0, 50, 50 });
    auto front = ui::View::create({ 0, 0, 50, 50 });
    auto sticking = ui::View::create({ 80, 80, 60, 60 });
    parent->addSubview(back);
    parent->addSubview(front);
    parent->addSubview(sticking);

    EXPECT_EQ(parent->hitTest({ 10, 10 }), front.get());
    EXPECT_EQ(parent->hitTest({ 90, 90 }), sticking.get());
    EXPECT_EQ(parent->hitTest({ 120, 120 }), nullptr); // outside its parent

    front->setHidden(true);
    EXPECT_EQ(parent->hitTest({ 10, 10 }), back.get());
    front->setHidden(false);
    front->setAlpha(0.01f);
    EXPECT_EQ(parent->hitTest({ 10, 10 }), back.get());
    front->setAlpha(1);
    front->setUserInteractionEnabled(false);
    EXPECT_EQ(parent->hitTest({ 10, 10 }), back.get());

    struct Refusing : ui::View {
        bool pointInside(gfx::Point, const ui::Event*) const override { return false; }
    };
    auto refusing = ui::View::make<Refusing>({ 0, 0, 50, 50 });
    refusing->addSubview(ui::View::create({ 0, 0, 10, 10 }));
    parent->addSubview(refusing);
    EXPECT_EQ(parent->hitTest({ 5, 5 }), back.get());
}

TEST_F(ViewTest, FindViewsIsPreOrderWithoutTheReceiver)
{
    struct Marked : ui::View { };
    auto root = ui::View::make<Marked>({});
    auto a = ui::View::make<Marked>({});
    auto a1 = ui::View::make<Marked>({});
    auto b = ui::View::make<Marked>({});
    a->addSubview(a1);
    root->addSubview(a);
    root->addSubview(ui::View::create());
    root->addSubview(b);
    auto found = root->findViews<Marked>();
    EXPECT_EQ(found, (std::vector<std::shared_ptr<Marked>> { a, a1, b }));
}

} // namespace
