#include "PDF/VKPDFPage.h"

#include "PDF/VKPDFDocument.h"
#include "Platform/PDF/Tools.h"
#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"

#include <cmath>
#include <fmt/format.h>

namespace {

class VKPDFPageTest : public test::TestCase {
protected:
    // One page per entry of `pages`, each with the given entries and
    // contents.
    static std::shared_ptr<pdf::Document> document(const std::vector<std::pair<std::string, std::string>>& pages)
    {
        test::PdfBuilder builder;
        for (const auto& [entries, contents] : pages)
            builder.addPage(contents, entries);
        return pdf::Document::open(builder.build());
    }

    static int grey(const gfx::BitmapContext& bitmap, int x, int y)
    {
        gfx::Pixel p = bitmap.pixelAtForTesting(x, y);
        EXPECT_EQ(p.alpha, 255) << x << "," << y;
        return p.red;
    }
};

TEST_F(VKPDFPageTest, RotatedBox)
{
    auto pages = document({ { "/MediaBox [0 0 612 792] /CropBox [10 20 310 420]", "" },
        { "/MediaBox [0 0 612 792] /CropBox [10 20 310 420] /Rotate 90", "" },
        { "/MediaBox [0 0 612 792] /CropBox [10 20 310 420] /Rotate 180", "" },
        { "/MediaBox [0 0 612 792] /CropBox [10 20 310 420] /Rotate -90", "" } });
    EXPECT_EQ(VKPDFPageGetRotatedBoxRect(pages->page(1)), gfx::Rect(10, 20, 300, 400));
    EXPECT_EQ(VKPDFPageGetRotatedBoxRect(pages->page(2)), gfx::Rect(20, 10, 400, 300));
    EXPECT_EQ(VKPDFPageGetRotatedBoxRect(pages->page(3)), gfx::Rect(10, 20, 300, 400));
    EXPECT_EQ(VKPDFPageGetRotatedBoxRect(pages->page(4)), gfx::Rect(20, 10, 400, 300));
    EXPECT_EQ(VKPDFPageGetRotatedBoxRect(pdf::Page()), gfx::Rect::zero());
}

TEST_F(VKPDFPageTest, DrawingTransformFillsTheRect)
{
    auto pages = document({ { "/MediaBox [0 0 612 792]", "" }, { "/MediaBox [0 0 612 792] /Rotate 90", "" },
        { "/MediaBox [0 0 612 792] /CropBox [36 36 576 756]", "" } });
    auto expectCorners = [](const gfx::AffineTransform& t, const gfx::Rect& box, const gfx::Rect& rect) {
        gfx::Rect mapped = t.apply(box);
        EXPECT_NEAR(mapped.minX(), rect.minX(), 0.01);
        EXPECT_NEAR(mapped.minY(), rect.minY(), 0.01);
        EXPECT_NEAR(mapped.maxX(), rect.maxX(), 0.01);
        EXPECT_NEAR(mapped.maxY(), rect.maxY(), 0.01);
    };
    for (int number = 1; number <= 3; ++number) {
        pdf::Page page = pages->page(number);
        gfx::Rect box = page.boxRect(pdf::Box::Crop);
        for (const gfx::Rect& rect : { gfx::Rect(0, 0, 100, 130), gfx::Rect(0, 0, 2000, 2600), gfx::Rect(0, 0, 612, 792) }) {
            SCOPED_TRACE(fmt::format("page {} into {}x{}", number, rect.width(), rect.height()));
            expectCorners(VKPDFPageGetDrawingTransform(page, pdf::Box::Crop, rect, 0, true), box, rect);
            expectCorners(VKPDFPageGetDrawingTransform(page, pdf::Box::Crop, rect, 0, false), box, rect);
        }
    }
    // The order is t, then the move, then the scale about (0, 0): a rect
    // away from the origin that the page is smaller than ends up scaled
    // away from it too.
    gfx::AffineTransform t = VKPDFPageGetDrawingTransform(pages->page(1), pdf::Box::Crop, gfx::Rect(10, 10, 1224, 1584), 0, true);
    EXPECT_NEAR(t.apply(gfx::Point { 0, 0 }).x, 20, 0.01);
    EXPECT_NEAR(t.apply(gfx::Point { 612, 792 }).y, 1604, 0.01);

    // No area to fill: the page's own transform.
    auto flat = document({ { "/MediaBox [0 0 0 100]", "" } });
    gfx::Rect target(0, 0, 50, 50);
    EXPECT_EQ(VKPDFPageGetDrawingTransform(flat->page(1), pdf::Box::Crop, target, 0, true),
        flat->page(1).drawingTransform(pdf::Box::Crop, target, 0, true));
    EXPECT_EQ(VKPDFPageGetDrawingTransform(pdf::Page(), pdf::Box::Crop, target, 0, true),
        pdf::Page().drawingTransform(pdf::Box::Crop, target, 0, true));
}

TEST_F(VKPDFPageTest, ThumbnailSizes)
{
    auto pages = document({ { "/MediaBox [0 0 612 792]", "" }, { "/MediaBox [0 0 612 792] /Rotate 270", "" } });
    auto fitted = VKPDFPageCreateThumbnail(pages->page(1), 100, false);
    ASSERT_TRUE(fitted);
    EXPECT_EQ(fitted->width(), 77);
    EXPECT_EQ(fitted->height(), 100);
    EXPECT_EQ(fitted->bytesPerRow(), 320u);

    auto filled = VKPDFPageCreateThumbnail(pages->page(1), 100, true);
    ASSERT_TRUE(filled);
    EXPECT_EQ(filled->width(), 100);
    EXPECT_EQ(filled->height(), 100);
    EXPECT_EQ(filled->bytesPerRow(), 400u);

    auto turned = VKPDFPageCreateThumbnail(pages->page(2), 100, false);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->width(), 100);
    EXPECT_EQ(turned->height(), 77);
}

TEST_F(VKPDFPageTest, ThumbnailPixels)
{
    // Black over the page's lower half (y 0 to 396).
    auto pages = document({ { "/MediaBox [0 0 612 792]", "0 g 0 0 612 396 re f" }, { "/MediaBox [0 0 612 792]", "" } });
    auto blank = VKPDFPageCreateThumbnail(pages->page(2), 100, false);
    ASSERT_TRUE(blank);
    // White inside, the frame black at 0.15 over it on every edge.
    EXPECT_EQ(grey(*blank, 38, 50), 255);
    for (auto [x, y] : { std::pair { 0, 50 }, { 76, 50 }, { 38, 0 }, { 38, 99 } })
        EXPECT_NEAR(grey(*blank, x, y), 217, 1) << x << "," << y;

    // Filled: the page rectangle is 100 × 129 at (0, −15), so the half line
    // is 49.5 from the bitmap's bottom, between rows 50 and 51 of 100.
    auto filled = VKPDFPageCreateThumbnail(pages->page(1), 100, true);
    ASSERT_TRUE(filled);
    EXPECT_EQ(grey(*filled, 50, 49), 255);
    EXPECT_NEAR(grey(*filled, 50, 50), 128, 20);
    EXPECT_EQ(grey(*filled, 50, 51), 0);
    EXPECT_EQ(grey(*filled, 50, 98), 0);
}

TEST_F(VKPDFPageTest, ThumbnailSizesAsPdftoppm)
{
    for (const char* name : { "reportlab.pdf", "writer.pdf", "ghostscript.pdf" }) {
        std::string path = sourcePath(std::string("tests/fixtures/pdf/") + name);
        auto document = VKPDFDocument::initWithPath(path);
        ASSERT_TRUE(document);
        std::string prefix = pathInHome("thumb");
        for (uint32_t n = 1; n <= document->numPages(); ++n) {
            SCOPED_TRACE(fmt::format("{} page {}", name, n));
            pdftest::run(fmt::format("pdftoppm -cropbox -scale-to 100 -f {0} -l {0} -singlefile {1} {2}", n, path, prefix));
            pdftest::RGBImage peer = pdftest::readPPM(prefix + ".ppm");
            ASSERT_GT(peer.width, 0);
            auto thumbnail = VKPDFPageCreateThumbnail(document->documentRef()->page(int(n)), 100, false);
            ASSERT_TRUE(thumbnail);
            // The long side is the length; the other is rounded here and
            // rounded up by the peer.
            EXPECT_EQ(std::max(thumbnail->width(), thumbnail->height()), 100);
            EXPECT_EQ(thumbnail->width() >= thumbnail->height(), peer.width >= peer.height);
            EXPECT_NEAR(thumbnail->width(), peer.width, 1);
            EXPECT_NEAR(thumbnail->height(), peer.height, 1);
        }
    }
}

TEST_F(VKPDFPageTest, ThumbnailsOfNothing)
{
    auto pages = document({ { "/MediaBox [0 0 0 100]", "" }, { "/MediaBox [0 0 1000000 1]", "" }, { "/MediaBox [0 0 612 792]", "" } });
    EXPECT_FALSE(VKPDFPageCreateThumbnail(pdf::Page(), 100, false));
    EXPECT_FALSE(VKPDFPageCreateThumbnail(pages->page(1), 100, false));
    EXPECT_FALSE(VKPDFPageCreateThumbnail(pages->page(1), 100, true));
    // 100 × 0 fitted; a bitmap of 10^8 × 100 pixels filled.
    EXPECT_FALSE(VKPDFPageCreateThumbnail(pages->page(2), 100, false));
    EXPECT_FALSE(VKPDFPageCreateThumbnail(pages->page(2), 100, true));
    for (float length : { 0.0f, -5.0f, NAN, INFINITY, 1e9f })
        EXPECT_FALSE(VKPDFPageCreateThumbnail(pages->page(3), length, false)) << length;
    EXPECT_TRUE(VKPDFPageCreateThumbnail(pages->page(3), 1, false));
}

} // namespace
