// Web pages live in the desktop window under the tests' own Xvfb: the page's
// widget follows its view through a push frame by frame (the test clock
// stepping the animation), gives way to its picture while the toolkit's
// content covers it or an animation scales it, comes back as it was, and
// pages stack in tree order. What X shows is read back from the window.

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/AlertView.h"
#include "Platform/Host/ScreenFit.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/Transition.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebSnapshot.h"
#include "Platform/Web/WebView.h"
#include "Support/GoldenImage.h"
#include "HostTestCase.h"

#include <gtk/gtk.h>

using namespace ui;

namespace {

// A page of one colour, `height` CSS pixels tall, with a word on it.
std::string pageOf(const char* colour, int height = 0)
{
    std::string tall = height > 0 ? ";height:" + std::to_string(height) + "px" : ";height:100vh";
    return std::string("<body style='margin:0;background:") + colour + tall + "'><p style='margin:0;font-size:30px'>page</p></body>";
}

int channel(uint32_t rgb, int shift)
{
    return int((rgb >> shift) & 0xFF);
}

bool near(uint32_t a, uint32_t b, int levels = 8)
{
    for (int shift : { 0, 8, 16 })
        if (std::abs(channel(a, shift) - channel(b, shift)) > levels)
            return false;
    return true;
}

class LivePagesTest : public test::HostTestCase {
protected:
    void SetUp() override
    {
        HostTestCase::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        auto engine = web::GtkWebEngine::shared();
        ASSERT_TRUE(engine);
        web::WebEngine::setCurrent(engine);
    }
    void TearDown() override
    {
        web::WebEngine::setCurrent(nullptr);
        HostTestCase::TearDown();
    }

    std::vector<GtkWidget*> pages() const { return livePages(); }
    // Where a container is asked to stand (GTK lays it out on its next frame).
    static gfx::Rect asked(GtkWidget* layout)
    {
        int width = 0, height = 0;
        gtk_widget_get_size_request(layout, &width, &height);
        return { float(gtk_widget_get_margin_start(layout)), float(gtk_widget_get_margin_top(layout)), float(width),
            float(height) };
    }
    static bool shows(GtkWidget* layout) { return gtk_widget_get_visible(layout); }

    std::shared_ptr<web::WebView> loadedPage(const gfx::Rect& frame, const std::string& html, View& into)
    {
        auto page = web::WebView::create(frame);
        page->loadHTMLString(html);
        into.addSubview(page);
        EXPECT_TRUE(pump([&] { return !page->isLoading() && page->url(); }, 10));
        auto& document = static_cast<web::WebDocumentView&>(page->documentView());
        EXPECT_TRUE(pump([&] { return document.snapshot() != nullptr; }, 10));
        return page;
    }

    // What X shows of the area now, as 0xRRGGBB per pixel.
    std::vector<uint32_t> shown(int& width, int& height) const
    {
        GdkWindow* window = gtk_widget_get_window(area);
        width = gtk_widget_get_allocated_width(area);
        height = gtk_widget_get_allocated_height(area);
        GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(window, 0, 0, width, height);
        std::vector<uint32_t> pixels;
        if (!pixbuf)
            return pixels;
        int channels = gdk_pixbuf_get_n_channels(pixbuf);
        int stride = gdk_pixbuf_get_rowstride(pixbuf);
        const guchar* data = gdk_pixbuf_get_pixels(pixbuf);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const guchar* p = data + y * stride + x * channels;
                pixels.push_back(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
            }
        g_object_unref(pixbuf);
        return pixels;
    }
    uint32_t shownAt(int x, int y) const
    {
        int width = 0, height = 0;
        auto pixels = shown(width, height);
        return x < width && y < height && !pixels.empty() ? pixels[size_t(y * width + x)] : 0;
    }

};

TEST_F(LivePagesTest, APageFollowsAPushFrameByFrameAndHidesWhenPushedAway)
{
    auto root = std::make_shared<ViewController>();
    auto navigation = NavigationController::create(root);
    navigation->view()->setFrame({ 0, 20, 320, 460 });
    window().addSubview(navigation->view());
    auto shown = std::make_shared<ViewController>();
    auto page = web::WebView::create({ 0, 0, 320, 300 });
    page->loadHTMLString(pageOf("#c0e0ff"));
    shown->view()->addSubview(page);
    navigation->pushViewController(shown, false);
    runLoop();
    ASSERT_TRUE(pump([&] { return !page->isLoading() && page->url(); }, 10));
    host->flush();
    ASSERT_EQ(pages().size(), 1u);
    GtkWidget* layout = pages()[0];
    float top = page->convertRect(page->bounds(), nullptr).y();
    EXPECT_EQ(asked(layout), gfx::Rect(0, top, 320, 300));

    // The navigation's content slides in from the right over 0.4 s,
    // evenly: each frame the page stands where the transition draws it, cut
    // at the navigation's edge.
    Transition push("push", "fromRight");
    push.setDuration(0.4);
    push.setTimingFunction(TimingFunction::linear());
    navigation->view()->layer().addAnimation(push, Transition::Key);
    host->flush();
    EXPECT_FALSE(shows(layout)) << "the push starts with the page off the screen";
    for (int frame = 1; frame <= 3; ++frame) {
        advance(0.1);
        host->flush();
        float x = 320 * (1 - 0.25f * float(frame));
        EXPECT_EQ(asked(layout), gfx::Rect(x, top, 320 - x, 300)) << "frame " << frame;
        EXPECT_TRUE(shows(layout)) << "a push only moves the page: it stays live";
    }
    advance(0.1);
    host->flush();
    EXPECT_EQ(asked(layout), gfx::Rect(0, top, 320, 300)) << "in place once the push ends";

    // The presentation frame of a view animation moves it too.
    ViewAnimation::animate(1.0, 0, ViewAnimation::CurveLinear, [&] { page->setFrame({ -160, 0, 320, 300 }); });
    advance(0.5);
    host->flush();
    EXPECT_EQ(asked(layout), gfx::Rect(0, top, 240, 300)) << "half way: 80 points to the left, cut at the edge";
    advance(0.6);
    host->flush();
    EXPECT_EQ(asked(layout), gfx::Rect(0, top, 160, 300));

    // Pushed away: the page stays on top until the push ends (the
    // navigation keeps the leaving view above), then leaves with its
    // controller's view.
    navigation->pushViewController(std::make_shared<ViewController>(), true);
    host->flush();
    EXPECT_TRUE(shows(layout));
    advance(NavigationController::TransitionDuration);
    runLoop();
    EXPECT_TRUE(pages().empty());
    navigation->view()->removeFromSuperview();
}

TEST_F(LivePagesTest, UnderAnAlertThePicturesShowsAsTheRendererDrawsItAndThePageComesBack)
{
    ASSERT_EQ(host->fit().picture(), gfx::Rect(0, 0, 320, 480)) << "one window pixel per point";
    auto page = loadedPage({ 0, 60, 320, 400 }, pageOf("#3070d0", 3000), window());
    page->evaluateJavaScript("window.scrollTo(0, 500)", nullptr);
    ASSERT_TRUE(pump([&] { return page->scrollView().contentOffset().y == 500; }));
    // Live, its picture follows once the scrolling rests.
    auto& document = static_cast<web::WebDocumentView&>(page->documentView());
    EXPECT_TRUE(pump([&] { return document.snapshot() && document.snapshot()->offset().y == 500; }));
    host->flush();
    settle();
    ASSERT_EQ(pages().size(), 1u);
    GtkWidget* layout = pages()[0];
    ASSERT_TRUE(shows(layout));
    EXPECT_TRUE(near(shownAt(20, 300), 0x3070d0)) << std::hex << shownAt(20, 300);

    auto alert = AlertView::create("Over the page", "The page shows as its picture.", {}, std::string("OK"));
    alert->show();
    host->flush();
    EXPECT_TRUE(shows(layout)) << "the page stays until its fresh picture is there";
    EXPECT_TRUE(pump([&] { return !shows(layout); }, 5)) << "the picture takes its place";
    settle();

    // What X shows is the renderer's screen: the page's picture dimmed
    // under the alert.
    auto expected = Renderer::renderScreenImage();
    ASSERT_TRUE(expected);
    int width = 0, height = 0;
    auto pixels = shown(width, height);
    ASSERT_EQ(width, 320);
    ASSERT_EQ(height, 480);
    size_t matching = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            gfx::Pixel p = test::straightPixel(*expected, x, y);
            uint32_t rgb = uint32_t(p.red) << 16 | uint32_t(p.green) << 8 | p.blue;
            matching += near(pixels[size_t(y * width + x)], rgb) ? 1 : 0;
        }
    EXPECT_GE(double(matching), 0.995 * width * height) << matching << " of " << width * height;
    // Beside the alert's box.
    uint32_t dimmed = pixels[size_t(420 * width + 10)];
    EXPECT_TRUE(near(dimmed, uint32_t(0x30 * 6 / 10) << 16 | uint32_t(0x70 * 6 / 10) << 8 | uint32_t(0xd0 * 6 / 10), 10))
        << std::hex << dimmed;

    // Gone, the page is live again where it was.
    alert->dismiss(0, false);
    runLoop();
    host->flush();
    EXPECT_TRUE(shows(layout));
    EXPECT_EQ(asked(layout), gfx::Rect(0, 60, 320, 400));
    std::string scrolled;
    page->evaluateJavaScript("String(window.scrollY)", [&](const std::string& result, const core::Error*) { scrolled = result; });
    ASSERT_TRUE(pump([&] { return !scrolled.empty(); }));
    EXPECT_EQ(scrolled, "500");
    page->removeFromSuperview();
}

TEST_F(LivePagesTest, AnAnimationThatScalesThePageShowsItsPictureUntilItEnds)
{
    auto page = loadedPage({ 0, 60, 320, 300 }, pageOf("#e0c040"), window());
    host->flush();
    GtkWidget* layout = pages().at(0);
    ASSERT_TRUE(shows(layout));
    ViewAnimation::animate(0.5, 0, ViewAnimation::CurveLinear,
        [&] { page->setTransform(gfx::AffineTransform::scale(0.5f, 0.5f)); });
    advance(0.1);
    host->flush();
    EXPECT_TRUE(pump([&] { return !shows(layout); })) << "scaled, the picture shows";
    ViewAnimation::animate(0.5, 0, ViewAnimation::CurveLinear,
        [&] { page->setTransform(gfx::AffineTransform()); });
    advance(0.6);
    host->flush();
    EXPECT_TRUE(shows(layout)) << "upright again, the page is live";
    EXPECT_EQ(asked(layout), gfx::Rect(0, 60, 320, 300));
    page->removeFromSuperview();
}

TEST_F(LivePagesTest, OverlappingPagesStackInTreeOrder)
{
    auto first = loadedPage({ 20, 60, 200, 200 }, pageOf("#d02020"), window());
    auto second = loadedPage({ 120, 160, 180, 200 }, pageOf("#20a040"), window());
    host->flush();
    settle();
    auto layouts = pages();
    ASSERT_EQ(layouts.size(), 2u);
    // The one behind is covered where the one in front overlaps it: it
    // shows its picture; the front one is live over it.
    EXPECT_TRUE(pump([&] { settle(); return near(shownAt(200, 240), 0x20a040); })) << std::hex << shownAt(200, 240);
    EXPECT_TRUE(near(shownAt(40, 80), 0xd02020)) << std::hex << shownAt(40, 80);

    window().bringSubviewToFront(first.get());
    runLoop();
    host->flush();
    EXPECT_TRUE(pump([&] { settle(); return near(shownAt(200, 240), 0xd02020); })) << std::hex << shownAt(200, 240);
    EXPECT_TRUE(near(shownAt(280, 340), 0x20a040)) << std::hex << shownAt(280, 340);
    first->removeFromSuperview();
    second->removeFromSuperview();
}

} // namespace
