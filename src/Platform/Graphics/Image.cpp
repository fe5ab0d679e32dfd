#include "Platform/Graphics/Image.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Graphics/ImageInternal.h"
#include "Platform/Graphics/RowReducer.h"
#include "Platform/Graphics/StoredImage.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cairo.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fmt/format.h>
#include <mutex>

namespace gfx {

namespace {

const char* formatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::JPEG: return "JPEG";
    case ImageFormat::PNG: return "PNG";
    case ImageFormat::GIF: return "GIF";
    case ImageFormat::TIFF: return "TIFF";
    case ImageFormat::BMP: return "BMP";
    case ImageFormat::WebP: return "WebP";
    case ImageFormat::SVG: return "SVG";
    case ImageFormat::Bitmap: return "bitmap";
    case ImageFormat::Unknown: break;
    }
    return "unknown";
}

float sanitizedScale(float scale)
{
    return std::isfinite(scale) && scale > 0 ? scale : 1;
}

// The smallest JPEG reduction that still gives `fraction` of the size.
int denominatorFor(double fraction)
{
    for (int denominator : { 8, 4, 2 }) {
        if (fraction <= 1.0 / denominator)
            return denominator;
    }
    return 1;
}

} // namespace

struct Image::Storage {
    core::Data encoded;
    codecs::Header header;
    float scale = 1;

    mutable std::mutex mutex;
    mutable codecs::Surface decoded;
    mutable int decodedDenominator = 0; // 0: nothing decoded yet
    mutable bool failed = false;

    codecs::Surface decode(int denominator) const;
};

namespace {
std::atomic<uint64_t> decodeAttempts { 0 };
}

uint64_t imageDecodeCountForTesting()
{
    return decodeAttempts.load();
}

std::shared_ptr<Image> imageWithStoredPixels(const std::shared_ptr<Image>& image)
{
    if (!image || image->imageOrientation() == ImageOrientation::Up)
        return image;
    return ImageAccess::imageWithPixels(ImageAccess::pixels(*image, 1), image->scale(), ImageOrientation::Up);
}

std::shared_ptr<Image> imageOfStoredRegion(const Image& image, const Rect& region, int width, int height)
{
    int pictureWidth = image.pixelWidth(), pictureHeight = image.pixelHeight();
    int left = std::clamp(int(std::floor(region.minX())), 0, pictureWidth);
    int top = std::clamp(int(std::floor(region.minY())), 0, pictureHeight);
    int right = std::clamp(int(std::ceil(region.maxX())), left, pictureWidth);
    int bottom = std::clamp(int(std::ceil(region.maxY())), top, pictureHeight);
    if (right <= left || bottom <= top || width <= 0 || height <= 0
        || int64_t(pictureWidth) * pictureHeight > codecs::kMaximumPixels)
        return nullptr;
    codecs::RegionRequest request { .x = left, .y = top, .width = right - left, .height = bottom - top,
        .outputWidth = std::min(width, right - left), .outputHeight = std::min(height, bottom - top) };
    // A file's pages read through are let go as the decoder passes them,
    // and all of them once it is done: a picture read at a smaller size
    // keeps nothing of its file in memory.
    const core::Data& encoded = ImageAccess::encodedData(image);
    request.bytesDone = [&encoded](size_t offset, size_t length) { encoded.releaseResidentPages(offset, length); };
    struct ReleaseAfter {
        const core::Data& encoded;
        ~ReleaseAfter() { encoded.releaseResidentPages(0, encoded.size()); }
    } releaseAfter { encoded };
    std::string_view bytes = encoded.view();
    std::string failure;
    codecs::Surface result;
    if (image.format() == ImageFormat::JPEG)
        result = codecs::decodeJPEGRegion(bytes, request, codecs::kMaximumPixels, &failure);
    else if (image.format() == ImageFormat::PNG)
        result = codecs::decodePNGRegion(bytes, request, codecs::kMaximumPixels, &failure);
    else if (image.format() == ImageFormat::WebP)
        result = codecs::decodeWebPRegion(bytes, request, codecs::kMaximumPixels, &failure);
    else if (image.format() == ImageFormat::SVG)
        result = codecs::decodeSVGRegion(bytes, request, codecs::kMaximumPixels, &failure);
    bool rowByRow = image.format() == ImageFormat::JPEG || image.format() == ImageFormat::SVG
        || image.format() == ImageFormat::WebP || (image.format() == ImageFormat::PNG && failure != "interlaced");
    if (!result && rowByRow) {
        core::log("Warning, unable to decode {} image ({} x {}): {}", formatName(image.format()), pictureWidth,
            pictureHeight, failure);
        return nullptr;
    }
    if (!result) {
        codecs::Surface whole = ImageAccess::pixels(image, 1);
        if (!whole || whole.width() != pictureWidth || whole.height() != pictureHeight)
            return nullptr;
        whole.flush();
        codecs::RowReducer reducer(request.x, request.y, request.width, request.height, request.outputWidth,
            request.outputHeight);
        for (int y = reducer.firstRow(); y < reducer.endRow(); ++y)
            reducer.addRow(y, whole.row(y));
        result = reducer.finish();
    }
    return ImageAccess::imageWithPixels(std::move(result), 1, image.imageOrientation());
}

codecs::Surface Image::Storage::decode(int denominator) const
{
    std::lock_guard lock(mutex);
    if (decoded && decodedDenominator <= denominator)
        return decoded;
    if (failed)
        return {};
    // A smaller decode made before is let go first, so that the two are not
    // held at once (whoever draws with it keeps its own reference).
    decoded = {};
    decodedDenominator = 0;
    ++decodeAttempts;
    std::string failure;
    codecs::Surface result;
    if (int64_t(header.width) * header.height > codecs::kMaximumPixels) {
        failure = "too many pixels";
    } else {
        std::string_view bytes = encoded.view();
        int64_t limit = codecs::kMaximumPixels;
        switch (header.format) {
        case ImageFormat::JPEG: result = codecs::decodeJPEG(bytes, denominator, limit, &failure); break;
        case ImageFormat::PNG: result = codecs::decodePNG(bytes, limit, &failure); break;
        case ImageFormat::GIF: result = codecs::decodeGIF(bytes, limit, &failure); break;
        case ImageFormat::TIFF: result = codecs::decodeTIFF(bytes, limit, &failure); break;
        case ImageFormat::BMP: result = codecs::decodeBMP(bytes, limit, &failure); break;
        case ImageFormat::WebP: result = codecs::decodeWebP(bytes, limit, &failure); break;
        case ImageFormat::SVG: result = codecs::decodeSVG(bytes, limit, &failure); break;
        case ImageFormat::Bitmap:
        case ImageFormat::Unknown: failure = "no pixels"; break;
        }
        // The pixels are what is kept: the file's pages it went through
        // need not stay.
        encoded.releaseResidentPages(0, encoded.size());
    }
    if (!result) {
        // A decoder that fails once fails again: remember it, log it once.
        failed = true;
        core::log("Warning, unable to decode {} image ({} x {}): {}", formatName(header.format), header.width,
            header.height, failure);
        return {};
    }
    decoded = result;
    decodedDenominator = header.format == ImageFormat::JPEG ? denominator : 1;
    return decoded;
}

Image::Image(std::unique_ptr<Storage> storage)
    : m_storage(std::move(storage))
{
}

Image::~Image() = default;

std::shared_ptr<Image> Image::imageWithContentsOfFile(const std::string& path, float scale)
{
    return imageWithContentsOfFileWithin(path, {}, nullptr, scale);
}

std::shared_ptr<Image> Image::imageWithContentsOfFileWithin(
    const std::string& path, const std::string& folder, core::Error* unread, float scale)
{
    core::Data bytes;
    core::Error error;
    if (!core::fs::readFileWithin(path, folder, bytes, &error)) {
        core::log("Warning, unable to read image {}: {}", path, error);
        core::setError(unread, std::move(error));
        return nullptr;
    }
    return imageWithData(bytes, scale);
}

bool Image::canDecodeMIMEType(std::string_view mimeType)
{
    static constexpr std::string_view decoded[] = { "image/jpeg", "image/pjpeg", "image/jpg", "image/png", "image/x-png",
        "image/gif", "image/tiff", "image/bmp", "image/x-bmp", "image/x-ms-bmp", "image/webp", "image/svg+xml" };
    std::string lower;
    for (char c : mimeType)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    return std::find(std::begin(decoded), std::end(decoded), lower) != std::end(decoded);
}

std::shared_ptr<Image> Image::imageWithData(const core::Data& data, float scale)
{
    auto header = codecs::readHeader(data.view());
    if (!header) {
        core::log("Warning, not an image of a known kind ({} bytes)", data.size());
        return nullptr;
    }
    auto storage = std::make_unique<Storage>();
    storage->encoded = data;
    storage->header = *header;
    storage->scale = sanitizedScale(scale);
    return std::shared_ptr<Image>(new Image(std::move(storage)));
}

Size Image::size() const
{
    const auto& header = m_storage->header;
    float width = float(header.width) / m_storage->scale;
    float height = float(header.height) / m_storage->scale;
    if (swapsSides(header.orientation))
        std::swap(width, height);
    return { width, height };
}

float Image::scale() const
{
    return m_storage->scale;
}

ImageOrientation Image::imageOrientation() const
{
    return m_storage->header.orientation;
}

ImageFormat Image::format() const
{
    return m_storage->header.format;
}

int Image::pixelWidth() const
{
    return m_storage->header.width;
}

int Image::pixelHeight() const
{
    return m_storage->header.height;
}

bool Image::decode() const
{
    return bool(m_storage->decode(1));
}

std::optional<std::string> Image::jpegRepresentation(float quality) const
{
    codecs::Surface pixels = ImageAccess::uprightPixels(*this);
    if (!pixels)
        return std::nullopt;
    float clamped = std::isfinite(quality) ? std::clamp(quality, 0.0f, 1.0f) : 0.0f;
    return codecs::encodeJPEG(pixels, int(std::lround(clamped * 100)));
}

bool Image::hasTransparency() const
{
    codecs::Surface pixels = ImageAccess::uprightPixels(*this);
    if (!pixels)
        return false;
    pixels.flush();
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* words = reinterpret_cast<const uint32_t*>(pixels.row(y));
        for (int x = 0; x < pixels.width(); ++x)
            if ((words[x] >> 24) != 0xFF)
                return true;
    }
    return false;
}

std::optional<std::string> Image::pngRepresentation() const
{
    codecs::Surface pixels = ImageAccess::uprightPixels(*this);
    if (!pixels)
        return std::nullopt;
    return codecs::encodePNG(pixels);
}

static bool writeRepresentation(const std::optional<std::string>& bytes, const std::string& path, core::Error* error)
{
    if (!bytes) {
        core::setError(error, core::Error::posix(EINVAL));
        return false;
    }
    return core::fs::writeFileAtomically(path, *bytes, error);
}

bool Image::writeJPEG(const std::string& path, float quality, core::Error* error) const
{
    return writeRepresentation(jpegRepresentation(quality), path, error);
}

bool Image::writePNG(const std::string& path, core::Error* error) const
{
    return writeRepresentation(pngRepresentation(), path, error);
}

std::string Image::description() const
{
    Size points = size();
    return fmt::format("<{} {}> {{{}, {}}}", className(), static_cast<const void*>(this), points.width, points.height);
}

const core::Data& ImageAccess::encodedData(const Image& image)
{
    return image.m_storage->encoded;
}

codecs::Surface ImageAccess::pixels(const Image& image, double fraction)
{
    return image.m_storage->decode(denominatorFor(fraction));
}

std::shared_ptr<Image> Image::imageWithOpaquePixels(int width, int height, size_t bytesPerRow, const uint8_t* pixels,
    float scale)
{
    if (!pixels || width <= 0 || height <= 0 || bytesPerRow < size_t(width) * 4
        || int64_t(width) * height > (int64_t(1) << 28))
        return nullptr;
    codecs::Surface surface = codecs::Surface::createUncleared(width, height);
    if (!surface)
        return nullptr;
    // The padding byte becomes opaque alpha, as ARGB32 wants; four pixels at
    // a time (a movie frame each 1/30 s passes here).
    using FourPixels = uint32_t __attribute__((vector_size(16)));
    for (int y = 0; y < height; ++y) {
        const uint8_t* source = pixels + size_t(y) * bytesPerRow;
        uint8_t* target = surface.row(y);
        int x = 0;
        for (; x + 4 <= width; x += 4) {
            FourPixels four;
            std::memcpy(&four, source + size_t(x) * 4, sizeof four);
            four |= 0xFF000000u;
            std::memcpy(target + size_t(x) * 4, &four, sizeof four);
        }
        for (; x < width; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, source + size_t(x) * 4, sizeof pixel);
            pixel |= 0xFF000000u;
            std::memcpy(target + size_t(x) * 4, &pixel, sizeof pixel);
        }
    }
    surface.markDirty();
    return ImageAccess::imageWithPixels(std::move(surface), scale, ImageOrientation::Up);
}

bool Image::copyPixels(uint8_t* to, size_t bytesPerRow) const
{
    codecs::Surface surface = ImageAccess::pixels(*this, 1);
    if (!surface || bytesPerRow < size_t(surface.width()) * 4)
        return false;
    for (int y = 0; y < surface.height(); ++y)
        std::memcpy(to + size_t(y) * bytesPerRow, surface.row(y), size_t(surface.width()) * 4);
    return true;
}

std::shared_ptr<Image> ImageAccess::imageWithPixels(codecs::Surface pixels, float scale, ImageOrientation orientation)
{
    if (!pixels)
        return nullptr;
    auto storage = std::make_unique<Image::Storage>();
    storage->header = { ImageFormat::Bitmap, pixels.width(), pixels.height(), orientation };
    storage->scale = sanitizedScale(scale);
    storage->decoded = std::move(pixels);
    storage->decodedDenominator = 1;
    return std::shared_ptr<Image>(new Image(std::move(storage)));
}

codecs::Surface ImageAccess::uprightPixels(const Image& image)
{
    codecs::Surface stored = pixels(image, 1);
    ImageOrientation orientation = image.imageOrientation();
    if (!stored || orientation == ImageOrientation::Up)
        return stored;
    int width = stored.width(), height = stored.height();
    if (swapsSides(orientation))
        std::swap(width, height);
    codecs::Surface upright = codecs::Surface::create(width, height);
    if (!upright)
        return {};
    AffineTransform t = orientationTransform(orientation, stored.width(), stored.height());
    cairo_t* cairo = cairo_create(upright.get());
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_transform(cairo, &matrix);
    cairo_set_source_surface(cairo, stored.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_NEAREST);
    cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cairo);
    cairo_destroy(cairo);
    cairo_surface_flush(upright.get());
    return upright;
}

bool swapsSides(ImageOrientation orientation)
{
    switch (orientation) {
    case ImageOrientation::Left:
    case ImageOrientation::Right:
    case ImageOrientation::LeftMirrored:
    case ImageOrientation::RightMirrored:
        return true;
    default:
        return false;
    }
}

AffineTransform orientationTransform(ImageOrientation orientation, double width, double height)
{
    float w = float(width), h = float(height);
    switch (orientation) {
    case ImageOrientation::Up: return AffineTransform::identity();
    case ImageOrientation::UpMirrored: return { -1, 0, 0, 1, w, 0 };
    case ImageOrientation::Down: return { -1, 0, 0, -1, w, h };
    case ImageOrientation::DownMirrored: return { 1, 0, 0, -1, 0, h };
    case ImageOrientation::LeftMirrored: return { 0, 1, 1, 0, 0, 0 };
    case ImageOrientation::Right: return { 0, 1, -1, 0, h, 0 };
    case ImageOrientation::RightMirrored: return { 0, -1, -1, 0, h, w };
    case ImageOrientation::Left: return { 0, -1, 1, 0, 0, w };
    }
    return AffineTransform::identity();
}

} // namespace gfx
