#include "PDFLayoutTestCase.h"

#include "../../Platform/PDF/Tools.h"

#include "Kit/ColorAdditions.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TiledLayer.h"
#include "Support/PdfBuilder.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKTiledPageLayer.h"
#include "Viewers/PDF/VKTiledPageView.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

using namespace test;

namespace {

class VKPDFPageViewTest : public PDFLayoutTestCase {
protected:
    std::shared_ptr<VKPDFPageView> pageView(const core::Data& data, int pageNumber = 1)
    {
        document = VKPDFDocument::initWithData(data);
        EXPECT_TRUE(document);
        document->pageGeometry(0);
        return VKPDFPageView::pageViewWithPage(VKPDFPage::pageWithDocument(document, pageNumber));
    }
    std::shared_ptr<VKPDFDocument> document;
};

void expectNear(const gfx::Rect& a, const gfx::Rect& b, float tolerance = 0.01f)
{
    EXPECT_NEAR(a.minX(), b.minX(), tolerance);
    EXPECT_NEAR(a.minY(), b.minY(), tolerance);
    EXPECT_NEAR(a.width(), b.width(), tolerance);
    EXPECT_NEAR(a.height(), b.height(), tolerance);
}

} // namespace

TEST_F(VKPDFPageViewTest, TheTransformsFillTheFrameAndFlipForViewCoordinates)
{
    auto view = pageView(textDocument(1));
    view->setFrame({ 3, 3, 314, 406 });
    const gfx::AffineTransform& drawing = view->drawingTransform();
    const gfx::AffineTransform& glyph = view->glyphRectTransform();
    // The filling wrapper: the whole 612 × 792 box lands on the bounds.
    expectNear(drawing.apply(gfx::Rect(0, 0, 612, 792)), gfx::Rect(0, 0, 314, 406), 0.05f);
    gfx::Point corner = glyph.apply(gfx::Point(0, 792));
    EXPECT_NEAR(corner.x, 0, 0.01f);
    EXPECT_NEAR(corner.y, 0, 0.05f);
    gfx::Point p = drawing.apply(gfx::Point(100, 200));
    gfx::Point q = glyph.apply(gfx::Point(100, 200));
    EXPECT_FLOAT_EQ(q.x, p.x);
    EXPECT_NEAR(q.y, 406 - p.y, 0.001f);
    gfx::Point back = view->glyphRectInverseTransform().apply(q);
    EXPECT_NEAR(back.x, 100, 0.01f);
    EXPECT_NEAR(back.y, 200, 0.01f);
    // A frame without area keeps them.
    gfx::AffineTransform before = view->glyphRectTransform();
    view->setFrame({ 3, 3, 0, 0 });
    EXPECT_EQ(view->glyphRectTransform(), before);
    EXPECT_EQ(view->contentView().superview(), view.get());
    EXPECT_FALSE(view->contentView().isUserInteractionEnabled());
    EXPECT_FALSE(view->controlView().isUserInteractionEnabled());
}

TEST_F(VKPDFPageViewTest, TilesAreSizedForTheScreenDrawnWithoutFadeAtEveryDepth)
{
    EXPECT_EQ(VKTiledPageLayer::tileSizeForScreen({ 320, 480 }, 1), gfx::Size(1024, 1024));
    EXPECT_EQ(VKTiledPageLayer::tileSizeForScreen({ 320, 480 }, 2), gfx::Size(2048, 2048));
    EXPECT_EQ(VKTiledPageLayer::tileSizeForScreen({ 768, 1024 }, 2), gfx::Size(2048, 2048));
    auto view = pageView(textDocument(1));
    VKTiledPageLayer& layer = view->contentView().tiledLayer();
    EXPECT_EQ(layer.fadeDuration(), 0.0);
    EXPECT_EQ(layer.levelsOfDetail(), 1000);
    EXPECT_EQ(layer.levelsOfDetailBias(), 1000);
    EXPECT_EQ(layer.backgroundColor(), vkCheckerboardBackgroundColor());
    EXPECT_EQ(layer.representative(), static_cast<VKLayerRepresentative*>(view.get()));
}

TEST_F(VKPDFPageViewTest, AHitOverTwoLinesGetsOneHighlightPerLineAsWideAsItsGlyphs)
{
    auto view = pageView(textDocument(1));
    view->setFrame({ 0, 0, 306, 396 });
    const std::u16string& text = view->pageText();
    size_t start = text.find(u"lazy dog.");
    size_t end = text.find(u"Pack my");
    ASSERT_NE(start, std::u16string::npos);
    ASSERT_NE(end, std::u16string::npos);
    core::Range range { start, end + 7 - start };
    view->setHighlightedTextRange(range);
    auto highlights = view->controlView().subviews();
    ASSERT_EQ(highlights.size(), 2u);
    EXPECT_EQ(highlights[0]->backgroundColor(), gfx::Color(1, 0.5f, 0, 0.2f));
    // The first line's highlight spans "lazy dog." glyph by glyph.
    const core::Data& rects = view->glyphRects();
    auto glyphAt = [&](size_t i) {
        float v[4];
        std::memcpy(v, rects.bytes() + 16 * i, 16);
        return view->glyphRectTransform().apply(gfx::Rect(v[0], v[1], v[2], v[3]));
    };
    gfx::Rect first = glyphAt(start);
    float width = 0;
    for (size_t i = start; i < end && glyphAt(i).minY() == first.minY(); ++i)
        width += glyphAt(i).width();
    EXPECT_NEAR(highlights[0]->frame().width(), width, 0.01f);
    EXPECT_LT(highlights[0]->frame().maxY(), highlights[1]->frame().maxY());

    // A new size moves the highlights with the page.
    view->setFrame({ 0, 0, 612, 792 });
    highlights = view->controlView().subviews();
    ASSERT_EQ(highlights.size(), 2u);
    EXPECT_NEAR(highlights[0]->frame().width(), width * 2, 0.05f);

    gfx::Rect anchor = view->anchorRectForTextRange(range);
    EXPECT_GT(anchor.minX(), 0.05f);
    EXPECT_LT(anchor.maxY(), 0.5f);
    EXPECT_EQ(view->anchorRectForTextRange({ start, 0 }), gfx::Rect(0, 0, 0, 0));
    // Past the rectangles there are: nothing read.
    view->setHighlightedTextRange({ rects.size() / 16 - 2, 1000 });
    EXPECT_EQ(view->controlView().subviews().size(), 1u);
    view->setHighlightedTextRange({ rects.size() / 16 + 5, 3 });
    EXPECT_TRUE(view->controlView().subviews().empty());
}

TEST_F(VKPDFPageViewTest, ADoubleTapFindsTheNearestLineOrTheMiddleHalf)
{
    auto view = pageView(textDocument(1));
    view->setFrame({ 0, 0, 306, 396 });
    // Page space (72, 640) is the first line of small text.
    gfx::Rect column = view->textRectForPoint(view->glyphRectTransform().apply(gfx::Point(100, 600)));
    EXPECT_GE(column.width(), 306.0f / 16);
    EXPECT_LE(column.width(), 306.0f);
    EXPECT_NEAR(column.minX(), 36, 2);
    gfx::Rect line = view->rectForPoint({ 100, 644 });
    EXPECT_TRUE(line.contains({ 100, 644 }) || std::fabs(line.minY() - 644) < 20);

    PdfBuilder builder;
    builder.addPage("0 0 1 rg 10 10 50 50 re f");
    auto blank = pageView(builder.build());
    blank->setFrame({ 0, 0, 200, 300 });
    EXPECT_EQ(blank->textRectForPoint({ 20, 120 }), gfx::Rect(50, 120, 100, 1));
    EXPECT_EQ(blank->rectForPoint({ 1, 1 }), gfx::Rect(0, 0, 0, 0));
}

TEST_F(VKPDFPageViewTest, LinksAreFoundThroughTheInverseTransform)
{
    PdfBuilder builder;
    int page = builder.addPage("0 0 1 rg 100 600 200 50 re f");
    builder.addAnnotation(page, "<< /Type /Annot /Subtype /Link /Rect [100 600 300 650] "
                                "/A << /S /URI /URI (https://example.org/first) >> >>");
    builder.addAnnotation(page, "<< /Type /Annot /Subtype /Link /Rect [150 600 400 650] "
                                "/A << /S /URI /URI (https://example.org/second) >> >>");
    auto view = pageView(builder.build());
    view->setFrame({ 0, 0, 306, 396 });
    auto at = [&](float x, float y) { return view->linkTargetForPoint(view->glyphRectTransform().apply(gfx::Point(x, y))); };
    auto first = at(200, 625);
    ASSERT_TRUE(first);
    EXPECT_EQ(VKPDFLinkTargetDescription(*first), VKPDFLinkTargetDescription(*at(120, 610)));
    EXPECT_NE(VKPDFLinkTargetDescription(*first).find("first"), std::string::npos);
    auto second = at(350, 625);
    ASSERT_TRUE(second);
    EXPECT_NE(VKPDFLinkTargetDescription(*second).find("second"), std::string::npos);
    EXPECT_FALSE(at(50, 50));
}

TEST_F(VKPDFPageViewTest, AHeldTileNeverBlocksTheMainThreadAndALateTileIsDropped)
{
    static std::atomic<bool> release { false };
    static std::atomic<int> entered { 0 };
    release = false;
    entered = 0;
    VKPDFPageView::setDrawHookForTesting([] {
        ++entered;
        while (!release)
            std::this_thread::yield();
    });
    auto holder = ui::View::create({ 0, 0, 320, 480 });
    window().addSubview(holder);
    auto view = pageView(textDocument(1));
    view->setFrame({ 3, 3, 314, 406 });
    holder->addSubview(view);
    uint64_t drawn = ui::TiledLayer::tilesDrawnForTesting();
    ui::Renderer::renderImage(*holder);
    ASSERT_TRUE(core::RunLoop::main().runUntil([] { return entered > 0; }, 30));
    // All of these return while the tile is held.
    view->setFrame({ 3, 3, 300, 390 });
    holder->setBounds({ 0, 100, 320, 480 });
    holder->layoutIfNeeded();
    ui::Renderer::renderImage(*holder);
    ui::Renderer::renderImage(*holder);
    view->removeFromSuperview();
    std::weak_ptr<VKPDFPageView> weak = view;
    view.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_GT(entered.load(), 0);
    release = true;
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return ui::TiledLayer::tilesDrawnForTesting() > drawn; }, 30));
    core::Thread::waitForAll(10);
    runLoop();
    holder->removeFromSuperview();
}

TEST_F(VKPDFPageViewTest, ZeroAreaPagesDrawWhite)
{
    PdfBuilder builder;
    builder.addPage("0 0 1 rg 0 0 50 50 re f", "/MediaBox [0 0 0 0]");
    auto view = pageView(builder.build());
    view->setFrame({ 0, 0, 100, 100 });
    auto holder = ui::View::create({ 0, 0, 100, 100 });
    window().addSubview(holder);
    holder->addSubview(view);
    view->contentView().tiledLayer().renderVisibleTilesSynchronouslyForTesting();
    auto image = ui::Renderer::renderImage(*holder);
    ASSERT_TRUE(image);
    auto pixel = image->pixelAtForTesting(50, 50);
    EXPECT_GT(pixel.red, 250);
    EXPECT_GT(pixel.blue, 250);
    holder->removeFromSuperview();
}

namespace {

// The page view's picture, tiles complete, over white.
pdftest::RGBImage renderedPage(ui::Window& window, const std::shared_ptr<VKPDFPageView>& view, gfx::Size size)
{
    auto holder = ui::View::create({ 0, 0, size.width, size.height });
    window.addSubview(holder);
    view->setFrame({ 0, 0, size.width, size.height });
    holder->addSubview(view);
    view->contentView().tiledLayer().renderVisibleTilesSynchronouslyForTesting();
    ui::RenderOptions options;
    options.scale = 1;
    auto bitmap = ui::Renderer::renderImage(*holder, options);
    holder->removeFromSuperview();
    view->removeFromSuperview();
    return bitmap ? pdftest::overWhite(*bitmap) : pdftest::RGBImage {};
}

pdftest::RGBImage readPicture(const std::string& path)
{
    auto image = gfx::Image::imageWithContentsOfFile(path);
    if (!image)
        return {};
    auto bitmap = gfx::BitmapContext::create(int(image->size().width), int(image->size().height));
    bitmap->setFillColor(1, 1, 1, 1);
    bitmap->fillRect(gfx::Rect(0, 0, image->size().width, image->size().height));
    bitmap->drawImage(gfx::Rect(0, 0, image->size().width, image->size().height), *image);
    return pdftest::overWhite(*bitmap);
}

} // namespace

TEST_F(VKPDFPageViewTest, ThePageDrawsAsTheRendererPeerDrawsIt)
{
    core::Data data = textDocument(1);
    std::string path = pathInHome("page.pdf");
    ASSERT_TRUE(core::fs::writeFileAtomically(path, data.view()));
    auto view = pageView(data);
    pdftest::RGBImage ours = renderedPage(window(), view, { 306, 396 });
    pdftest::run(fmt::format("pdftocairo -png -singlefile -scale-to-x 306 -scale-to-y 396 {} {}", path,
        pathInHome("peer")));
    pdftest::RGBImage peer = readPicture(pathInHome("peer.png"));
    ASSERT_EQ(peer.width, 306);
    ASSERT_EQ(ours.width, 306);
    EXPECT_LT(pdftest::differingShare(ours, peer, 24), 0.01);
}

TEST_F(VKPDFPageViewTest, AMarkerLandsWhereEachTurnOfAnOffsetCropBoxPutsIt)
{
    const char* content = "0.5 g -100 -100 400 500 re f 0 g 60 70 10 10 re f";
    struct Case {
        int rotation;
        float width, height;
        int column, row;
    } cases[] = { { 0, 100, 200, 10, 180 }, { 90, 200, 100, 10, 10 }, { 180, 100, 200, 80, 10 },
        { 270, 200, 100, 180, 80 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        PdfBuilder builder;
        builder.addPage(content, fmt::format("/MediaBox [0 0 200 300] /CropBox [50 60 150 260] /Rotate {}", c.rotation));
        auto view = pageView(builder.build());
        EXPECT_EQ(document->pageGeometry(0).rotatedBox.size, gfx::Size(c.width, c.height));
        pdftest::RGBImage image = renderedPage(window(), view, { c.width, c.height });
        ASSERT_EQ(image.width, int(c.width));
        auto black = [&](int x, int y) { return image.at(x, y)[0] < 40; };
        auto grey = [&](int x, int y) { return image.at(x, y)[0] > 100 && image.at(x, y)[0] < 150; };
        EXPECT_TRUE(black(c.column + 2, c.row + 2));
        EXPECT_TRUE(black(c.column + 7, c.row + 7));
        EXPECT_TRUE(grey(c.column - 2, c.row + 5));
        EXPECT_TRUE(grey(c.column + 12, c.row + 5));
        EXPECT_TRUE(grey(c.column + 5, c.row - 2));
        EXPECT_TRUE(grey(c.column + 5, c.row + 12));
    }
}
