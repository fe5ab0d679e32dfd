#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"

#include "Support/TestCase.h"

#include <atomic>
#include <fmt/format.h>
#include <thread>
#include <utility>
#include <vector>

using gfx::BitmapContext;
using gfx::Pixel;
using gfx::Rect;
using gfx::Size;

namespace {

class BitmapContextTest : public test::TestCase { };

TEST_F(BitmapContextTest, SizesAndRowBytes)
{
    EXPECT_FALSE(BitmapContext::create(0, 10));
    EXPECT_FALSE(BitmapContext::create(10, -1));
    EXPECT_FALSE(BitmapContext::create(10, 10, 36));
    EXPECT_FALSE(BitmapContext::create(10, 10, 42));
    EXPECT_FALSE(BitmapContext::create(1 << 15, 1 << 14));
    // Wider or taller than the drawing library holds: refused before any
    // memory is taken.
    EXPECT_FALSE(BitmapContext::create(40000, 2));
    EXPECT_FALSE(gfx::makeImageContext({ 320, 409038 }, 1));
    EXPECT_EQ(BitmapContext::create(10, 10)->bytesPerRow(), 40u);
    auto padded = BitmapContext::create(10, 3, 44);
    ASSERT_TRUE(padded);
    EXPECT_EQ(padded->bytesPerRow(), 44u);
    padded->setFillColor(0, 0, 1, 1);
    padded->fillRect(Rect(0, 0, 10, 3));
    EXPECT_EQ(padded->pixelAtForTesting(9, 2), (Pixel { 0, 0, 255, 255 }));
    EXPECT_EQ(padded->pixelAtForTesting(10, 0), Pixel());
}

TEST_F(BitmapContextTest, UserSpaceRisesFromTheBottomLeft)
{
    auto bitmap = BitmapContext::create(4, 4);
    EXPECT_EQ(bitmap->pixelAtForTesting(0, 0), Pixel()); // starts transparent
    bitmap->setFillColor(1, 0, 0, 1);
    bitmap->fillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(bitmap->pixelAtForTesting(0, 3), (Pixel { 255, 0, 0, 255 }));
    EXPECT_EQ(bitmap->pixelAtForTesting(0, 0), Pixel());

    // Half-transparent green is stored premultiplied.
    bitmap->saveGState();
    bitmap->translateCTM(3, 3);
    bitmap->setFillColor(0, 1, 0, 0.5);
    bitmap->fillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(bitmap->clipBoundingBox(), Rect(-3, -3, 4, 4));
    bitmap->clipToRect(Rect(-1, -1, 1, 1));
    EXPECT_EQ(bitmap->clipBoundingBox(), Rect(-1, -1, 1, 1));
    bitmap->restoreGState();
    bitmap->restoreGState(); // unbalanced: ignored
    Pixel green = bitmap->pixelAtForTesting(3, 0);
    EXPECT_EQ(green.green, green.alpha);
    EXPECT_NEAR(green.alpha, 128, 1);
    EXPECT_EQ(bitmap->clipBoundingBox(), Rect(0, 0, 4, 4));

    // The fill colour came back with the state; scaling doubles.
    bitmap->scaleCTM(2, 2);
    bitmap->fillRect(Rect(1, 1, 1, 1));
    EXPECT_EQ(bitmap->pixelAtForTesting(2, 1), (Pixel { 255, 0, 0, 255 }));
    EXPECT_EQ(bitmap->userSpaceToDeviceSpaceTransform(), (gfx::AffineTransform { 2, 0, 0, -2, 0, 4 }));
}

TEST_F(BitmapContextTest, StrokesAndWritesPNG)
{
    auto bitmap = BitmapContext::create(20, 10);
    bitmap->setStrokeColor(0, 0, 0, 1);
    bitmap->setLineWidth(1);
    bitmap->strokeRect(Rect(0.5, 0.5, 19, 9));
    EXPECT_EQ(bitmap->pixelAtForTesting(0, 5).alpha, 255);
    EXPECT_EQ(bitmap->pixelAtForTesting(10, 5).alpha, 0);

    std::string path = pathInHome("out.png");
    ASSERT_TRUE(bitmap->writePNG(path));
    std::string bytes = readFile(path);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    core::Error error;
    EXPECT_FALSE(bitmap->writePNG(pathInHome("missing/out.png"), &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace

// Images taken from a context keep its pixels and scale without a copy; large
// buffers are handed out again after use and must start transparent then too,
// and after the kept ones were given back (while one may be being cleared).
TEST_F(BitmapContextTest, TakenImagesKeepThePixelsAndReusedMemoryStartsClear)
{
    for (int round = 0; round < 4; ++round) {
        if (round % 2)
            BitmapContext::releaseSpareMemory();
        auto context = gfx::makeImageContext({ 700, 500 }, 2); // 5.6 MB: mapped, then reused
        ASSERT_TRUE(context);
        EXPECT_EQ(context->pixelAtForTesting(1399, 999), Pixel());
        EXPECT_EQ(context->pixelAtForTesting(0, 0), Pixel());
        context->setFillColor(0, 1, 0, 1);
        context->fillRect(Rect(0, 0, 700, 500));
        auto image = BitmapContext::takeImage(std::move(context));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->pixelWidth(), 1400);
        EXPECT_EQ(image->pixelHeight(), 1000);
        EXPECT_EQ(image->scale(), 2);
        auto check = BitmapContext::create(1, 1);
        check->drawImage(Rect(0, 0, 1, 1), *image);
        EXPECT_EQ(check->pixelAtForTesting(0, 0), (Pixel { 0, 255, 0, 255 }));
    }
    // A padded context's rows cannot be taken as they are: copied instead.
    auto padded = BitmapContext::create(10, 3, 48);
    padded->setFillColor(0, 0, 1, 1);
    padded->fillRect(Rect(0, 0, 10, 3));
    auto image = BitmapContext::takeImage(std::move(padded));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 10);
    EXPECT_FALSE(BitmapContext::takeImage(nullptr));
}

// A context may start as a plain colour instead of transparent, written
// once, whether its memory is fresh or handed out again after another
// picture (of the same or another colour, or another size that pushes the
// older spare buffers out); a pattern starts transparent.
TEST_F(BitmapContextTest, ImageContextsStartAsTheirBackground)
{
    struct Case {
        gfx::Color background;
        Pixel expected;
    };
    const Case cases[] = {
        { gfx::Color::white(1), { 255, 255, 255, 255 } },
        { gfx::Color(1, 0, 0, 0.5f), { 128, 0, 0, 128 } },
        { gfx::Color(), {} },
        { gfx::Color::white(1), { 255, 255, 255, 255 } },
        { gfx::Color(0.2f, 0.4f, 0.6f, 1), { 51, 102, 153, 255 } },
    };
    for (Size size : { Size { 700, 500 }, Size { 20, 10 }, Size { 900, 700 }, Size { 700, 500 } }) {
        for (const Case& c : cases) {
            SCOPED_TRACE(fmt::format("{} × {}, pixel {}", size.width, size.height, c.expected.red));
            auto context = gfx::makeImageContext(size, 2, c.background);
            ASSERT_TRUE(context);
            int right = int(size.width) * 2 - 1, bottom = int(size.height) * 2 - 1;
            for (auto [x, y] : { std::pair { 0, 0 }, { right, 0 }, { right / 2, bottom / 2 }, { 0, bottom }, { right, bottom } })
                EXPECT_EQ(context->pixelAtForTesting(x, y), c.expected);
            // Drawn over, then given back for the next.
            context->setFillColor(0, 1, 0, 1);
            context->fillRect(Rect(0, 0, size.width, size.height));
        }
    }
    auto tile = BitmapContext::create(1, 1);
    tile->setFillColor(1, 1, 1, 1);
    tile->fillRect(Rect(0, 0, 1, 1));
    auto pattern = gfx::Color::patternWithImage(tile->makeImage());
    ASSERT_TRUE(pattern.isPattern());
    auto context = gfx::makeImageContext({ 700, 500 }, 2, pattern);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->pixelAtForTesting(5, 5), Pixel());
}

// Kept buffers are cleared ahead on a thread of their own while others are
// taken and given back: drawn on several threads at once, in colours and
// sizes that take each other's buffers, each context still starts as its
// own background all over.
TEST_F(BitmapContextTest, BuffersClearedAheadStartAsTheirBackgroundOnEveryThread)
{
    const gfx::Color colours[] = { gfx::Color::white(1), gfx::Color(), gfx::Color(0.2f, 0.4f, 0.6f, 1) };
    const Pixel expected[] = { { 255, 255, 255, 255 }, {}, { 51, 102, 153, 255 } };
    const Size sizes[] = { { 700, 500 }, { 720, 510 }, { 400, 300 } };
    std::atomic<int> wrong { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 24; ++round) {
                int colour = (t + round) % 3;
                Size size = sizes[(t * 7 + round) % 3];
                auto context = gfx::makeImageContext(size, 2, colours[colour]);
                if (!context) {
                    ++wrong;
                    continue;
                }
                int right = int(size.width) * 2 - 1, bottom = int(size.height) * 2 - 1;
                for (auto [x, y] : { std::pair { 0, 0 }, { right, 0 }, { right / 2, bottom / 2 }, { 0, bottom }, { right, bottom } })
                    if (context->pixelAtForTesting(x, y) != expected[colour])
                        ++wrong;
                context->setFillColor(0, 1, 0, 1);
                context->fillRect(Rect(0, 0, size.width, size.height));
                if (round % 5 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2)); // lets the clearing catch up
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}
