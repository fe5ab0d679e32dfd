#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

using namespace ui;

namespace {

class TiledLayerTest : public test::UITestCase { };

// Records each tile it draws (off the main thread) and fills it.
class RecordingTiledLayer : public TiledLayer {
public:
    void drawInContext(gfx::Context& context) override
    {
        std::lock_guard lock(mutex);
        clips.push_back(context.clipBoundingBox());
        offMain = offMain && !core::Thread::isMainThread();
        if (failing)
            throw std::runtime_error("tile drawing failed");
        context.setFillColor(0, 0, 1, 1);
        context.fillRect(context.clipBoundingBox());
    }
    std::vector<gfx::Rect> takeClips()
    {
        std::lock_guard lock(mutex);
        return std::exchange(clips, {});
    }
    std::mutex mutex;
    std::vector<gfx::Rect> clips;
    bool offMain = true;
    std::atomic<bool> failing { false };
};

class InstantTiledLayer : public RecordingTiledLayer {
public:
    double fadeDuration() const override { return 0; }
};

template<typename T> std::shared_ptr<T> configured()
{
    auto layer = std::make_shared<T>();
    layer->setTileSize({ 2048, 2048 });
    layer->setLevelsOfDetail(1000);
    layer->setLevelsOfDetailBias(1000);
    layer->setBounds({ 0, 0, 2000, 3000 });
    layer->setAnchorPoint({ 0, 0 });
    return layer;
}

} // namespace

TEST_F(TiledLayerTest, LevelsFollowTheScaleOnScreen)
{
    Screen::main()->setScale(2);
    auto layer = configured<TiledLayer>();
    EXPECT_EQ(layer->levelForScale(2), 1);
    EXPECT_EQ(layer->tilePointSize(1), (gfx::Size { 1024, 1024 }));
    EXPECT_EQ(layer->levelForScale(8), 3);
    EXPECT_EQ(layer->tilePointSize(3), (gfx::Size { 256, 256 }));
    EXPECT_EQ(layer->levelForScale(0.5f), 1);
    EXPECT_EQ(layer->levelForScale(0.01f), 1);

    EXPECT_THROW(layer->setTileSize({ 8, 256 }), core::Exception);
    EXPECT_THROW(layer->setTileSize({ 256, 5000 }), core::Exception);
    EXPECT_THROW(layer->setLevelsOfDetail(0), core::Exception);
}

TEST_F(TiledLayerTest, OnlyVisibleTilesAreDrawnOffTheMainThread)
{
    Screen::main()->setScale(2);
    auto scroller = View::create({ 0, 0, 320, 480 });
    scroller->setClipsToBounds(true);
    window().addSubview(scroller);
    auto layer = configured<InstantTiledLayer>();
    scroller->layer().addSublayer(layer);

    EXPECT_EQ(layer->visibleTiles().size(), 1u);
    layer->renderVisibleTilesSynchronouslyForTesting();
    EXPECT_EQ(layer->pendingTileCount(), 0u);
    auto clips = layer->takeClips();
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0], gfx::Rect(0, 0, 1024, 1024));
    EXPECT_TRUE(layer->offMain);

    scroller->setBounds({ 900, 900, 320, 480 });
    EXPECT_EQ(layer->visibleTiles().size(), 4u);
    layer->renderVisibleTilesSynchronouslyForTesting();
    EXPECT_EQ(layer->takeClips().size(), 3u); // the first one was drawn before

    // Marking a rectangle redraws only the tiles it meets.
    layer->setNeedsDisplayInRect({ 1100, 1100, 10, 10 });
    layer->renderVisibleTilesSynchronouslyForTesting();
    clips = layer->takeClips();
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0], gfx::Rect(1024, 1024, 976, 1024));

    // What is drawn shows at once with no fade.
    auto picture = Renderer::renderImage(*scroller);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixelAtForTesting(10, 10).blue, 255);
    EXPECT_EQ(picture->pixelAtForTesting(300, 400).blue, 255);

    // Out of sight: nothing to draw.
    scroller->setBounds({ 5000, 5000, 320, 480 });
    EXPECT_TRUE(layer->visibleTiles().empty());
    scroller->removeFromSuperview();
}

TEST_F(TiledLayerTest, TilesFadeInAndFailuresStayBlank)
{
    auto layer = std::make_shared<RecordingTiledLayer>();
    layer->setBounds({ 0, 0, 64, 64 });
    layer->setAnchorPoint({ 0, 0 });
    layer->setTileSize({ 32, 32 });
    window().layer().addSublayer(layer);
    // The first render only queues; the tiles come, then fade in.
    Renderer::renderImage(*layer);
    EXPECT_EQ(layer->pendingTileCount(), 4u);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return layer->pendingTileCount() == 0; }, 30));
    auto start = Renderer::renderImage(*layer);
    EXPECT_EQ(start->pixelAtForTesting(10, 10).alpha, 0);
    advance(0.125);
    auto middle = Renderer::renderImage(*layer);
    EXPECT_NEAR(middle->pixelAtForTesting(10, 10).alpha, 127, 3);
    advance(0.2);
    EXPECT_EQ(Renderer::renderImage(*layer)->pixelAtForTesting(10, 10).alpha, 255);

    // A failing tile is logged and stays blank; the worker goes on.
    layer->failing = true;
    layer->setNeedsDisplayInRect({ 0, 0, 1, 1 });
    layer->renderVisibleTilesSynchronouslyForTesting();
    EXPECT_TRUE(logContains("tile drawing failed"));
    layer->failing = false;
    layer->setNeedsDisplayInRect({ 40, 40, 1, 1 });
    layer->renderVisibleTilesSynchronouslyForTesting();
    auto after = Renderer::renderImage(*layer);
    EXPECT_EQ(after->pixelAtForTesting(10, 10).alpha, 0);
    EXPECT_EQ(after->pixelAtForTesting(50, 50).blue, 255);
    layer->removeFromSuperlayer();
}

// Tiles shown at a scale that puts their edges between pixels meet without
// a seam: every pixel of a wholly drawn layer is opaque.
TEST_F(TiledLayerTest, TilesMeetWithoutSeamsBetweenPixels)
{
    auto layer = std::make_shared<InstantTiledLayer>();
    layer->setBounds({ 0, 0, 100, 100 });
    layer->setAnchorPoint({ 0, 0 });
    layer->setTileSize({ 32, 32 });
    window().layer().addSublayer(layer);
    layer->renderVisibleTilesSynchronouslyForTesting();
    RenderOptions options;
    options.scale = 1.37f;
    auto picture = Renderer::renderImage(*layer, options);
    ASSERT_TRUE(picture);
    int seams = 0;
    for (int y = 1; y < 136; ++y)
        for (int x = 1; x < 136; ++x)
            seams += picture->pixelAtForTesting(x, y).alpha != 255;
    EXPECT_EQ(seams, 0);
    layer->removeFromSuperlayer();
}

// A layer may give the colour its tiles start as: what its drawing leaves
// shows that colour, opaque, in every tile and again when a tile is drawn
// anew in memory another tile had; without one, the rest stays clear.
TEST_F(TiledLayerTest, TilesStartAsTheLayersTileBackground)
{
    class PaperLayer : public InstantTiledLayer {
    public:
        gfx::Color tileBackgroundColor() const override { return paper ? gfx::Color(1, 1, 0, 1) : gfx::Color(); }
        void drawInContext(gfx::Context& context) override
        {
            context.setFillColor(0, 0, 1, 1);
            context.fillRect(context.clipBoundingBox().intersection({ 0, 0, 100, 100 }));
        }
        bool paper = true;
    };
    Screen::main()->setScale(2);
    auto layer = configured<PaperLayer>();
    layer->setTileSize({ 512, 512 }); // 1 MiB a tile: memory handed out again
    layer->setBounds({ 0, 0, 300, 400 }); // 2 × 2 tiles of 256 points
    window().layer().addSublayer(layer);
    for (int round = 0; round < 3; ++round) {
        layer->paper = round != 1;
        layer->setNeedsDisplay();
        layer->renderVisibleTilesSynchronouslyForTesting();
        auto picture = Renderer::renderImage(*layer);
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->width() % 300, 0);
        int scale = picture->width() / 300;
        EXPECT_EQ(picture->pixelAtForTesting(5 * scale, 5 * scale), (gfx::Pixel { 0, 0, 255, 255 }));
        gfx::Pixel rest = layer->paper ? gfx::Pixel { 255, 255, 0, 255 } : gfx::Pixel {};
        for (auto [x, y] : { std::pair { 150, 5 }, { 295, 395 }, { 5, 350 }, { 275, 50 } })
            EXPECT_EQ(picture->pixelAtForTesting(x * scale, y * scale), rest) << round << ": " << x << ", " << y;
    }
    layer->removeFromSuperlayer();
}

TEST_F(TiledLayerTest, ALayerDroppedWithQueuedTilesIsNeverDrawnAgain)
{
    static std::atomic<bool> destroying { false };
    static std::atomic<int> lateDraws { 0 };
    static std::atomic<bool> destroyedOnMain { false };
    // Statics, as the local class cannot capture: start each run afresh.
    destroying = false;
    lateDraws = 0;
    destroyedOnMain = false;
    class Dying : public TiledLayer {
    public:
        ~Dying() override
        {
            destroying = true;
            destroyedOnMain = core::Thread::isMainThread();
        }
        void drawInContext(gfx::Context&) override
        {
            if (destroying)
                ++lateDraws;
        }
    };
    TiledLayer::setWorkerCountForTesting(1);
    auto holder = View::create({ 0, 0, 320, 480 });
    window().addSubview(holder);
    auto layer = std::make_shared<Dying>();
    layer->setTileSize({ 16, 16 });
    layer->setBounds({ 0, 0, 80, 32 });
    layer->setAnchorPoint({ 0, 0 });
    holder->layer().addSublayer(layer);
    Renderer::renderImage(*holder);
    EXPECT_EQ(layer->pendingTileCount(), 10u);
    layer->removeFromSuperlayer();
    layer.reset();
    ASSERT_TRUE(core::RunLoop::main().runUntil([] { return destroying.load(); }, 30));
    TiledLayer::endIdleWorkers();
    core::Thread::waitForAll(10);
    runLoop();
    EXPECT_EQ(lateDraws, 0);
    EXPECT_TRUE(destroyedOnMain);
    holder->removeFromSuperview();
}

TEST_F(TiledLayerTest, ScrollingEndToEndKeepsTheCacheWithinFourScreens)
{
    auto scroller = View::create({ 0, 0, 320, 480 });
    scroller->setClipsToBounds(true);
    window().addSubview(scroller);
    auto layer = std::make_shared<InstantTiledLayer>();
    layer->setBounds({ 0, 0, 320, 20000 });
    layer->setAnchorPoint({ 0, 0 });
    scroller->layer().addSublayer(layer);
    gfx::Rect screen = Screen::main()->bounds();
    float scale = Screen::main()->scale();
    double fourScreens = 4.0 * screen.width() * screen.height() * scale * scale;
    size_t most = 0;
    for (float y = 0; y + 480 <= 20000; y += 200) {
        scroller->setBounds({ 0, y, 320, 480 });
        layer->renderVisibleTilesSynchronouslyForTesting();
        most = std::max(most, layer->cachedPixelsForTesting());
    }
    EXPECT_LE(double(most), fourScreens);
    EXPECT_GT(layer->takeClips().size(), 70u);
    scroller->removeFromSuperview();
}

TEST_F(TiledLayerTest, OneBudgetCoversEveryLayerAndALayerOutOfTheWindowKeepsNothing)
{
    auto scroller = View::create({ 0, 0, 320, 480 });
    scroller->setClipsToBounds(true);
    window().addSubview(scroller);
    std::vector<std::shared_ptr<InstantTiledLayer>> layers;
    for (int i = 0; i < 3; ++i) {
        auto layer = std::make_shared<InstantTiledLayer>();
        layer->setBounds({ 0, 0, 320, 6000 });
        layer->setAnchorPoint({ 0, 0 });
        layer->setPosition({ 0, float(i) * 6000 });
        scroller->layer().addSublayer(layer);
        layers.push_back(layer);
    }
    gfx::Rect screen = Screen::main()->bounds();
    float scale = Screen::main()->scale();
    double fourScreens = 4.0 * screen.width() * screen.height() * scale * scale;
    double most = 0;
    for (float y = 0; y + 480 <= 18000; y += 400) {
        scroller->setBounds({ 0, y, 320, 480 });
        for (auto& layer : layers)
            layer->renderVisibleTilesSynchronouslyForTesting();
        double total = 0;
        for (auto& layer : layers)
            total += double(layer->cachedPixelsForTesting());
        most = std::max(most, total);
    }
    EXPECT_LE(most, fourScreens);
    // The last layer holds what is on screen; the first, long gone, was
    // dropped first.
    EXPECT_GT(layers[2]->cachedTileCount(), 0u);
    EXPECT_EQ(layers[0]->cachedTileCount(), 0u);

    layers[2]->removeFromSuperlayer();
    layers[1]->renderVisibleTilesSynchronouslyForTesting();
    EXPECT_EQ(layers[2]->cachedTileCount(), 0u);
    scroller->removeFromSuperview();
}

TEST_F(TiledLayerTest, JobsScrolledAwayBeforeAWorkerTakesThemAreDropped)
{
    // The only worker is held inside the first tile while the view jumps
    // far away: the jobs queued on the way are dropped, newest first.
    static std::atomic<bool> release { false };
    static std::atomic<bool> holding { false };
    release = false;
    holding = false;
    class Held : public InstantTiledLayer {
    public:
        void drawInContext(gfx::Context& context) override
        {
            holding = true;
            while (!release)
                std::this_thread::yield();
            InstantTiledLayer::drawInContext(context);
        }
    };
    TiledLayer::setWorkerCountForTesting(1);
    auto scroller = View::create({ 0, 0, 320, 480 });
    scroller->setClipsToBounds(true);
    window().addSubview(scroller);
    auto layer = std::make_shared<Held>();
    layer->setTileSize({ 256, 256 });
    layer->setBounds({ 0, 0, 320, 40000 });
    layer->setAnchorPoint({ 0, 0 });
    scroller->layer().addSublayer(layer);
    uint64_t drawnBefore = TiledLayer::tilesDrawnForTesting();
    Renderer::renderImage(*scroller);
    ASSERT_TRUE(core::RunLoop::main().runUntil([] { return holding.load(); }, 30));
    for (float y = 480; y + 480 <= 40000; y += 480) {
        scroller->setBounds({ 0, y, 320, 480 });
        Renderer::renderImage(*scroller);
    }
    release = true;
    layer->renderVisibleTilesSynchronouslyForTesting();
    // The stale jobs come back undrawn once the worker has looked at them.
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return layer->pendingTileCount() == 0; }, 30));
    uint64_t drawn = TiledLayer::tilesDrawnForTesting() - drawnBefore;
    // The held tile, the ones on screen at the end, and at most the jobs of
    // the frame before (one tile beyond the visible ones).
    EXPECT_LE(drawn, 1 + 2 * layer->visibleTiles().size() + 4);
    EXPECT_GT(TiledLayer::tilesDroppedForTesting(), 100u);
    EXPECT_EQ(layer->pendingTileCount(), 0u);
    scroller->removeFromSuperview();
}

TEST_F(TiledLayerTest, AnchoredLevelsDrawAFittedLayerAtTheScreensOwnPixels)
{
    Screen::main()->setScale(2);
    auto anchored = configured<InstantTiledLayer>();
    anchored->setAnchorsLevelsAtShownScale(true);
    auto plain = configured<InstantTiledLayer>();
    for (auto& layer : { anchored, plain }) {
        layer->setBounds({ 0, 0, 100, 130 });
        layer->setAffineTransform(gfx::AffineTransform::scale(1.5f, 1.5f));
        window().layer().addSublayer(layer);
        layer->renderVisibleTilesSynchronouslyForTesting();
        EXPECT_FLOAT_EQ(layer->scaleOnScreen(), 3);
    }
    // Shown at 3 pixels a point: one tile of exactly 300 × 390 pixels, where
    // powers of two of 1 would draw 400 × 520.
    EXPECT_FLOAT_EQ(anchored->levelAnchor(), 0.75f);
    EXPECT_EQ(anchored->cachedPixelsForTesting(), 300u * 390u);
    EXPECT_EQ(anchored->takeClips(), std::vector<gfx::Rect> { gfx::Rect(0, 0, 100, 130) });
    EXPECT_FLOAT_EQ(plain->levelAnchor(), 1);
    EXPECT_EQ(plain->cachedPixelsForTesting(), 400u * 520u);

    // Zooming in doubles from the anchor, which stays while tiles are held.
    anchored->setAffineTransform(gfx::AffineTransform::scale(3, 3));
    anchored->renderVisibleTilesSynchronouslyForTesting();
    EXPECT_FLOAT_EQ(anchored->levelAnchor(), 0.75f);
    EXPECT_EQ(anchored->levelForScale(6), anchored->levelForScale(3) + 1);
    EXPECT_FLOAT_EQ(anchored->scaleOfLevel(anchored->levelForScale(6)), 6);

    // Out of the window it keeps nothing; shown again, the new scale anchors.
    anchored->removeFromSuperlayer();
    plain->renderVisibleTilesSynchronouslyForTesting();
    EXPECT_EQ(anchored->cachedTileCount(), 0u);
    anchored->setAffineTransform(gfx::AffineTransform::scale(1.25f, 1.25f));
    window().layer().addSublayer(anchored);
    anchored->renderVisibleTilesSynchronouslyForTesting();
    EXPECT_FLOAT_EQ(anchored->levelAnchor(), 0.625f);
    EXPECT_EQ(anchored->cachedPixelsForTesting(), 250u * 325u);
    anchored->removeFromSuperlayer();
    plain->removeFromSuperlayer();
}

TEST_F(TiledLayerTest, WorkersDrawLayersSideBySideAndStayForTheNextTiles)
{
    // Each layer's tile waits for the other's to start: drawn one after the
    // other, the first would give up waiting.
    static std::atomic<int> started { 0 };
    static std::atomic<int> overlapped { 0 };
    static std::mutex threadsMutex;
    static std::set<std::thread::id> threads;
    started = 0;
    overlapped = 0;
    threads.clear();
    class Meeting : public InstantTiledLayer {
    public:
        void drawInContext(gfx::Context& context) override
        {
            {
                std::lock_guard lock(threadsMutex);
                threads.insert(std::this_thread::get_id());
            }
            ++started;
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (started < 2 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            if (started >= 2)
                ++overlapped;
            InstantTiledLayer::drawInContext(context);
        }
    };
    TiledLayer::setWorkerCountForTesting(2);
    std::vector<std::shared_ptr<Meeting>> layers;
    for (int i = 0; i < 2; ++i) {
        auto layer = std::make_shared<Meeting>();
        layer->setBounds({ 0, 0, 100, 100 });
        layer->setAnchorPoint({ 0, 0 });
        layer->setPosition({ float(i) * 120, 0 });
        window().layer().addSublayer(layer);
        layers.push_back(layer);
    }
    TiledLayer::renderAllVisibleTilesSynchronously();
    EXPECT_EQ(overlapped, 2);
    EXPECT_EQ(threads.size(), 2u);

    // The next tiles are drawn by the same threads, not by new ones.
    started = 0;
    for (auto& layer : layers)
        layer->setNeedsDisplay();
    TiledLayer::renderAllVisibleTilesSynchronously();
    EXPECT_EQ(overlapped, 4);
    EXPECT_EQ(threads.size(), 2u);

    // Told to, idle workers go at once.
    TiledLayer::endIdleWorkers();
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(core::Thread::waitForAll(5));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    for (auto& layer : layers)
        layer->removeFromSuperlayer();
}
