#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/StoredImage.h"

#include "Support/Command.h"
#include "Support/TestCase.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

using gfx::BitmapContext;
using gfx::Image;
using gfx::ImageFormat;
using gfx::ImageOrientation;
using gfx::Pixel;
using gfx::Rect;
using gfx::Size;

namespace {

struct Rgb {
    int red, green, blue;
};
constexpr Rgb kRed { 255, 0, 0 }, kGreen { 0, 255, 0 }, kBlue { 0, 0, 255 }, kYellow { 255, 255, 0 };

// An image of four quadrants: red, green over blue, yellow.
std::shared_ptr<Image> quadrants(int width, int height)
{
    auto context = gfx::makeImageContext(Size { float(width), float(height) }, 1);
    float w = float(width) / 2, h = float(height) / 2;
    const std::pair<Rgb, Rect> parts[] = { { kRed, Rect(0, 0, w, h) }, { kGreen, Rect(w, 0, w, h) },
        { kBlue, Rect(0, h, w, h) }, { kYellow, Rect(w, h, w, h) } };
    for (const auto& [colour, rect] : parts) {
        context->setFillColor(colour.red / 255.0f, colour.green / 255.0f, colour.blue / 255.0f, 1);
        context->fillRect(rect);
    }
    return context->makeImage();
}

// The image drawn at its size into an image context.
std::unique_ptr<BitmapContext> render(const Image& image)
{
    auto context = gfx::makeImageContext(image.size(), 1);
    EXPECT_TRUE(context->drawImage(Rect(0, 0, image.size().width, image.size().height), image));
    return context;
}

::testing::AssertionResult near(const Pixel& pixel, Rgb expected, int tolerance = 12)
{
    if (std::abs(pixel.red - expected.red) <= tolerance && std::abs(pixel.green - expected.green) <= tolerance
        && std::abs(pixel.blue - expected.blue) <= tolerance && pixel.alpha == 255)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel " << int(pixel.red) << "," << int(pixel.green) << "," << int(pixel.blue)
                                         << "," << int(pixel.alpha) << " is not " << expected.red << "," << expected.green
                                         << "," << expected.blue;
}

// The centre pixels of the four quadrants of what was drawn, top left,
// top right, bottom left, bottom right.
void expectQuadrants(const BitmapContext& context, Rgb topLeft, Rgb topRight, Rgb bottomLeft, Rgb bottomRight)
{
    int w = context.width(), h = context.height();
    EXPECT_TRUE(near(context.pixelAtForTesting(w / 4, h / 4), topLeft)) << "top left";
    EXPECT_TRUE(near(context.pixelAtForTesting(w * 3 / 4, h / 4), topRight)) << "top right";
    EXPECT_TRUE(near(context.pixelAtForTesting(w / 4, h * 3 / 4), bottomLeft)) << "bottom left";
    EXPECT_TRUE(near(context.pixelAtForTesting(w * 3 / 4, h * 3 / 4), bottomRight)) << "bottom right";
}

// A JPEG with an APP1 Exif block (big-endian TIFF, one IFD entry) holding
// the orientation, put right after the start-of-image marker.
std::string withExifOrientation(const std::string& jpeg, int orientation)
{
    std::string tiff("MM\0*\0\0\0\x08", 8);
    tiff += std::string("\0\x01", 2);                                   // one entry
    tiff += std::string("\x01\x12\0\x03\0\0\0\x01", 8);                 // Orientation, SHORT, count 1
    tiff += std::string("\0", 1) + char(orientation) + std::string("\0\0", 2);
    tiff += std::string("\0\0\0\0", 4);                                 // no next IFD
    std::string payload = std::string("Exif\0\0", 6) + tiff;
    size_t length = payload.size() + 2;
    std::string segment = "\xFF\xE1" + std::string(1, char(length >> 8)) + std::string(1, char(length & 0xFF)) + payload;
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

// All the bytes of a literal, NULs included.
template<size_t N> std::string bytesOf(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

std::string pngHeader(uint32_t width, uint32_t height)
{
    std::string bytes("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
    for (uint32_t value : { width, height }) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += char((value >> shift) & 0xFF);
    }
    bytes += std::string("\x08\x06\0\0\0\0\0\0\0", 9); // depth, colour type, methods, CRC
    return bytes;
}

class ImageTest : public test::TestCase {
protected:
    std::shared_ptr<Image> fixture(const std::string& name)
    {
        return Image::imageWithContentsOfFile(sourcePath("tests/fixtures/images/" + name));
    }
};

TEST_F(ImageTest, EachFormatDecodes)
{
    // The committed fixtures were written by another program; JPEG and PNG by
    // our encoders.
    const std::pair<const char*, ImageFormat> files[] = { { "quadrants.gif", ImageFormat::GIF },
        { "quadrants.tif", ImageFormat::TIFF }, { "quadrants-24.bmp", ImageFormat::BMP },
        { "quadrants-8.bmp", ImageFormat::BMP }, { "quadrants.webp", ImageFormat::WebP } };
    for (const auto& [name, format] : files) {
        SCOPED_TRACE(name);
        auto image = fixture(name);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->format(), format);
        EXPECT_EQ(image->size(), (Size { 8, 6 }));
        expectQuadrants(*render(*image), kRed, kGreen, kBlue, kYellow);
    }

    auto original = quadrants(40, 20);
    for (const auto& bytes : { original->jpegRepresentation(1.0f), original->pngRepresentation() }) {
        ASSERT_TRUE(bytes);
        auto image = Image::imageWithData(core::Data(*bytes));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), (Size { 40, 20 }));
        expectQuadrants(*render(*image), kRed, kGreen, kBlue, kYellow);
    }
    EXPECT_TRUE(logLines().empty());
}

TEST_F(ImageTest, RegionsDecodeAtTheirSizeWithoutTheWholePicture)
{
    auto original = quadrants(400, 200);
    auto interlaced = test::runCommand({ "convert", "png:-", "-interlace", "PNG", "png:-" }, *original->pngRepresentation());
    auto webp = test::runCommand({ "convert", "png:-", "-define", "webp:lossless=true", "webp:-" }, *original->pngRepresentation());
    const std::pair<const char*, std::shared_ptr<Image>> images[] = {
        { "JPEG", Image::imageWithData(core::Data(*original->jpegRepresentation(1.0f))) },
        { "PNG", Image::imageWithData(core::Data(*original->pngRepresentation())) },
        { "interlaced PNG", Image::imageWithData(core::Data(interlaced.output)) }, { "GIF", fixture("quadrants.gif") },
        { "WebP", Image::imageWithData(core::Data(webp.output)) },
        { "SVG", Image::imageWithData(core::Data(std::string(
                     "<svg xmlns='http://www.w3.org/2000/svg' width='400' height='200'><rect width='200' height='100' fill='#f00'/>"
                     "<rect x='200' width='200' height='100' fill='#0f0'/><rect y='100' width='200' height='100' fill='#00f'/>"
                     "<rect x='200' y='100' width='200' height='100' fill='#ff0'/></svg>"))) } };
    for (const auto& [kind, image] : images) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(image);
        uint64_t decodes = gfx::imageDecodeCountForTesting();
        Size full = image->size();
        // The whole picture at half its size, then its right half, then the
        // bottom right quadrant's middle.
        auto small = gfx::imageOfStoredRegion(*image, Rect(0, 0, full.width, full.height), int(full.width / 2), int(full.height / 2));
        ASSERT_TRUE(small);
        EXPECT_EQ(small->size(), (Size { full.width / 2, full.height / 2 }));
        expectQuadrants(*render(*small), kRed, kGreen, kBlue, kYellow);
        auto right = gfx::imageOfStoredRegion(*image, Rect(full.width / 2, 0, full.width / 2, full.height), 1000, 1000);
        ASSERT_TRUE(right);
        EXPECT_EQ(right->size(), (Size { full.width / 2, full.height })) << "never larger than the part";
        expectQuadrants(*render(*right), kGreen, kGreen, kYellow, kYellow);
        auto corner = gfx::imageOfStoredRegion(*image, Rect(full.width * 0.6f, full.height * 0.6f, 1e6, 1e6), 4, 4);
        ASSERT_TRUE(corner) << "clipped to the picture";
        expectQuadrants(*render(*corner), kYellow, kYellow, kYellow, kYellow);
        // A drawing's parts are drawn at their own size.
        bool rowByRow = std::string(kind) == "JPEG" || std::string(kind) == "PNG" || std::string(kind) == "SVG"
            || std::string(kind) == "WebP";
        EXPECT_EQ(gfx::imageDecodeCountForTesting() - decodes, rowByRow ? 0u : 1u) << "whole at most once";
    }
    auto cut = *original->pngRepresentation();
    auto truncated = Image::imageWithData(core::Data(cut.substr(0, cut.size() / 2)));
    ASSERT_TRUE(truncated);
    EXPECT_FALSE(gfx::imageOfStoredRegion(*truncated, Rect(0, 0, 400, 200), 100, 50));
    EXPECT_FALSE(gfx::imageOfStoredRegion(*original, Rect(500, 0, 10, 10), 10, 10)) << "outside";
}

// The kilobytes of `path`'s mappings in this process that are resident.
long residentKilobytesOfMapping(const std::string& path)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    long kilobytes = 0;
    while (std::getline(smaps, line)) {
        if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) && line.find(' ') != std::string::npos
            && line.find('-') < line.find(' '))
            inside = line.size() >= path.size() && line.compare(line.size() - path.size(), path.size(), path) == 0;
        else if (inside && line.rfind("Rss:", 0) == 0)
            kilobytes += std::atol(line.c_str() + 4);
    }
    return kilobytes;
}

TEST_F(ImageTest, AFileReadThroughKeepsNoneOfItsPagesAndReadsAgain)
{
    // Noise hardly compresses: a PNG of some 9 MB, and its JPEG.
    std::string png = home() + "/noise.png", jpeg = home() + "/noise.jpg";
    ASSERT_EQ(test::runCommand({ "convert", "-size", "1800x1700", "xc:", "+noise", "Random", png }).status, 0);
    ASSERT_EQ(test::runCommand({ "convert", png, "-quality", "100", jpeg }).status, 0);
    for (const auto& path : { png, jpeg }) {
        SCOPED_TRACE(path);
        auto image = Image::imageWithContentsOfFile(path);
        ASSERT_TRUE(image);
        for (int read = 0; read < 2; ++read) {
            auto part = gfx::imageOfStoredRegion(*image, Rect(0, 0, 1800, 1700), 180, 170);
            ASSERT_TRUE(part) << "read " << read;
            EXPECT_EQ(part->size(), (Size { 180, 170 }));
            EXPECT_LT(residentKilobytesOfMapping(path), 1024) << "read " << read;
        }
        EXPECT_TRUE(image->decode());
        EXPECT_LT(residentKilobytesOfMapping(path), 1024) << "decoded whole";
    }
}

TEST_F(ImageTest, ThreadsShareOneDecode)
{
    core::Data jpeg(*quadrants(64, 32)->jpegRepresentation(0.9f));
    auto image = Image::imageWithData(jpeg);
    ASSERT_TRUE(image);
    std::unique_ptr<BitmapContext> drawn[4];
    std::vector<std::thread> threads;
    for (auto& slot : drawn)
        threads.emplace_back([&image, &slot] { slot = render(*image); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& context : drawn)
        expectQuadrants(*context, kRed, kGreen, kBlue, kYellow);
    // Drawn small first, a JPEG is decoded small; full size still comes back.
    auto fresh = Image::imageWithData(jpeg);
    auto tiny = gfx::makeImageContext(Size { 8, 4 }, 1);
    tiny->drawImage(Rect(0, 0, 8, 4), *fresh);
    expectQuadrants(*tiny, kRed, kGreen, kBlue, kYellow);
    expectQuadrants(*render(*fresh), kRed, kGreen, kBlue, kYellow);
}

TEST_F(ImageTest, AlphaFormatsKeepTheirTransparency)
{
    for (const char* name : { "quadrants-alpha.bmp", "quadrants-alpha.webp" }) {
        SCOPED_TRACE(name);
        auto image = fixture(name);
        ASSERT_TRUE(image);
        auto context = render(*image);
        EXPECT_TRUE(near(context->pixelAtForTesting(1, 1), kRed));
        Pixel corner = context->pixelAtForTesting(7, 5); // yellow at half alpha, premultiplied
        EXPECT_NEAR(corner.alpha, 128, 2);
        EXPECT_NEAR(corner.red, 128, 2);
        EXPECT_EQ(corner.blue, 0);
    }

    // Through our own PNG encoder and back.
    auto context = gfx::makeImageContext(Size { 4, 4 }, 1);
    context->setFillColor(0, 0, 1, 0.5f);
    context->fillRect(Rect(0, 0, 4, 2));
    auto bytes = context->makeImage()->pngRepresentation();
    ASSERT_TRUE(bytes);
    auto decoded = render(*Image::imageWithData(core::Data(*bytes)));
    EXPECT_NEAR(decoded->pixelAtForTesting(0, 0).alpha, 128, 1);
    EXPECT_NEAR(decoded->pixelAtForTesting(0, 0).blue, 128, 1);
    EXPECT_EQ(decoded->pixelAtForTesting(0, 3), Pixel());
}

TEST_F(ImageTest, ExifOrientationDrawsUpright)
{
    auto jpeg = quadrants(40, 20)->jpegRepresentation(1.0f);
    ASSERT_TRUE(jpeg);
    struct Case {
        int exif;
        ImageOrientation orientation;
        Rgb topLeft, topRight, bottomLeft, bottomRight;
    };
    const Case cases[] = {
        { 1, ImageOrientation::Up, kRed, kGreen, kBlue, kYellow },
        { 2, ImageOrientation::UpMirrored, kGreen, kRed, kYellow, kBlue },
        { 3, ImageOrientation::Down, kYellow, kBlue, kGreen, kRed },
        { 4, ImageOrientation::DownMirrored, kBlue, kYellow, kRed, kGreen },
        { 5, ImageOrientation::LeftMirrored, kRed, kBlue, kGreen, kYellow },
        { 6, ImageOrientation::Right, kBlue, kRed, kYellow, kGreen },
        { 7, ImageOrientation::RightMirrored, kYellow, kGreen, kBlue, kRed },
        { 8, ImageOrientation::Left, kGreen, kYellow, kRed, kBlue },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exif);
        auto image = Image::imageWithData(core::Data(withExifOrientation(*jpeg, c.exif)));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->imageOrientation(), c.orientation);
        EXPECT_EQ(image->size(), c.exif >= 5 ? (Size { 20, 40 }) : (Size { 40, 20 }));
        EXPECT_EQ(image->pixelWidth(), 40);
        expectQuadrants(*render(*image), c.topLeft, c.topRight, c.bottomLeft, c.bottomRight);

        // Encoded again, the pixels are upright and carry no orientation.
        auto again = Image::imageWithData(core::Data(*image->pngRepresentation()));
        EXPECT_EQ(again->imageOrientation(), ImageOrientation::Up);
        EXPECT_EQ(again->size(), image->size());
        expectQuadrants(*render(*again), c.topLeft, c.topRight, c.bottomLeft, c.bottomRight);
    }

    // A bitmap context (y up) shows it upright too.
    auto right = Image::imageWithData(core::Data(withExifOrientation(*jpeg, 6)));
    auto bitmap = BitmapContext::create(20, 40);
    bitmap->drawImage(Rect(0, 0, 20, 40), *right);
    expectQuadrants(*bitmap, kBlue, kRed, kYellow, kGreen);

    // TIFF's own orientation tag applies once.
    auto tiff = fixture("quadrants-right.tif");
    ASSERT_TRUE(tiff);
    EXPECT_EQ(tiff->imageOrientation(), ImageOrientation::Right);
    EXPECT_EQ(tiff->size(), (Size { 6, 8 }));
    expectQuadrants(*render(*tiff), kBlue, kRed, kYellow, kGreen);
}

TEST_F(ImageTest, HostileExifReadsAsUp)
{
    auto jpeg = *quadrants(16, 16)->jpegRepresentation(0.9f);
    std::string bad[] = {
        // IFD offset far beyond the block, then an entry count that runs off it.
        bytesOf("\xFF\xE1\0\x16" "Exif\0\0MM\0*\x7F\xFF\xFF\xF0\0\0\0\0\0\0"),
        bytesOf("\xFF\xE1\0\x16" "Exif\0\0II*\0\x08\0\0\0\xFF\xFF\0\0\0\0"),
        // A segment length that claims more than the file has.
        bytesOf("\xFF\xE1\xFF\xF0" "Exif\0\0"),
    };
    for (size_t i = 0; i < 2; ++i) {
        auto image = Image::imageWithData(core::Data(jpeg.substr(0, 2) + bad[i] + jpeg.substr(2)));
        ASSERT_TRUE(image) << i;
        EXPECT_EQ(image->imageOrientation(), ImageOrientation::Up);
        EXPECT_TRUE(image->decode());
    }
    EXPECT_FALSE(Image::imageWithData(core::Data(jpeg.substr(0, 2) + bad[2] + jpeg.substr(2))));
    EXPECT_EQ(Image::imageWithData(core::Data(withExifOrientation(jpeg, 9)))->imageOrientation(), ImageOrientation::Up);
}

TEST_F(ImageTest, HugeHeadersReportTheirSizeButNeverDecode)
{
    auto image = Image::imageWithData(core::Data(pngHeader(30000, 30000)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size { 30000, 30000 }));
    EXPECT_FALSE(image->decode());
    EXPECT_FALSE(image->decode()); // refused once, logged once
    auto context = gfx::makeImageContext(Size { 10, 10 }, 1);
    EXPECT_FALSE(context->drawImage(Rect(0, 0, 10, 10), *image));
    EXPECT_FALSE(image->pngRepresentation());
    EXPECT_EQ(logLines().size(), 1u);
    EXPECT_TRUE(logContains("30000 x 30000"));

    // Zero sides are no image at all.
    EXPECT_FALSE(Image::imageWithData(core::Data(pngHeader(0, 10))));
    EXPECT_FALSE(Image::imageWithData(core::Data(std::string("GIF89a\0\0\x05\0", 10))));
    EXPECT_FALSE(Image::imageWithData(core::Data(std::string("not an image"))));
    EXPECT_FALSE(Image::imageWithContentsOfFile(pathInHome("missing.png")));
}

TEST_F(ImageTest, DamagedFilesGiveNoPixelsAndOneLine)
{
    auto original = quadrants(64, 48);
    std::string jpeg = *original->jpegRepresentation(0.8f);
    size_t scan = jpeg.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    std::string png = *original->pngRepresentation();
    std::string gif = readFile(sourcePath("tests/fixtures/images/quadrants.gif"));
    std::string tiff = readFile(sourcePath("tests/fixtures/images/quadrants.tif"));
    std::string bmp = readFile(sourcePath("tests/fixtures/images/quadrants-24.bmp"));
    std::string webp = readFile(sourcePath("tests/fixtures/images/quadrants.webp"));
    std::string insideScan = jpeg.substr(0, scan + (jpeg.size() - scan) / 2);
    const std::pair<const char*, std::string> damaged[] = {
        { "JPEG cut in its tables", jpeg.substr(0, scan - 20) },
        { "JPEG cut in its scan", insideScan },
        { "JPEG ending inside its scan", insideScan + "\xFF\xD9" },
        { "PNG cut short", png.substr(0, png.size() - 30) },
        { "GIF cut short", gif.substr(0, gif.size() - 10) },
        { "TIFF cut short", tiff.substr(0, 200) },
        { "BMP cut short", bmp.substr(0, bmp.size() - 7) },
        { "WebP cut short", webp.substr(0, webp.size() - 8) },
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        auto image = Image::imageWithData(core::Data(bytes));
        if (!image)
            continue; // refused from the header
        size_t before = logLines().size();
        EXPECT_FALSE(image->decode());
        EXPECT_FALSE(image->jpegRepresentation(0.5f));
        EXPECT_EQ(logLines().size(), before + 1);
    }
}

TEST_F(ImageTest, BitmapLayouts)
{
    // Hand-made bitmaps of 2 × 2 pixels: top left red, top right green,
    // bottom left blue, bottom right white.
    auto le16 = [](uint32_t v) { return std::string { char(v & 0xFF), char(v >> 8 & 0xFF) }; };
    auto le32 = [&](uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); };
    auto bitmap = [&](int bits, int32_t height, uint32_t compression, const std::string& extra, const std::string& rows) {
        std::string header = le32(40) + le32(2) + le32(uint32_t(height)) + le16(1) + le16(uint32_t(bits)) + le32(compression)
            + le32(uint32_t(rows.size())) + le32(0) + le32(0) + le32(0) + le32(0);
        uint32_t offset = uint32_t(14 + header.size() + extra.size());
        return "BM" + le32(offset + uint32_t(rows.size())) + le32(0) + le32(offset) + header + extra + rows;
    };
    auto check = [&](const std::string& bytes, const char* what) {
        SCOPED_TRACE(what);
        auto image = Image::imageWithData(core::Data(bytes));
        ASSERT_TRUE(image);
        auto context = render(*image);
        EXPECT_TRUE(near(context->pixelAtForTesting(0, 0), kRed, 0));
        EXPECT_TRUE(near(context->pixelAtForTesting(1, 0), kGreen, 0));
        EXPECT_TRUE(near(context->pixelAtForTesting(0, 1), kBlue, 0));
        EXPECT_TRUE(near(context->pixelAtForTesting(1, 1), { 255, 255, 255 }, 0));
    };
    // 1 bit: a palette of blue and white would not do; use 2 colours per row
    // instead with an 8-bit palette of four.
    std::string palette = le32(0x0000FF) + le32(0xFFFFFF) + le32(0xFF0000) + le32(0x00FF00); // B G R 0
    check(bitmap(8, 2, 0, palette, std::string("\0\x01\0\0", 4) + std::string("\x02\x03\0\0", 4)), "8-bit palette");
    check(bitmap(4, -2, 0, palette, std::string("\x23\0\0\0", 4) + std::string("\x01\0\0\0", 4)), "4-bit top-down");
    // 16-bit 5-6-5 with bit fields, bottom-up.
    std::string masks = le32(0xF800) + le32(0x07E0) + le32(0x001F);
    check(bitmap(16, 2, 3, masks, le16(0x001F) + le16(0xFFFF) + le16(0xF800) + le16(0x07E0)), "16-bit fields");
    // 32-bit with an alpha mask, top-down.
    std::string alphaMasks = le32(0x00FF0000) + le32(0x0000FF00) + le32(0x000000FF) + le32(0xFF000000);
    check(bitmap(32, -2, 6, alphaMasks, le32(0xFFFF0000) + le32(0xFF00FF00) + le32(0xFF0000FF) + le32(0xFFFFFFFF)),
        "32-bit alpha fields");
    // 1 bit per pixel: a black and white pair of rows.
    std::string mono = le32(0) + le32(0xFFFFFF);
    auto image = Image::imageWithData(core::Data(bitmap(1, 2, 0, mono, std::string("\x40\0\0\0\x80\0\0\0", 8))));
    ASSERT_TRUE(image);
    auto context = render(*image);
    EXPECT_TRUE(near(context->pixelAtForTesting(0, 0), { 255, 255, 255 }, 0));
    EXPECT_TRUE(near(context->pixelAtForTesting(1, 0), { 0, 0, 0 }, 0));
    EXPECT_TRUE(near(context->pixelAtForTesting(1, 1), { 255, 255, 255 }, 0));
    // RLE is not read; a row count past the data neither.
    EXPECT_FALSE(Image::imageWithData(core::Data(bitmap(8, 2, 1, palette, "\0\0\0\0")))->decode());
    EXPECT_FALSE(Image::imageWithData(core::Data(bitmap(8, 200, 0, palette, "\0\0\0\0")))->decode());
}

TEST_F(ImageTest, OpaquePixelsTakeEveryPixelOfEachPaddedRow)
{
    // A movie frame's BGRx rows, 7 pixels wide (no multiple of four) with
    // padding after each row; the x byte is 0 and must read as opaque.
    const int width = 7, bytesPerRow = width * 4 + 4;
    std::vector<uint8_t> frame(size_t(bytesPerRow) * 2, 0xAB);
    for (int x = 0; x < width; ++x) {
        const uint8_t top[4] = { 0, 0, 255, 0 }, bottom[4] = { uint8_t(x == 6 ? 255 : 0), uint8_t(x == 6 ? 0 : 255), 0, 0 };
        std::memcpy(&frame[size_t(x) * 4], top, 4);
        std::memcpy(&frame[size_t(bytesPerRow + x * 4)], bottom, 4);
    }
    auto image = Image::imageWithOpaquePixels(width, 2, size_t(bytesPerRow), frame.data());
    ASSERT_TRUE(image);
    auto context = render(*image);
    for (int x = 0; x < width; ++x) {
        EXPECT_TRUE(near(context->pixelAtForTesting(x, 0), kRed, 0)) << x;
        EXPECT_TRUE(near(context->pixelAtForTesting(x, 1), x == 6 ? kBlue : kGreen, 0)) << x;
        EXPECT_EQ(context->pixelAtForTesting(x, 1).alpha, 255) << x;
    }
}

TEST_F(ImageTest, EncodersWriteWhatFileRecognises)
{
    // Detail for the JPEG quality to matter: stripes and a gradient.
    auto context = gfx::makeImageContext(Size { 64, 48 }, 1);
    for (int x = 0; x < 64; ++x) {
        context->setFillColor(float(x) / 63, float(x % 3) / 2, float(x % 5) / 4, 1);
        context->fillRect(Rect(float(x), 12, 1, 36));
    }
    context->setFillColor(0, 0, 0, 0.5f);
    context->fillRect(Rect(0, 0, 64, 12));
    auto image = context->makeImage();
    std::string jpeg = pathInHome("out.jpg"), png = pathInHome("out.png");
    ASSERT_TRUE(image->writeJPEG(jpeg, 0.85f));
    ASSERT_TRUE(image->writePNG(png));
    EXPECT_LT(image->jpegRepresentation(0.7f)->size(), image->jpegRepresentation(0.85f)->size());
    if (test::hasProgram("file")) {
        std::string jpegType = test::runCommand({ "file", "-b", jpeg }).output;
        EXPECT_NE(jpegType.find("JPEG image data"), std::string::npos) << jpegType;
        EXPECT_NE(jpegType.find("64x48"), std::string::npos) << jpegType;
        std::string pngType = test::runCommand({ "file", "-b", png }).output;
        EXPECT_NE(pngType.find("PNG image data, 64 x 48, 8-bit/color RGBA"), std::string::npos) << pngType;
    }
    // The alpha survives the PNG; the JPEG is opaque.
    auto reread = Image::imageWithContentsOfFile(png);
    EXPECT_NEAR(render(*reread)->pixelAtForTesting(10, 2).alpha, 128, 1);
    EXPECT_EQ(render(*Image::imageWithContentsOfFile(jpeg))->pixelAtForTesting(10, 2).alpha, 255);

    // A failed write reports itself and leaves nothing behind.
    core::Error error;
    EXPECT_FALSE(image->writePNG(pathInHome("missing/out.png"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(pathInHome("missing/out.png")), "");
    EXPECT_EQ(image->description().find("<Image 0x"), 0u);
}

} // namespace
