#include "PDFLayoutTestCase.h"

#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/PdfBuilder.h"
#include "Support/UIScreens.h"
#include "Viewers/PDF/VKCenteringScrollView.h"
#include "Viewers/PDF/VKDocumentViewHorizontal.h"
#include "Viewers/PDF/VKDocumentViewHorizontalDouble.h"
#include "Viewers/PDF/VKOverlayView.h"
#include "Viewers/PDF/VKPagingView.h"
#include "Viewers/PDF/VKScrollPagingViewCell.h"
#include "Viewers/PDF/VKScrollTrackView.h"

#include <functional>

using namespace test;

namespace {

// A controller whose view is one of the sideways layouts over the test data
// source, turning with the device.
class HorizontalHarness : public ui::ViewController {
public:
    explicit HorizontalHarness(bool spreads) : m_spreads(spreads) { }
    void loadView() override
    {
        auto view = ui::View::create(gfx::Rect(0, 0, 320, 480));
        if (m_spreads)
            layout = VKDocumentViewHorizontalDouble::create(view->bounds());
        else
            layout = VKDocumentViewHorizontal::create(view->bounds());
        view->addSubview(layout);
        setView(view);
    }
    bool shouldAutorotate(ui::Orientation) override { return true; }
    std::shared_ptr<VKDocumentViewHorizontal> layout;

private:
    bool m_spreads;
};

// Framed pages of shapes (vector only, so goldens do not follow the fonts):
// a header bar, two columns of lines and a corner block whose colour tells
// the page.
core::Data shapesDocument(const std::vector<std::string>& boxes)
{
    static const char* colours[] = { "0.8 0.2 0.2", "0.2 0.6 0.2", "0.2 0.3 0.8", "0.8 0.6 0.1", "0.5 0.2 0.6" };
    PdfBuilder builder;
    for (size_t page = 0; page < boxes.size(); ++page) {
        std::string content = "0.3 0.3 0.3 RG 4 w 20 20 572 400 re S 0.2 0.2 0.2 rg 60 360 300 18 re f ";
        for (int line = 0; line < 14; ++line) {
            std::string y = std::to_string(330 - line * 18);
            content += "0.45 0.45 0.5 rg 60 " + y + " 220 9 re f 320 " + y + " 230 9 re f ";
        }
        content += std::string(colours[page % 5]) + " rg 480 40 80 60 re f";
        builder.addPage(content, "/MediaBox [" + boxes[page] + "]");
    }
    return builder.build();
}

struct Device {
    const DeviceScreen* screen;
    ui::Orientation orientation;
    std::string name;
};

class HorizontalScreensTest : public PDFLayoutTestCase {
protected:
    void TearDown() override
    {
        close();
        PDFLayoutTestCase::TearDown();
    }
    void close()
    {
        if (harness) {
            if (ui::Application::shared()->statusBarOrientation() != ui::Orientation::Portrait)
                driver.rotate(ui::Orientation::Portrait);
            window().setRootViewController(nullptr);
            harness.reset();
        }
        runLoop();
    }
    void open(const Device& device, const core::Data& data, bool spreads, bool singleFirst = true)
    {
        close();
        useDeviceScreen(window(), *device.screen);
        source = std::make_shared<LayoutDataSource>();
        source->document = VKPDFDocument::initWithData(data);
        source->document->pageGeometry(0);
        harness = std::make_shared<HorizontalHarness>(spreads);
        window().setRootViewController(harness);
        harness->view();
        if (device.orientation != ui::Orientation::Portrait) {
            EXPECT_TRUE(driver.rotate(device.orientation));
        }
        if (auto pairs = std::dynamic_pointer_cast<VKDocumentViewHorizontalDouble>(harness->layout))
            pairs->setSingleFirstPage(singleFirst);
        layout().setDelegate(delegate.get());
        layout().setDataSource(source.get());
        layout().setPagingEnabled(true);
        advance(1);
        settle();
    }
    void settle()
    {
        window().layoutIfNeeded();
        layout().pagingView().layoutIfNeeded();
        window().layoutIfNeeded();
    }
    // Bars over the layout, and the layout told of them.
    void showChrome()
    {
        float width = layout().bounds().width(), height = layout().bounds().height();
        auto top = ui::Toolbar::create({ 0, 0, width, 44 });
        top->setBarStyle(ui::NavigationBar::Style::BlackTranslucent);
        auto bottom = ui::Toolbar::create({ 0, height - 44, width, 44 });
        bottom->setBarStyle(ui::NavigationBar::Style::BlackTranslucent);
        harness->view()->addSubview(top);
        harness->view()->addSubview(bottom);
        layout().setThumbnailsEnabled(true);
        layout().setToolbarContentInsets({ 44, 0, 44, 0 });
        layout().setToolbarInsets({ 44, 0, 44, 0 });
    }
    VKDocumentViewHorizontal& layout() { return *harness->layout; }
    VKCenteringScrollView& scrollView() { return layout().currentPageCell()->scrollView(); }
    void shoot(const Device& device, const std::string& scene)
    {
        settle();
        ui::TiledLayer::renderAllVisibleTilesSynchronously();
        saveScreen(driver, sourcePath("build/screens/pdf_horizontal"), scene + "_" + device.name, device.screen->scale);
    }
    ::testing::AssertionResult golden(const std::string& name)
    {
        settle();
        ui::TiledLayer::renderAllVisibleTilesSynchronously();
        auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
        if (!picture)
            return ::testing::AssertionFailure() << "nothing rendered";
        return matchesGolden(*picture, sourcePath(""), name);
    }
    static std::vector<Device> devices()
    {
        return { { &phoneScreen, ui::Orientation::Portrait, "phone_portrait" },
            { &phoneScreen, ui::Orientation::LandscapeLeft, "phone_landscape" },
            { &tabletScreen, ui::Orientation::Portrait, "tablet_portrait" },
            { &tabletScreen, ui::Orientation::LandscapeLeft, "tablet_landscape" } };
    }
    void eachDevice(const core::Data& data, bool spreads, const std::function<void(const Device&)>& scene)
    {
        for (auto& device : devices()) {
            SCOPED_TRACE(device.name);
            open(device, data, spreads);
            scene(device);
        }
    }
    // Half a turn towards the next cell, the finger still down.
    std::vector<int> holdHalfATurn()
    {
        float w = layout().bounds().width(), h = layout().bounds().height();
        auto at = [&](float x) { return layout().convertPoint({ x, h / 2 }, nullptr); };
        auto fingers = driver.touchDown({ at(w * 0.8f) });
        for (int step = 1; step <= 10; ++step) {
            driver.wait(0.02);
            driver.touchMove({ { fingers[0], at(w * 0.8f - w * 0.05f * float(step)) } });
        }
        return fingers;
    }

    std::shared_ptr<HorizontalHarness> harness;
};

} // namespace

TEST_F(HorizontalScreensTest, SinglePagesWithAndWithoutChromeZoomedAndMidTurn)
{
    PdfBuilder builder;
    eachDevice(textDocument(4), false, [&](const Device& device) {
        shoot(device, "single_page");
        // Centred: the gap left and right, or above and below, is even.
        auto* page = scrollView().contentView().get();
        gfx::Rect f = page->frame();
        gfx::Rect b = scrollView().bounds();
        EXPECT_NEAR(f.minX(), b.width() - f.maxX(), 1);
        EXPECT_NEAR(f.minY(), b.height() - f.maxY(), 1);

        auto fingers = holdHalfATurn();
        settle();
        EXPECT_EQ(layout().pagingView().visibleRangeForContentOffset(layout().pagingView().contentOffset()).length, 2u);
        shoot(device, "mid_turn");
        driver.touchUp(fingers);
        advance(1);
        settle();
        EXPECT_EQ(layout().currentPageCellIndex(), 1u);

        showChrome();
        shoot(device, "single_page_chrome");
        EXPECT_LE(layout().scrollTrackView()->frame().maxY(), layout().bounds().height() - 44);
    });

    // A landscape page zoomed past the width: it stays centred top to bottom.
    eachDevice(textDocument(2, "0 0 792 612"), false, [&](const Device& device) {
        scrollView().setZoomScale(scrollView().minimumZoomScale() * 1.5f);
        settle();
        gfx::Rect f = scrollView().contentView()->frame();
        if (f.height() < scrollView().bounds().height()) {
            EXPECT_NEAR(f.minY(), scrollView().bounds().height() - f.maxY(), 1);
        }
        shoot(device, "zoomed_landscape_page");
    });
}

TEST_F(HorizontalScreensTest, SpreadsTheFirstPageAloneAndALandscapePage)
{
    core::Data mixed = textDocument(5);
    eachDevice(mixed, true, [&](const Device& device) {
        EXPECT_EQ(layout().currentIndexRange(), (core::Range { 0, 1 }));
        shoot(device, "first_page_alone");
        layout().handleSingleTapAtPoint({ layout().bounds().width() - 10, 200 });
        settle();
        EXPECT_EQ(layout().currentIndexRange(), (core::Range { 1, 2 }));
        shoot(device, "spread");
    });
    PdfBuilder builder;
    int font = builder.addStandardFont("Helvetica");
    for (std::string box : { "0 0 612 792", "0 0 792 612", "0 0 612 792" })
        builder.addPage("BT /F1 28 Tf 72 400 Td (A page of the spread) Tj ET 0 0 1 rg 72 72 100 100 re f",
            "/MediaBox [" + box + "] /Resources << /Font << /F1 " + std::to_string(font) + " 0 R >> >>");
    core::Data landscape = builder.build();
    for (auto& device : devices()) {
        SCOPED_TRACE(device.name);
        open(device, landscape, true, false);
        EXPECT_EQ(layout().currentIndexRange(), (core::Range { 0, 2 }));
        shoot(device, "spread_landscape_page");
    }
}

TEST_F(HorizontalScreensTest, TheTrackAtTheBottomWhileScrubbing)
{
    eachDevice(textDocument(12), false, [&](const Device& device) {
        showChrome();
        settle();
        auto* track = layout().scrollTrackView();
        ASSERT_TRUE(track);
        EXPECT_EQ(track->edge(), VKScrollTrackView::Bottom);
        gfx::Rect t = track->frame();
        auto fingers = driver.touchDown({ layout().convertPoint({ t.minX() + t.width() * 0.6f, t.midY() }, nullptr) });
        driver.wait(0.3);
        settle();
        EXPECT_FALSE(layout().overlayView()->isHidden());
        shoot(device, "track_scrubbing");
        driver.touchUp(fingers);
        advance(1);
    });
}

TEST_F(HorizontalScreensTest, GoldenPicturesOfTheSidewaysLayouts)
{
    DeviceScreen flatPhone = phoneScreen;
    flatPhone.scale = 1;
    open({ &flatPhone, ui::Orientation::Portrait, "phone_portrait" }, shapesDocument({ "0 0 612 792", "0 0 612 792" }), false);
    EXPECT_TRUE(golden("pdf_horizontal_single_page"));

    open({ &flatPhone, ui::Orientation::LandscapeLeft, "phone_landscape" },
        shapesDocument({ "0 0 612 792", "0 0 792 612", "0 0 612 792" }), false);
    auto fingers = holdHalfATurn();
    EXPECT_TRUE(golden("pdf_horizontal_mid_turn"));
    driver.touchUp(fingers);
    advance(1);

    open({ &tabletScreen, ui::Orientation::LandscapeLeft, "tablet_landscape" },
        shapesDocument({ "0 0 612 792", "0 0 612 792", "0 0 792 612", "0 0 612 792" }), true);
    layout().handleSingleTapAtPoint({ layout().bounds().width() - 10, 300 });
    EXPECT_TRUE(golden("pdf_horizontal_spread"));
}
