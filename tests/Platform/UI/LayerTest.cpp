#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Core/Exception.h"
#include "Platform/UI/BasicAnimation.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Transaction.h"
#include "Platform/UI/Transition.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <cmath>

using namespace ui;

namespace {

class LayerTest : public test::UITestCase { };

class CountingLayer : public Layer {
public:
    void drawInContext(gfx::Context& context) override
    {
        ++draws;
        scale = context.contentScale();
        clip = context.clipBoundingBox();
        context.setFillColor(0, 0, 1, 1);
        context.fillRect(bounds());
    }
    int draws = 0;
    float scale = 0;
    gfx::Rect clip;
};

class LayerRecorder : public AnimationDelegate, public LayerDelegate {
public:
    void animationDidStart(const std::string& key) override { events.push_back("start " + key); }
    void animationDidStop(const std::string& key, bool finished) override
    {
        events.push_back("stop " + key + (finished ? " true" : " false"));
    }
    bool draw(Layer&, gfx::Context& context) override
    {
        ++draws;
        context.setFillColor(0, 1, 0, 1);
        context.fillRect(context.clipBoundingBox());
        return true;
    }
    std::vector<std::string> events;
    int draws = 0;
};

gfx::Point pointOf(const LayerState& state)
{
    return state.position;
}

} // namespace

TEST_F(LayerTest, GeometryAndAnchorPoint)
{
    auto layer = Layer::create();
    layer->setBounds({ 0, 0, 100, 50 });
    layer->setPosition({ 60, 45 });
    EXPECT_EQ(layer->frame(), gfx::Rect(10, 20, 100, 50));
    layer->setAnchorPoint({ 0, 0 });
    EXPECT_EQ(layer->frame(), gfx::Rect(60, 45, 100, 50));

    // Moving the anchor and offsetting the position by the anchor's move
    // keeps the picture in place.
    auto view = View::create({ 30, 40, 100, 50 });
    view->setTransform(gfx::AffineTransform::rotation(0.3f));
    window().addSubview(view);
    Layer& l = view->layer();
    gfx::Point corner = l.convertPoint({ 100, 50 }, &window().layer());
    gfx::Point oldAnchor = l.anchorPoint(), newAnchor { 0, 0 };
    gfx::Point before = l.convertPoint({ oldAnchor.x * 100, oldAnchor.y * 50 }, l.superlayer());
    gfx::Point after = l.convertPoint({ newAnchor.x * 100, newAnchor.y * 50 }, l.superlayer());
    l.setAnchorPoint(newAnchor);
    l.setPosition({ l.position().x + after.x - before.x, l.position().y + after.y - before.y });
    gfx::Point moved = l.convertPoint({ 100, 50 }, &window().layer());
    EXPECT_NEAR(moved.x, corner.x, 1e-3);
    EXPECT_NEAR(moved.y, corner.y, 1e-3);
    view->removeFromSuperview();
}

TEST_F(LayerTest, OwnDrawingOnlyWhenMarkedAndRendered)
{
    auto layer = std::make_shared<CountingLayer>();
    layer->setBounds({ 0, 0, 30, 20 });
    layer->setContentsScale(2);
    layer->setNeedsDisplay();
    runLoop();
    EXPECT_EQ(layer->draws, 0); // nobody renders
    auto picture = Renderer::renderImage(*layer);
    EXPECT_EQ(layer->draws, 1);
    EXPECT_EQ(layer->scale, 2);
    EXPECT_EQ(layer->clip, gfx::Rect(0, 0, 30, 20));
    EXPECT_EQ(picture->pixelAtForTesting(5, 5).blue, 255);
    Renderer::renderImage(*layer);
    EXPECT_EQ(layer->draws, 1);

    // A delegate draws for a layer without drawing of its own; one that
    // displays by setting contents means no drawing at all.
    auto plain = Layer::create();
    plain->setBounds({ 0, 0, 10, 10 });
    auto recorder = std::make_shared<LayerRecorder>();
    plain->setDelegate(recorder);
    plain->setNeedsDisplay();
    auto green = Renderer::renderImage(*plain);
    EXPECT_EQ(recorder->draws, 1);
    EXPECT_EQ(green->pixelAtForTesting(5, 5).green, 255);

    class Displaying : public Layer {
    public:
        void display() override { setContents(image); }
        void drawInContext(gfx::Context&) override { ++draws; }
        std::shared_ptr<gfx::Image> image;
        int draws = 0;
    };
    auto red = gfx::makeImageContext({ 4, 4 }, 1);
    red->setFillColor(1, 0, 0, 1);
    red->fillRect({ 0, 0, 4, 4 });
    auto displaying = std::make_shared<Displaying>();
    displaying->image = red->makeImage();
    displaying->setBounds({ 0, 0, 8, 8 });
    displaying->setNeedsDisplay();
    auto shown = Renderer::renderImage(*displaying);
    EXPECT_EQ(displaying->draws, 0);
    EXPECT_EQ(shown->pixelAtForTesting(4, 4).red, 255);
}

TEST_F(LayerTest, TransactionsAnimateStandaloneLayersOnly)
{
    auto layer = Layer::create();
    layer->setBounds({ 0, 0, 10, 10 });
    runLoop(); // committed once: changes from now on animate
    bool completed = false;
    Transaction::begin();
    Transaction::setAnimationDuration(0.6);
    Transaction::setCompletionBlock([&] { completed = true; });
    layer->setPosition({ 100, 0 });
    Transaction::commit();
    EXPECT_EQ(layer->position(), (gfx::Point { 100, 0 }));
    ASSERT_TRUE(layer->animationForKey("position"));
    advance(0.3);
    EXPECT_NEAR(layer->presentation().position.x, 100 * TimingFunction::defaultTiming().solve(0.5f), 0.5);
    EXPECT_FALSE(completed);
    advance(0.29);
    EXPECT_FALSE(completed);
    advance(0.02);
    EXPECT_TRUE(completed);
    EXPECT_FALSE(layer->animationForKey("position"));
    EXPECT_EQ(layer->presentation().position.x, 100);

    bool quiet = false;
    Transaction::begin();
    Transaction::setDisableActions(true);
    Transaction::setCompletionBlock([&] { quiet = true; });
    layer->setOpacity(0.5f);
    Transaction::commit();
    EXPECT_TRUE(layer->animationKeys().empty());
    EXPECT_FALSE(quiet);
    runLoop();
    EXPECT_TRUE(quiet);

    // The implicit transaction of a pass, with its default duration.
    layer->setCornerRadius(4);
    EXPECT_TRUE(layer->animationForKey("cornerRadius"));
    Transaction::begin();
    Transaction::setAnimationDuration(std::nan(""));
    layer->setOpacity(0.25f);
    Transaction::commit();
    EXPECT_FALSE(layer->animationForKey("opacity"));

    // A view's layer animates only in view animation blocks.
    auto view = View::create({ 0, 0, 10, 10 });
    runLoop();
    view->layer().setPosition({ 40, 40 });
    view->setAlpha(0.5f);
    EXPECT_TRUE(view->layer().animationKeys().empty());
    advance(1);
}

TEST_F(LayerTest, BasicAnimationsCallBackAndNeverChangeTheModel)
{
    auto layer = Layer::create();
    layer->setPosition({ 5, 5 });
    auto recorder = std::make_shared<LayerRecorder>();
    BasicAnimation move("position");
    move.setFromValue(gfx::Point { 0, 0 });
    move.setToValue(gfx::Point { 100, 0 });
    move.setDuration(0.1);
    move.setAutoreverses(true);
    move.setTimingFunction(TimingFunction::linear());
    move.setDelegate(recorder);
    layer->addAnimation(move, "move");
    move.setToValue(gfx::Point { 1000, 0 }); // the layer keeps its own copy
    EXPECT_EQ(layer->position(), (gfx::Point { 5, 5 }));
    EXPECT_TRUE(recorder->events.empty());
    runLoop();
    EXPECT_EQ(recorder->events, std::vector<std::string> { "start move" });
    advance(0.05);
    EXPECT_NEAR(pointOf(layer->presentation()).x, 50, 0.5);
    advance(0.1);
    EXPECT_NEAR(pointOf(layer->presentation()).x, 50, 0.5); // on its way back
    advance(0.06);
    EXPECT_EQ(recorder->events.back(), "stop move true");
    EXPECT_EQ(layer->presentation().position, (gfx::Point { 5, 5 }));

    // Replaced under its key, or removed: stopped unfinished.
    recorder->events.clear();
    BasicAnimation fade("opacity");
    fade.setToValue(0.0f);
    fade.setDelegate(recorder);
    layer->addAnimation(fade, "a");
    layer->addAnimation(fade, "a");
    EXPECT_EQ(recorder->events, std::vector<std::string> { "stop a false" });
    layer->addAnimation(fade, "b");
    layer->removeAllAnimations();
    EXPECT_EQ(recorder->events.size(), 3u);
    EXPECT_EQ(recorder->events[2].substr(recorder->events[2].size() - 5), "false");

    // An unknown key path is kept, stops normally and changes nothing.
    recorder->events.clear();
    BasicAnimation odd("wobble");
    odd.setToValue(3.0f);
    odd.setDuration(std::nan(""));
    odd.setDelegate(recorder);
    layer->addAnimation(odd, "odd");
    EXPECT_TRUE(layer->animationForKey("odd"));
    auto state = layer->presentation();
    EXPECT_EQ(state.position, layer->position());
    runLoop();
    EXPECT_EQ(recorder->events.back(), "stop odd true");

    // Forward fill keeps the end showing; the model still never changes.
    BasicAnimation held("opacity");
    held.setToValue(0.25f);
    held.setDuration(0.1);
    held.setRemovedOnCompletion(false);
    held.setFillMode(FillMode::Forwards);
    layer->addAnimation(held, "held");
    advance(0.5);
    EXPECT_FLOAT_EQ(layer->presentation().opacity, 0.25f);
    EXPECT_FLOAT_EQ(layer->opacity(), 1);
}

TEST_F(LayerTest, TransitionsStartFromThePreviousFrame)
{
    auto view = View::create({ 0, 0, 40, 20 });
    view->setBackgroundColor(StandardColors::black());
    Renderer::renderImage(*view);

    auto fadeIn = [&](Transition transition) {
        transition.setDuration(1.0);
        transition.setTimingFunction(TimingFunction::linear());
        view->layer().addAnimation(transition, Transition::Key);
        view->setBackgroundColor(StandardColors::white());
        advance(0.5);
        return Renderer::renderImage(*view);
    };
    auto fade = fadeIn(Transition("fade"));
    EXPECT_NEAR(fade->pixelAtForTesting(20, 10).red, 127, 3);
    advance(1);

    view->setBackgroundColor(StandardColors::black());
    Renderer::renderImage(*view);
    auto push = fadeIn(Transition("push", "fromRight"));
    EXPECT_EQ(push->pixelAtForTesting(5, 10).red, 0);    // old picture, moved left
    EXPECT_EQ(push->pixelAtForTesting(25, 10).red, 255); // new one in the right half
    advance(1);

    view->setBackgroundColor(StandardColors::black());
    Renderer::renderImage(*view);
    auto moveIn = fadeIn(Transition("moveIn", "fromRight"));
    EXPECT_EQ(moveIn->pixelAtForTesting(5, 10).red, 0);
    EXPECT_EQ(moveIn->pixelAtForTesting(25, 10).red, 255);
    advance(1);

    view->setBackgroundColor(StandardColors::black());
    Renderer::renderImage(*view);
    auto reveal = fadeIn(Transition("reveal", "fromRight"));
    EXPECT_EQ(reveal->pixelAtForTesting(5, 10).red, 0);    // the old picture leaving to the left
    EXPECT_EQ(reveal->pixelAtForTesting(25, 10).red, 255); // uncovers the new one
    advance(1);

    // With no previous frame the transition starts from transparent.
    Renderer::resetForTesting();
    view->setBackgroundColor(StandardColors::black());
    auto fresh = fadeIn(Transition("fade"));
    EXPECT_NEAR(fresh->pixelAtForTesting(20, 10).alpha, 127, 3);
    advance(1);
}

// A photo's layer is as large as the photo and drawn scaled down: the
// picture a transition starts from holds the pixels the frame showed of it,
// not the whole layer at the frame's scale.
TEST_F(LayerTest, ATransitionOnALayerDrawnSmallStartsFromAPictureOfTheSizeShown)
{
    auto view = View::create({ 0, 0, 100, 80 });
    view->setBackgroundColor(StandardColors::black());
    auto big = Layer::create();
    big->setBounds({ 0, 0, 4000, 3000 });
    big->setPosition({ 50, 40 });
    big->setAffineTransform(gfx::AffineTransform::scale(0.025f, 0.025f));
    big->setBackgroundColor(StandardColors::red());
    view->layer().addSublayer(big);
    RenderOptions options;
    options.scale = 2;
    Renderer::renderImage(*view, options);

    Transition fade("fade");
    fade.setDuration(1.0);
    fade.setTimingFunction(TimingFunction::linear());
    big->addAnimation(fade, Transition::Key);
    big->setBackgroundColor(StandardColors::blue());
    advance(0.5);
    auto frame = Renderer::renderImage(*view, options);
    auto animation = big->animationForKey(Transition::Key);
    ASSERT_TRUE(animation && animation->startPicture);
    // 100 × 75 points at scale 2.
    EXPECT_NEAR(animation->startPicture->pixelWidth(), 200, 1);
    EXPECT_NEAR(animation->startPicture->pixelHeight(), 150, 1);
    EXPECT_NEAR(frame->pixelAtForTesting(100, 80).red, 127, 3);
    EXPECT_NEAR(frame->pixelAtForTesting(100, 80).blue, 127, 3);
    EXPECT_EQ(frame->pixelAtForTesting(100, 2).red, 0); // above the layer: the view's black
    advance(1);
}

TEST_F(LayerTest, GravityAndUndecodableContents)
{
    auto layer = Layer::create();
    layer->setBounds({ 0, 0, 40, 20 });
    layer->setBackgroundColor(StandardColors::red());

    // A 4 × 4 picture at the bottom right of the bounds.
    auto blue = gfx::makeImageContext({ 4, 4 }, 1);
    blue->setFillColor(0, 0, 1, 1);
    blue->fillRect({ 0, 0, 4, 4 });
    layer->setContents(blue->makeImage());
    layer->setContentsGravity("bottomRight");
    auto placed = Renderer::renderImage(*layer);
    EXPECT_EQ(placed->pixelAtForTesting(38, 18).blue, 255);
    EXPECT_EQ(placed->pixelAtForTesting(30, 10).blue, 0);

    // Contents whose pixels cannot be had draw nothing and say so.
    auto png = blue->makeImage()->pngRepresentation();
    ASSERT_TRUE(png);
    auto broken = gfx::Image::imageWithData(core::Data(png->substr(0, 40)));
    ASSERT_TRUE(broken);
    layer->setContents(broken);
    auto picture = Renderer::renderImage(*layer);
    Renderer::renderImage(*layer);
    EXPECT_EQ(picture->pixelAtForTesting(38, 18).red, 255);
    size_t lines = 0;
    for (auto& line : logLines())
        lines += line.find("decode") != std::string::npos;
    EXPECT_EQ(lines, 1u);
}

TEST_F(LayerTest, ALargeViewWithoutDrawingOfItsOwnGetsNoPictureOfItsSize)
{
    // The content view under a long document: tall, plain, with pages on
    // it. Only a view that draws gets a picture of its size; the others are
    // asked in a single pixel.
    class Tall : public View {
    public:
        void draw(gfx::Context& context, const gfx::Rect& rect) override
        {
            gfx::Rect clip = context.clipBoundingBox();
            largestArea = std::max(largestArea, double(clip.width()) * clip.height());
            if (fills) {
                context.setFillColor(0, 0, 1, 1);
                context.fillRect(rect);
                return;
            }
            View::draw(context, rect);
        }
        bool fills = false;
        double largestArea = 0;
    };
    auto holder = View::create({ 0, 0, 320, 480 });
    holder->setClipsToBounds(true);
    window().addSubview(holder);
    auto plain = std::make_shared<Tall>();
    plain->setFrame({ 0, 0, 320, 30000 });
    auto page = View::create({ 10, 10, 100, 100 });
    page->setBackgroundColor(gfx::Color::rgb255(255, 0, 0));
    plain->addSubview(page);
    holder->addSubview(plain);
    auto picture = Renderer::renderImage(*holder);
    EXPECT_LE(plain->largestArea, 1.0);
    EXPECT_FALSE(plain->layer().backingImage());
    EXPECT_EQ(picture->pixelAtForTesting(50, 50).red, 255);

    // One that draws is drawn whole, as before.
    plain->fills = true;
    plain->setNeedsDisplay();
    picture = Renderer::renderImage(*holder);
    EXPECT_DOUBLE_EQ(plain->largestArea, 320.0 * 30000);
    ASSERT_TRUE(plain->layer().backingImage());
    EXPECT_EQ(picture->pixelAtForTesting(200, 300).blue, 255);
    holder->removeFromSuperview();
}

TEST_F(LayerTest, ALayerWhosePictureCannotBeHadDrawsNothingAndKeepsNoBacking)
{
    // No size yet, or more pixels than a picture may hold at the screen's
    // scale: the layer is asked for no drawing and keeps no picture.
    for (gfx::Size size : { gfx::Size { 0, 50 }, gfx::Size { 320, 0 }, gfx::Size { 20000, 20000 } }) {
        auto layer = std::make_shared<CountingLayer>();
        layer->setBounds({ { 0, 0 }, size });
        layer->setContentsScale(2);
        layer->setNeedsDisplay();
        layer->displayIfNeeded();
        EXPECT_FALSE(layer->backingImage()) << size.width << " x " << size.height;
    }
    // A context that drew gives its picture.
    auto context = gfx::makeImageContext({ 2, 2 }, 1);
    ASSERT_TRUE(context);
    context->setFillColor(1, 0, 0, 1);
    context->fillRect({ 0, 0, 2, 2 });
    auto image = context->makeImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 2);
}
