#include "Platform/Graphics/BitmapContext.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Graphics/ImageInternal.h"

#include <cairo.h>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace gfx {

namespace {

using codecs::kMaximumPixels;
constexpr int kMaximumSide = 32767;

cairo_surface_t* surfaceOf(void* surface)
{
    return static_cast<cairo_surface_t*>(surface);
}

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

std::unique_ptr<BitmapContext> BitmapContext::create(int width, int height, size_t bytesPerRow)
{
    return make(width, height, bytesPerRow, AffineTransform { 1, 0, 0, -1, 0, float(height) });
}

std::unique_ptr<BitmapContext> makeImageContext(Size size, float scale)
{
    if (!std::isfinite(scale) || scale <= 0 || !std::isfinite(size.width) || !std::isfinite(size.height)
        || size.width <= 0 || size.height <= 0)
        return nullptr;
    double width = std::ceil(double(size.width) * scale), height = std::ceil(double(size.height) * scale);
    if (width * height > double(kMaximumPixels))
        return nullptr;
    return BitmapContext::make(int(width), int(height), 0, AffineTransform::scale(scale, scale));
}

std::unique_ptr<BitmapContext> BitmapContext::make(int width, int height, size_t bytesPerRow, const AffineTransform& base)
{
    // cairo holds no image over 32,767 pixels a side: such a size is
    // refused before its memory is taken.
    if (width <= 0 || height <= 0 || width > kMaximumSide || height > kMaximumSide
        || int64_t(width) * height > kMaximumPixels)
        return nullptr;
    size_t minimum = size_t(width) * 4;
    if (bytesPerRow == 0)
        bytesPerRow = minimum;
    if (bytesPerRow < minimum || bytesPerRow % 4 != 0 || bytesPerRow > size_t(INT32_MAX) / size_t(height))
        return nullptr;
    // cairo allocates the pixels itself only at its own stride; any other
    // stride gets memory of ours, cleared, owned by the surface.
    auto* pixels = static_cast<unsigned char*>(calloc(bytesPerRow, size_t(height)));
    if (!pixels)
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_ARGB32, width, height, int(bytesPerRow));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        free(pixels);
        return nullptr;
    }
    static cairo_user_data_key_t pixelsKey;
    cairo_surface_set_user_data(surface, &pixelsKey, pixels, free);
    cairo_t* cairo = cairo_create(surface);
    return std::unique_ptr<BitmapContext>(new BitmapContext(surface, cairo, width, height, bytesPerRow, base));
}

BitmapContext::BitmapContext(void* surface, void* cairoContext, int width, int height, size_t bytesPerRow,
    const AffineTransform& base)
    : Context(cairoContext, base)
    , m_surface(surface)
    , m_width(width)
    , m_height(height)
    , m_bytesPerRow(bytesPerRow)
{
}

BitmapContext::~BitmapContext()
{
    cairo_surface_destroy(surfaceOf(m_surface));
}

Pixel BitmapContext::pixelAt(int column, int row) const
{
    if (column < 0 || row < 0 || column >= m_width || row >= m_height)
        return {};
    cairo_surface_flush(surfaceOf(m_surface));
    const unsigned char* data = cairo_image_surface_get_data(surfaceOf(m_surface));
    uint32_t value;
    std::memcpy(&value, data + size_t(row) * m_bytesPerRow + size_t(column) * 4, 4);
    return { uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value), uint8_t(value >> 24) };
}

bool BitmapContext::writePNG(const std::string& path, core::Error* error) const
{
    cairo_surface_flush(surfaceOf(m_surface));
    std::string bytes;
    if (cairo_surface_write_to_png_stream(surfaceOf(m_surface), appendToString, &bytes) != CAIRO_STATUS_SUCCESS) {
        core::setError(error, core::Error::posix(EIO));
        return false;
    }
    return core::fs::writeFileAtomically(path, bytes, error);
}

std::shared_ptr<Image> BitmapContext::makeImage() const
{
    cairo_surface_flush(surfaceOf(m_surface));
    codecs::Surface copy = codecs::Surface::create(m_width, m_height);
    if (!copy)
        return nullptr;
    const unsigned char* source = cairo_image_surface_get_data(surfaceOf(m_surface));
    for (int y = 0; y < m_height; ++y)
        std::memcpy(copy.row(y), source + size_t(y) * m_bytesPerRow, size_t(m_width) * 4);
    copy.markDirty();
    return ImageAccess::imageWithPixels(std::move(copy), contentScale(), ImageOrientation::Up);
}

} // namespace gfx
