#include "PDFLayoutTestCase.h"

#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/PdfBuilder.h"
#include "Support/UIScreens.h"
#include "Viewers/PDF/VKDocumentViewVertical.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKScrollTrackView.h"
#include "Viewers/PDF/VKScrollView.h"
#include "Viewers/PDF/VKSearchField.h"

#include <functional>

using namespace test;

namespace {

// The harness: a controller whose view is a vertical layout over the test
// data source, turning with the device.
class LayoutHarness : public ui::ViewController {
public:
    void loadView() override
    {
        auto view = ui::View::create(gfx::Rect(0, 0, 320, 480));
        view->setBackgroundColor(gfx::Color::white(0.35f));
        layout = VKDocumentViewVertical::create(view->bounds());
        view->addSubview(layout);
        setView(view);
    }
    bool shouldAutorotate(ui::Orientation) override { return true; }
    std::shared_ptr<VKDocumentViewVertical> layout;
};

// Pages of grey bars in two columns: vector only, so pictures do not
// follow the fonts.
core::Data barsDocument(const std::vector<std::string>& boxes)
{
    PdfBuilder builder;
    for (auto& box : boxes) {
        std::string content = "0.2 0.2 0.2 rg 60 700 300 18 re f ";
        for (int line = 0; line < 30; ++line) {
            content += "0.4 0.4 0.45 rg 60 " + std::to_string(660 - line * 18) + " 220 9 re f ";
            content += "0.4 0.4 0.45 rg 320 " + std::to_string(660 - line * 18) + " 230 9 re f ";
        }
        content += "0.1 0.3 0.8 rg 60 60 80 80 re f";
        builder.addPage(content, "/MediaBox [" + box + "]");
    }
    return builder.build();
}

// Bars under invisible text (render mode 3): the scanner finds the words,
// the picture shows only shapes.
core::Data invisibleTextDocument()
{
    PdfBuilder builder;
    int font = builder.addStandardFont("Helvetica");
    builder.addPage("0.75 0.75 0.78 rg 72 636 400 12 re f 72 620 400 12 re f "
                    "BT 3 Tr /F1 12 Tf 72 640 Td (The quick brown fox jumps over the lazy dog.) Tj "
                    "0 -16 Td (Pack my box with five dozen liquor jugs.) Tj ET",
        "/MediaBox [0 0 612 792] /Resources << /Font << /F1 " + std::to_string(font) + " 0 R >> >>");
    return builder.build();
}

struct LayoutDevice {
    const DeviceScreen* screen;
    ui::Orientation orientation;
    std::string name;
};

class VKDocumentLayoutScreensTest : public PDFLayoutTestCase {
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

    void open(const LayoutDevice& device, const core::Data& data)
    {
        close();
        useDeviceScreen(window(), *device.screen);
        source = std::make_shared<LayoutDataSource>();
        source->document = data.empty() ? nullptr : VKPDFDocument::initWithData(data);
        if (source->document)
            source->document->pageGeometry(0);
        harness = std::make_shared<LayoutHarness>();
        window().setRootViewController(harness);
        harness->view();
        if (device.orientation != ui::Orientation::Portrait) {
            EXPECT_TRUE(driver.rotate(device.orientation));
        }
        harness->layout->setDelegate(delegate.get());
        harness->layout->setDataSource(source.get());
        advance(1);
        window().layoutIfNeeded();
    }
    VKDocumentViewVertical& layout() { return *harness->layout; }
    void shoot(const LayoutDevice& device, const std::string& scene)
    {
        window().layoutIfNeeded();
        ui::TiledLayer::renderAllVisibleTilesSynchronously();
        saveScreen(driver, sourcePath("build/screens/pdf_layout"), scene + "_" + device.name, device.screen->scale);
    }
    ::testing::AssertionResult golden(const std::string& name)
    {
        window().layoutIfNeeded();
        ui::TiledLayer::renderAllVisibleTilesSynchronously();
        auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
        if (!picture)
            return ::testing::AssertionFailure() << "nothing rendered";
        return matchesGolden(*picture, sourcePath(""), name);
    }
    static std::vector<LayoutDevice> devices()
    {
        return { { &phoneScreen, ui::Orientation::Portrait, "phone_portrait" },
            { &phoneScreen, ui::Orientation::LandscapeLeft, "phone_landscape" },
            { &tabletScreen, ui::Orientation::Portrait, "tablet_portrait" },
            { &tabletScreen, ui::Orientation::LandscapeLeft, "tablet_landscape" } };
    }
    void eachDevice(const core::Data& data, const std::function<void(const LayoutDevice&)>& scene)
    {
        for (auto& device : devices()) {
            SCOPED_TRACE(device.name);
            open(device, data);
            scene(device);
        }
    }

    std::shared_ptr<LayoutHarness> harness;
};

} // namespace

TEST_F(VKDocumentLayoutScreensTest, TextAtMinimumZoomAndZoomedOnAColumn)
{
    eachDevice(textDocument(4), [&](const LayoutDevice& device) {
        gfx::Rect first = layout().frameForPageAtIndex(0);
        EXPECT_EQ(first.minX(), 3);
        EXPECT_EQ(first.minY(), 3);
        shoot(device, "text_minimum_zoom");
        layout().setContentZoom(layout().contentZoom() * 4);
        layout().scrollToPageAtIndex(0, { 0.1f, 0.18f, 0, 0 }, false);
        shoot(device, "text_zoomed_column");
    });
}

TEST_F(VKDocumentLayoutScreensTest, ThumbnailsModeWithTheChromeShown)
{
    eachDevice(textDocument(12), [&](const LayoutDevice& device) {
        layout().setThumbnailsEnabled(true);
        layout().setToolbarContentInsets({ 64, 0, 44, 0 });
        layout().setToolbarInsets({ 64, 0, 44, 0 });
        auto* track = layout().scrollTrackView();
        ASSERT_TRUE(track);
        EXPECT_EQ(track->frame().maxX(), layout().bounds().width() - 5);
        shoot(device, "thumbnails_chrome");
    });
}

TEST_F(VKDocumentLayoutScreensTest, ATwoLineHighlightMixedWidthsATurnedPageAndNoPages)
{
    eachDevice(textDocument(2), [&](const LayoutDevice& device) {
        auto view = std::dynamic_pointer_cast<VKPDFPageView>(layout().viewForPageAtIndex(0));
        ASSERT_TRUE(view);
        const std::u16string& text = view->pageText();
        size_t start = text.find(u"lazy dog.");
        size_t end = text.find(u"Pack my");
        ASSERT_NE(end, std::u16string::npos);
        view->setHighlightedTextRange({ start, end + 7 - start });
        EXPECT_EQ(view->controlView().subviews().size(), 2u);
        shoot(device, "highlight_two_lines");
    });
    PdfBuilder builder;
    builder.addPage("0 0 1 rg 72 72 100 100 re f 0 0 0 rg 300 600 200 20 re f");
    builder.addPage("1 0 0 rg 36 36 60 60 re f", "/MediaBox [0 0 306 396]");
    builder.addPage("0 0.6 0 rg 72 72 100 100 re f 0 0 0 rg 300 500 200 20 re f",
        "/MediaBox [0 0 612 792] /CropBox [20 20 592 772] /Rotate 90");
    core::Data mixed = builder.build();
    eachDevice(mixed, [&](const LayoutDevice& device) { shoot(device, "mixed_widths_turned"); });
    eachDevice({}, [&](const LayoutDevice& device) {
        EXPECT_EQ(layout().documentScrollView().contentSize().height, 3 * layout().contentZoom());
        shoot(device, "no_pages");
    });
}

TEST_F(VKDocumentLayoutScreensTest, TheSearchFieldInABar)
{
    eachDevice(textDocument(3), [&](const LayoutDevice& device) {
        float width = layout().bounds().width();
        auto bar = ui::Toolbar::create({ 0, 0, width, 44 });
        bar->setAutoresizingMask(ui::View::FlexibleWidth);
        auto field = VKSearchField::create({ 6, 0, width - 12, 0 });
        ASSERT_TRUE(field);
        field->setFrame({ 6, (44 - field->frame().height()) / 2, width - 12, field->frame().height() });
        field->setText("quick brown");
        bar->addSubview(field);
        harness->view()->addSubview(bar);
        layout().setToolbarContentInsets({ 44, 0, 0, 0 });
        layout().documentScrollView().setContentOffset({ 0, -44 });
        shoot(device, "search_field_bar");
    });
}

TEST_F(VKDocumentLayoutScreensTest, GoldenPicturesOfTheVerticalLayout)
{
    DeviceScreen flat = phoneScreen;
    flat.scale = 1;
    LayoutDevice phone { &flat, ui::Orientation::Portrait, "phone_portrait" };
    open(phone, barsDocument({ "0 0 612 792", "0 0 612 792" }));
    EXPECT_TRUE(golden("pdf_layout_minimum_zoom"));
    open(phone, barsDocument({ "0 0 612 792", "0 0 306 396", "0 0 612 396" }));
    layout().documentScrollView().setContentOffset({ 0, 300 });
    EXPECT_TRUE(golden("pdf_layout_mixed_widths"));

    open(phone, invisibleTextDocument());
    auto view = std::dynamic_pointer_cast<VKPDFPageView>(layout().viewForPageAtIndex(0));
    ASSERT_TRUE(view);
    const std::u16string& text = view->pageText();
    size_t start = text.find(u"lazy dog.");
    size_t end = text.find(u"Pack my");
    view->setHighlightedTextRange({ start, end + 7 - start });
    EXPECT_TRUE(golden("pdf_layout_highlight"));
}
