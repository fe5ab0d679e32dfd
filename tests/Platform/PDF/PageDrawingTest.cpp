#include "Platform/PDF/PageDrawing.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/PDF/Document.h"
#include "Platform/PDF/DocumentState.h"
#include "Platform/PDF/RendererFonts.h"
#include "Platform/PDF/RendererWindow.h"
#include "Platform/PDF/Scanner.h"
#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"
#include "Tools.h"

#include <cairo.h>
#include <fmt/format.h>
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using gfx::BitmapContext;
using gfx::Rect;
using pdf::Box;
using pdf::Document;

namespace {

// Vector art and text in base-14 fonts, as a page of the bench documents.
const char* kArt = "q 0.9 0.9 1 rg 36 36 540 720 re f Q "
                   "q 1 0 0 rg 4 w 72 600 m 300 700 l 540 620 l S Q "
                   "q 0 0.5 0 rg 306 300 m 406 300 l 406 355 361 400 306 400 c h f Q "
                   "BT /F1 24 Tf 72 500 Td (Hello, pages) Tj 0 -40 Td /F2 14 Tf (Times, 1234567890) Tj ET "
                   "q 0 0 1 RG 0.5 w 72 72 m 540 200 l S Q";

class PageDrawingTest : public test::TestCase {
protected:
    static core::Data artDocument()
    {
        test::PdfBuilder builder;
        int helvetica = builder.addStandardFont("Helvetica");
        int times = builder.addStandardFont("Times-Roman");
        builder.addPage(kArt, fmt::format("/MediaBox [0 0 612 792] /Resources << /Font << /F1 {} 0 R /F2 {} 0 R >> >>", helvetica, times));
        return builder.build();
    }

    static pdftest::RGBImage readPNG(const std::string& path)
    {
        pdftest::RGBImage image;
        cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
        if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
            image.width = cairo_image_surface_get_width(surface);
            image.height = cairo_image_surface_get_height(surface);
            const unsigned char* data = cairo_image_surface_get_data(surface);
            int stride = cairo_image_surface_get_stride(surface);
            for (int y = 0; y < image.height; ++y) {
                for (int x = 0; x < image.width; ++x) {
                    uint32_t v;
                    memcpy(&v, data + y * stride + x * 4, 4);
                    unsigned alpha = v >> 24;
                    for (int shift : { 16, 8, 0 })
                        image.pixels.push_back(uint8_t(((v >> shift) & 0xff) + 255 - alpha));
                }
            }
        }
        cairo_surface_destroy(surface);
        return image;
    }

    static std::unique_ptr<BitmapContext> render(const pdf::Page& page, int width, int height)
    {
        auto bitmap = BitmapContext::create(width, height);
        pdf::drawPage(page, *bitmap);
        return bitmap;
    }
};

TEST_F(PageDrawingTest, MatchesThePeersRenders)
{
    std::string path = pathInHome("art.pdf");
    core::Data bytes = artDocument();
    ASSERT_TRUE(core::fs::writeFileAtomically(path, bytes.view()));
    auto document = Document::open(bytes);
    pdftest::RGBImage ours = pdftest::overWhite(*render(document->page(1), 612, 792));

    pdftest::run(fmt::format("pdftocairo -png -r 72 -singlefile {} {}", path, pathInHome("cairo")));
    pdftest::RGBImage cairo = readPNG(pathInHome("cairo.png"));
    ASSERT_EQ(cairo.width, 612);
    EXPECT_LT(pdftest::differingShare(ours, cairo, 8), 0.001);

    pdftest::run(fmt::format("pdftoppm -r 72 -singlefile {} {}", path, pathInHome("splash")));
    pdftest::RGBImage splash = pdftest::readPPM(pathInHome("splash.ppm"));
    ASSERT_EQ(splash.width, 612);
    EXPECT_LT(pdftest::differingShare(ours, splash, 96), 0.02);
    EXPECT_GT(pdftest::differingShare(ours, pdftest::RGBImage { 612, 792, std::vector<unsigned char>(612 * 792 * 3, 255) }, 8), 0.3);
}

TEST_F(PageDrawingTest, MarkerLandsWhereEachRotationPutsIt)
{
    // A 100 × 200 crop box inside a larger media box, grey all over the
    // media box, and a 10 × 10 black marker 10 points in from the crop
    // box's bottom-left corner.
    const char* content = "0.5 g -100 -100 400 500 re f 0 g 60 70 10 10 re f";
    struct Case {
        int rotation;
        int width, height; // upright
        int column, row; // marker's top-left pixel, upright, y down
    } cases[] = { { 0, 100, 200, 10, 180 }, { 90, 200, 100, 10, 10 }, { 180, 100, 200, 80, 10 }, { 270, 200, 100, 180, 80 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        test::PdfBuilder builder;
        builder.addPage(content, fmt::format("/MediaBox [0 0 200 300] /CropBox [50 60 150 260] /Rotate {}", c.rotation));
        auto document = Document::open(builder.build());
        pdf::Page page = document->page(1);
        Rect upright(0, 0, float(c.width), float(c.height));

        for (int scale : { 1, 2 }) {
            SCOPED_TRACE(scale);
            const int dx = 5, dy = 7;
            auto bitmap = BitmapContext::create(c.width * scale + 2 * dx, c.height * scale + 2 * dy);
            bitmap->translateCTM(dx, dy);
            bitmap->scaleCTM(float(scale), float(scale));
            bitmap->concatCTM(page.drawingTransform(Box::Crop, upright, 0, true));
            pdf::drawPage(page, *bitmap);
            int left = dx + c.column * scale, top = dy + c.row * scale;
            auto grey = [](gfx::Pixel p) { return p.alpha == 255 && p.red > 100 && p.red < 150; };
            EXPECT_EQ(bitmap->pixelAtForTesting(left + 1, top + 1), (gfx::Pixel { 0, 0, 0, 255 }));
            EXPECT_EQ(bitmap->pixelAtForTesting(left + 10 * scale - 2, top + 10 * scale - 2), (gfx::Pixel { 0, 0, 0, 255 }));
            EXPECT_TRUE(grey(bitmap->pixelAtForTesting(left - 2, top + 5)));
            EXPECT_TRUE(grey(bitmap->pixelAtForTesting(left + 10 * scale + 1, top + 5)));
            EXPECT_TRUE(grey(bitmap->pixelAtForTesting(left + 5, top - 2)));
            EXPECT_TRUE(grey(bitmap->pixelAtForTesting(left + 5, top + 10 * scale + 1)));
            // Clipped to the crop box, nothing drawn outside it.
            EXPECT_EQ(bitmap->pixelAtForTesting(dx - 2, dy - 2), gfx::Pixel());
            EXPECT_EQ(bitmap->pixelAtForTesting(dx + c.width * scale + 1, dy + c.height * scale + 1), gfx::Pixel());
            EXPECT_TRUE(grey(bitmap->pixelAtForTesting(dx + 1, dy + 1)));
        }
    }
}

TEST_F(PageDrawingTest, TilesMatchTheWholePage)
{
    auto document = Document::open(artDocument());
    pdf::Page page = document->page(1);
    Rect full(0, 0, 1224, 1584);
    auto whole = BitmapContext::create(1224, 1584);
    whole->scaleCTM(2, 2);
    pdf::drawPage(page, *whole);

    // A tile at columns 100..355 and rows 500..755 of the whole render.
    const int left = 100, top = 500, size = 256;
    auto tile = BitmapContext::create(size, size);
    tile->translateCTM(-left, -(1584 - top - size));
    tile->scaleCTM(2, 2);
    pdf::drawPage(page, *tile);
    size_t differing = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            gfx::Pixel a = tile->pixelAtForTesting(x, y), b = whole->pixelAtForTesting(left + x, top + y);
            if (std::abs(a.red - b.red) > 2 || std::abs(a.alpha - b.alpha) > 2 || std::abs(a.blue - b.blue) > 2)
                ++differing;
        }
    }
    EXPECT_LT(differing, size_t(size * size / 200));
    EXPECT_GT(pdftest::nonWhitePixels(*tile), 1000u);
}

TEST_F(PageDrawingTest, ScansAndDrawsFromSeveralThreads)
{
    auto document = Document::open(artDocument());
    pdf::Page page = document->page(1);
    const pdf::OperatorTable& table = pdftest::shownTextTable();
    auto scanText = [&] {
        std::string text;
        pdf::Scanner(page, table, &text).scan();
        return text;
    };
    std::string expectedText = scanText();
    ASSERT_EQ(expectedText, "Hello, pagesTimes, 1234567890");
    auto quarter = [&] {
        auto bitmap = BitmapContext::create(153, 198);
        bitmap->scaleCTM(0.25, 0.25);
        pdf::drawPage(page, *bitmap);
        return pdftest::overWhite(*bitmap);
    };
    pdftest::RGBImage expected = quarter();

    std::atomic<int> wrong { 0 };
    auto scanning = [&] {
        for (int round = 0; round < 50; ++round) {
            if (scanText() != expectedText)
                ++wrong;
        }
    };
    std::thread first(scanning), second(scanning);
    std::thread drawing([&] {
        for (int round = 0; round < 50; ++round) {
            if (pdftest::differingShare(quarter(), expected, 0) > 0)
                ++wrong;
        }
    });
    first.join();
    second.join();
    drawing.join();
    EXPECT_EQ(wrong, 0);
}

// Pages of one document drawn on several threads at once (a spread's two
// pages, a zoomed page's tiles) each take a renderer of their own: every
// page comes out as drawn alone, embedded fonts and a password's decrypted
// copy included, whichever draw opened them first. The renderers draw
// truly at once: their shared font library makes and drops faces through
// this program's locked entry points.
TEST_F(PageDrawingTest, PagesOfOneDocumentDrawSideBySideAsAlone)
{
    EXPECT_TRUE(pdf::detail::rendererFacesGuarded());
    struct Case {
        std::string name, password;
    };
    for (const Case& c : { Case { "tex-builtin.pdf", "" }, Case { "writer-cairo.pdf", "" }, Case { "reportlab-rc4-128.pdf", "user" } }) {
        SCOPED_TRACE(c.name);
        core::Data bytes;
        ASSERT_TRUE(core::fs::readFile(sourcePath("tests/fixtures/pdf/" + c.name), bytes));
        auto draw = [](const pdf::Page& page) {
            auto bitmap = BitmapContext::create(150, 194);
            bitmap->scaleCTM(0.25, 0.25);
            pdf::drawPage(page, *bitmap);
            return pdftest::overWhite(*bitmap);
        };
        // Alone: a document of its own, one page at a time.
        std::vector<pdftest::RGBImage> alone;
        {
            auto document = Document::open(bytes);
            ASSERT_TRUE(document);
            if (!c.password.empty()) {
                ASSERT_TRUE(document->unlock(c.password));
            }
            for (int n = 1; n <= document->pageCount(); ++n)
                alone.push_back(draw(document->page(n)));
            ASSERT_GT(std::count_if(alone[0].pixels.begin(), alone[0].pixels.end(), [](uint8_t v) { return v < 200; }), 50);
        }
        auto document = Document::open(bytes);
        ASSERT_TRUE(document);
        if (!c.password.empty()) {
            ASSERT_TRUE(document->unlock(c.password));
        }
        int pages = document->pageCount();
        std::atomic<int> wrong { 0 };
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 8; ++round) {
                    int n = 1 + (t + round) % pages;
                    if (pdftest::differingShare(draw(document->page(n)), alone[size_t(n - 1)], 0) > 0)
                        ++wrong;
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(wrong, 0);
    }
}

// The renderer opened for a late page of a long document sees a window of
// pages from there, each with what it inherited up the tree, and draws
// them as a document of that page alone.
TEST_F(PageDrawingTest, ALatePageDrawsFromAWindowOfPages)
{
    auto build = [](int from, int to) {
        test::PdfBuilder builder;
        int font = builder.addStandardFont("Helvetica");
        int node = 0;
        for (int n = from; n <= to; ++n) {
            if (node == 0 || n % 100 == 1)
                node = builder.addPages(0, fmt::format("/MediaBox [0 0 200 100] /Resources << /Font << /F1 {} 0 R >> >>", font));
            builder.addPage(test::PdfBuilder::PageDescription {
                "", { fmt::format("BT /F1 40 Tf 10 30 Td ({}) Tj ET 0 0 1 rg {} 80 10 10 re f", n, n % 19 * 10) }, node });
        }
        return builder.build();
    };
    core::Data bytes = build(1, 300);
    auto document = Document::open(bytes);
    ASSERT_TRUE(document);
    pdftest::RGBImage alone = pdftest::overWhite(*render(Document::open(build(250, 250))->page(1), 200, 100));
    ASSERT_GT(std::count_if(alone.pixels.begin(), alone.pixels.end(), [](uint8_t v) { return v < 128; }), 100);
    EXPECT_EQ(pdftest::differingShare(pdftest::overWhite(*render(document->page(250), 200, 100)), alone, 0), 0);

    int count = 64;
    std::string update;
    {
        pdf::Page page = document->page(250);
        const auto& source = pdf::detail::HandleAccess::document(page);
        auto lock = pdf::detail::lock(source);
        update = pdf::detail::rendererWindow(*source->reading->qpdf, source->reading->pages, bytes.view(), 250, count);
    }
    ASSERT_FALSE(update.empty());
    EXPECT_EQ(count, 51);
    auto window = Document::open(core::Data(std::string(bytes.view()) + update));
    ASSERT_TRUE(window);
    EXPECT_EQ(window->pageCount(), 51);
    EXPECT_EQ(pdftest::differingShare(pdftest::overWhite(*render(window->page(1), 200, 100)), alone, 0), 0);

    // Resources every page inherits that would be written out 64 times over
    // (100 KB each) make no window: the document is drawn whole.
    test::PdfBuilder large;
    std::string numbers;
    for (int i = 0; i < 50000; ++i)
        numbers += "0 ";
    int node = large.addPages(0, fmt::format("/Resources << /Large [{}] >>", numbers));
    for (int n = 1; n <= 70; ++n)
        large.addPage(test::PdfBuilder::PageDescription { "/MediaBox [0 0 20 20]", { "0 g 0 0 10 10 re f" }, node });
    core::Data largeBytes = large.build();
    auto largeDocument = Document::open(largeBytes);
    pdf::Page page = largeDocument->page(5);
    count = 64;
    {
        const auto& source = pdf::detail::HandleAccess::document(page);
        auto lock = pdf::detail::lock(source);
        EXPECT_TRUE(pdf::detail::rendererWindow(*source->reading->qpdf, source->reading->pages, largeBytes.view(), 1, count).empty());
    }
    EXPECT_EQ(pdftest::nonWhitePixels(*render(page, 20, 20)), 100u);
}

// A font cairo keeps for reuse after its last user let it go, with the face
// and font program it holds, goes once renderer documents are let go, each
// time they are.
TEST_F(PageDrawingTest, FontsKeptForReuseGoWithTheRenderers)
{
    static cairo_user_data_key_t key;
    for (int time = 0; time < 2; ++time) {
        bool gone = false;
        cairo_font_face_t* face = cairo_user_font_face_create();
        cairo_font_face_set_user_data(face, &key, &gone, [](void* flag) { *static_cast<bool*>(flag) = true; });
        cairo_matrix_t identity;
        cairo_matrix_init_identity(&identity);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_scaled_font_destroy(cairo_scaled_font_create(face, &identity, &identity, options));
        cairo_font_options_destroy(options);
        cairo_font_face_destroy(face);
        EXPECT_FALSE(gone);
        std::lock_guard lock(pdf::detail::rendererFontsMutex());
        pdf::detail::releaseHeldFonts();
        EXPECT_TRUE(gone) << time;
    }
}

TEST_F(PageDrawingTest, RepairedFilesDraw)
{
    // No cross-reference table: both readers rebuild it.
    core::LogCapture log(true);
    std::string body = "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                       "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
                       "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R >> endobj\n"
                       "4 0 obj << /Length 18 >> stream\n0 g 0 0 50 50 re f\nendstream endobj\n"
                       "trailer << /Root 1 0 R /Size 5 >>\n%%EOF\n";
    auto document = Document::open(core::Data(body));
    ASSERT_TRUE(document);
    EXPECT_EQ(pdftest::nonWhitePixels(*render(document->page(1), 100, 100)), 2500u);
    // An empty page draws nothing and does no harm.
    auto bitmap = render(pdf::Page(), 10, 10);
    EXPECT_EQ(bitmap->pixelAtForTesting(5, 5), gfx::Pixel());
}

} // namespace
