#include "Shell/DeviceMemoryAdditions.h"
#include "Shell/ImageScalingAdditions.h"

#include "Platform/Core/Device.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Support/TestCase.h"

#include <thread>

using gfx::Image;
using gfx::Size;

namespace {

constexpr uint64_t MiB = uint64_t(1) << 20;

class ImageScalingAdditionsTest : public test::TestCase {
protected:
    void TearDown() override
    {
        // Back to the machine's own facts for whoever asks next.
        core::UserDefaults::setArguments({});
        core::Device::reset();
        vkSetSystemTotalMemoryForTesting(std::nullopt);
        vkRecomputeImageLimitsForTesting();
        test::TestCase::TearDown();
    }

    void pretend(uint64_t memory, const std::string& model)
    {
        core::UserDefaults::setArguments({ "-DeviceModel", model });
        vkSetSystemTotalMemoryForTesting(memory);
        vkRecomputeImageLimitsForTesting();
    }

    // A PNG that is all header: enough for a size, never decodable.
    static std::shared_ptr<Image> headerOnly(uint32_t width, uint32_t height)
    {
        std::string bytes("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
        for (uint32_t value : { width, height }) {
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes += char((value >> shift) & 0xFF);
        }
        bytes += std::string("\x08\x02\0\0\0\0\0\0\0", 9);
        return Image::imageWithData(core::Data(bytes));
    }
};

TEST_F(ImageScalingAdditionsTest, LowMemoryAndFourGigabytes)
{
    EXPECT_TRUE(vkIsLowMemoryDevice(128 * MiB));
    EXPECT_FALSE(vkIsLowMemoryDevice(128 * MiB + 1));
    pretend(128 * MiB, "Phone");
    EXPECT_TRUE(vkIsLowMemoryDevice());

    // 4 GiB is not 0 bytes: a big device, not a small one.
    std::string meminfo = makeFile("meminfo", "MemTotal:        4194304 kB\nMemFree:  1024 kB\n");
    core::Device::reset(meminfo);
    vkSetSystemTotalMemoryForTesting(std::nullopt);
    vkRecomputeImageLimitsForTesting();
    EXPECT_EQ(systemTotalMemory(), 4096 * MiB);
    EXPECT_FALSE(vkIsLowMemoryDevice());
    EXPECT_EQ(vkMaxImageSize(), 11500);
    // Free memory unknown (no MemAvailable): all bits set.
    EXPECT_EQ(systemFreeMemory(), UINT64_MAX);
}

TEST_F(ImageScalingAdditionsTest, LimitsByMemoryAndModel)
{
    struct Case {
        uint64_t memory;
        const char* model;
        float maxImageSize;
        Size native;
    };
    const Case cases[] = {
        { 128 * MiB, "iPhone1,1", 3050, { 1600, 1200 } },
        { 129 * MiB, "iPhone1,1", 5000, { 2048, 1536 } },
        { 256 * MiB, "iPhone2,1", 5000, { 2048, 1536 } },
        { 257 * MiB, "iPhone3,1", 5000, { 2592, 1936 } },
        { 8192 * MiB, "Phone", 16300, { 2592, 1936 } },
        { 1024 * MiB, "Desktop", 5700, { 2592, 1936 } },
        { 128 * MiB, "iPad1,1", 4750, { 2048, 1536 } },
        { 256 * MiB, "iPad1,1", 4750, { 2048, 1536 } },
        { 512 * MiB, "iPad2,1", 5000, { 2048, 1536 } },
        { 256 * MiB, "Tablet", 4750, { 2048, 1536 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.memory / MiB) + " MiB " + c.model);
        pretend(c.memory, c.model);
        EXPECT_EQ(vkMaxImageSize(), c.maxImageSize);
        EXPECT_EQ(vkMaximumPixelCount(), double(c.maxImageSize) * c.maxImageSize);
        EXPECT_EQ(vkNativeLandscapeSize(), c.native);
    }
    pretend(8192 * MiB, "Phone");
    EXPECT_EQ(vkMaximumPixelCountAsString(), "16300x16300");

    // Computed once: both threads see the same limits.
    float seen[2] = {};
    std::thread other([&] { seen[0] = vkMaxImageSize(); });
    seen[1] = vkMaxImageSize();
    other.join();
    EXPECT_EQ(seen[0], seen[1]);
}

TEST_F(ImageScalingAdditionsTest, ConstrainedSizes)
{
    EXPECT_EQ(vkSizeConstrainedTo(Size { 400, 300 }, 100), (Size { 100, 75 }));
    EXPECT_EQ(vkSizeConstrainedTo(Size { 50, 20 }, 100), (Size { 100, 40 }));
    EXPECT_EQ(vkSizeConstrainedTo(Size { 0, 20 }, 100), (Size { 0, 20 }));
    EXPECT_EQ(vkSizeConstrainedTo(Size { 3000, 2000 }, 128), (Size { 128, 85 }));
    EXPECT_EQ(vkSizeConstrainedTo(*headerOnly(4000, 500), 500), (Size { 500, 62 }));
}

TEST_F(ImageScalingAdditionsTest, ScalingRefusesHugeImagesAndReturnsItselfWhenNothingChanges)
{
    pretend(512 * MiB, "Phone");
    auto image = headerOnly(6000, 5000);
    ASSERT_TRUE(image);
    EXPECT_FALSE(vkCanProcessImage(*image));
    EXPECT_FALSE(vkImageScaledToSize(image, Size { 600, 500 }));
    EXPECT_EQ(logLines(), (std::vector<std::string> { "Warning, maximum supported pixel size exceeded: 6000.000000 x 5000.000000" }));

    auto context = gfx::makeImageContext(Size { 10, 10 }, 1);
    auto small = context->makeImage();
    EXPECT_TRUE(vkCanProcessImage(*small));
    EXPECT_EQ(vkImageScaledToSize(small, Size { 10, 10 }), small);
    EXPECT_NE(vkImageScaledToSize(small, Size { 5, 5 }), small);
    EXPECT_FALSE(vkImageScaledToSize(small, Size { 0, 5 }));
    EXPECT_FALSE(vkImageScaledToSize(nullptr, Size { 5, 5 }));
}

TEST_F(ImageScalingAdditionsTest, ScalingTurnsImagesUpright)
{
    // Stored 8 × 6 (red, green over blue, yellow), shown turned right.
    auto image = Image::imageWithContentsOfFile(sourcePath("tests/fixtures/images/quadrants-right.tif"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size { 6, 8 }));
    // Even at its own size a turned image is drawn anew.
    auto same = vkImageScaledToSize(image, Size { 6, 8 }, gfx::InterpolationQuality::None);
    ASSERT_TRUE(same);
    EXPECT_NE(same, image);
    EXPECT_EQ(same->imageOrientation(), gfx::ImageOrientation::Up);
    auto scaled = vkImageScaledToSize(image, Size { 12, 16 }, gfx::InterpolationQuality::High);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->size(), (Size { 12, 16 }));
    auto context = gfx::makeImageContext(Size { 12, 16 }, 1);
    context->drawImage(gfx::Rect(0, 0, 12, 16), *scaled);
    auto colour = [&](int x, int y) {
        gfx::Pixel p = context->pixelAtForTesting(x, y);
        return std::tuple { p.red, p.green, p.blue };
    };
    using Tuple = std::tuple<uint8_t, uint8_t, uint8_t>;
    EXPECT_EQ(colour(2, 3), (Tuple { 0, 0, 255 }));   // blue top left
    EXPECT_EQ(colour(9, 3), (Tuple { 255, 0, 0 }));   // red top right
    EXPECT_EQ(colour(2, 12), (Tuple { 255, 255, 0 })); // yellow bottom left
    EXPECT_EQ(colour(9, 12), (Tuple { 0, 255, 0 }));  // green bottom right
}

TEST_F(ImageScalingAdditionsTest, ScalingHonoursTheInterpolationQuality)
{
    // Black beside white, stretched tenfold: hard-edged unless filtered.
    auto source = gfx::makeImageContext(Size { 2, 1 }, 1);
    source->setFillColor(1, 1, 1, 1);
    source->fillRect(gfx::Rect(1, 0, 1, 1));
    source->setFillColor(0, 0, 0, 1);
    source->fillRect(gfx::Rect(0, 0, 1, 1));
    auto image = source->makeImage();
    auto middle = [&](gfx::InterpolationQuality quality) {
        auto scaled = vkImageScaledToSize(image, Size { 20, 1 }, quality);
        auto context = gfx::makeImageContext(Size { 20, 1 }, 1);
        context->drawImage(gfx::Rect(0, 0, 20, 1), *scaled);
        return int(context->pixelAtForTesting(9, 0).red);
    };
    EXPECT_EQ(middle(gfx::InterpolationQuality::None), 0);
    EXPECT_GT(middle(gfx::InterpolationQuality::High), 20);
}

} // namespace
