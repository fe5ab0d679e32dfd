#include "Platform/PDF/Document.h"

#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"

using gfx::AffineTransform;
using gfx::Point;
using gfx::Rect;
using pdf::Page;

namespace {

void expectPoint(Point actual, Point expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-3) << "x";
    EXPECT_NEAR(actual.y, expected.y, 1e-3) << "y";
}

TEST(PageTest, DrawingTransformScalesDownOnlyAndCentres)
{
    const Rect letter(0, 0, 612, 792);
    AffineTransform half = Page::drawingTransform(letter, 0, Rect(0, 0, 306, 396), true);
    expectPoint(half.apply(Point { 0, 0 }), { 0, 0 });
    expectPoint(half.apply(Point { 612, 792 }), { 306, 396 });

    // Never up: the page keeps its size, centred in the larger rect.
    AffineTransform same = Page::drawingTransform(letter, 0, Rect(0, 0, 1224, 1584), true);
    expectPoint(same.apply(Point { 0, 0 }), { 306, 396 });
    expectPoint(same.apply(Point { 612, 792 }), { 918, 1188 });

    // Uniform with the aspect kept, centred along the longer side.
    AffineTransform wide = Page::drawingTransform(letter, 0, Rect(10, 20, 612, 396), true);
    expectPoint(wide.apply(Point { 0, 0 }), { 10 + 153, 20 });
    expectPoint(wide.apply(Point { 612, 792 }), { 10 + 153 + 306, 20 + 396 });
    // Without it each axis fits on its own (and still never grows).
    AffineTransform stretched = Page::drawingTransform(letter, 0, Rect(0, 0, 306, 1000), false);
    expectPoint(stretched.apply(Point { 0, 0 }), { 0, 104 });
    expectPoint(stretched.apply(Point { 612, 792 }), { 306, 896 });

    // An offset box is moved to the rect.
    AffineTransform offset = Page::drawingTransform(Rect(100, 200, 50, 60), 0, Rect(0, 0, 50, 60), true);
    expectPoint(offset.apply(Point { 100, 200 }), { 0, 0 });
}

TEST(PageTest, DrawingTransformTurnsClockwise)
{
    const Rect letter(0, 0, 612, 792);
    AffineTransform quarter = Page::drawingTransform(letter, 90, Rect(0, 0, 792, 612), true);
    expectPoint(quarter.apply(Point { 0, 0 }), { 0, 612 });
    expectPoint(quarter.apply(Point { 612, 0 }), { 0, 0 });
    expectPoint(quarter.apply(Point { 612, 792 }), { 792, 0 });

    AffineTransform half = Page::drawingTransform(letter, 180, letter, true);
    expectPoint(half.apply(Point { 0, 0 }), { 612, 792 });
    expectPoint(half.apply(Point { 612, 0 }), { 0, 792 });

    AffineTransform threeQuarters = Page::drawingTransform(letter, 270, Rect(0, 0, 792, 612), true);
    expectPoint(threeQuarters.apply(Point { 0, 0 }), { 792, 0 });
    expectPoint(threeQuarters.apply(Point { 612, 0 }), { 792, 612 });

    // Angles beyond a turn or below zero; a turned box scaled into half.
    expectPoint(Page::drawingTransform(letter, -270, Rect(0, 0, 792, 612), true).apply(Point { 0, 0 }), { 0, 612 });
    AffineTransform small = Page::drawingTransform(letter, 450, Rect(0, 0, 396, 306), false);
    expectPoint(small.apply(Point { 0, 0 }), { 0, 306 });
    expectPoint(small.apply(Point { 612, 792 }), { 396, 0 });
}

TEST(PageTest, DrawingTransformAddsThePageRotation)
{
    test::PdfBuilder builder;
    builder.addPage("", "/MediaBox [0 0 612 792] /Rotate 90");
    auto document = pdf::Document::open(builder.build());
    pdf::Page page = document->page(1);
    AffineTransform t = page.drawingTransform(pdf::Box::Media, Rect(0, 0, 792, 612), 0, true);
    expectPoint(t.apply(Point { 0, 0 }), { 0, 612 });
    AffineTransform upright = page.drawingTransform(pdf::Box::Media, Rect(0, 0, 612, 792), -90, true);
    expectPoint(upright.apply(Point { 0, 0 }), { 0, 0 });
    expectPoint(upright.apply(Point { 612, 792 }), { 612, 792 });
}

} // namespace
