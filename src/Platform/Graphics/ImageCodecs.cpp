#include "Platform/Graphics/ImageCodecs.h"

#include <cairo.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <libexif/exif-data.h>
#include <sys/mman.h>

namespace gfx::codecs {

Surface::Surface(cairo_surface_t* surface)
    : m_surface(surface)
{
}

Surface Surface::create(int width, int height)
{
    if (width <= 0 || height <= 0 || int64_t(width) * height > kMaximumPixels)
        return {};
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (stride <= 0)
        return {};
    const size_t length = size_t(stride) * size_t(height);
    if (length < kMappedPixelBytes) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(surface);
            return {};
        }
        return Surface(surface);
    }
    // Pages of their own, cleared by the system: when the picture goes they
    // go back at once, never a hole in a thread's heap that only a trim
    // gives back.
    void* pixels = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pixels == MAP_FAILED)
        return {};
    struct Mapping {
        void* pixels;
        size_t length;
    };
    auto* mapping = new Mapping { pixels, length };
    static cairo_user_data_key_t mappingKey;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels),
        CAIRO_FORMAT_ARGB32, width, height, stride);
    auto unmap = [](void* data) {
        auto* mapped = static_cast<Mapping*>(data);
        munmap(mapped->pixels, mapped->length);
        delete mapped;
    };
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS
        || cairo_surface_set_user_data(surface, &mappingKey, mapping, unmap) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        unmap(mapping);
        return {};
    }
    return Surface(surface);
}

Surface Surface::createUncleared(int width, int height)
{
    if (width <= 0 || height <= 0 || int64_t(width) * height > kMaximumPixels)
        return {};
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (stride <= 0)
        return {};
    auto* pixels = static_cast<unsigned char*>(std::malloc(size_t(stride) * size_t(height)));
    if (!pixels)
        return {};
    // The surface frees its pixels when it goes.
    static cairo_user_data_key_t pixelsKey;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_ARGB32, width, height, stride);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS
        || cairo_surface_set_user_data(surface, &pixelsKey, pixels, std::free) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        std::free(pixels);
        return {};
    }
    return Surface(surface);
}

Surface::Surface(const Surface& other)
    : m_surface(other.m_surface ? cairo_surface_reference(other.m_surface) : nullptr)
{
}

Surface& Surface::operator=(Surface other)
{
    std::swap(m_surface, other.m_surface);
    return *this;
}

Surface::~Surface()
{
    if (m_surface)
        cairo_surface_destroy(m_surface);
}

int Surface::width() const
{
    return m_surface ? cairo_image_surface_get_width(m_surface) : 0;
}

int Surface::height() const
{
    return m_surface ? cairo_image_surface_get_height(m_surface) : 0;
}

int Surface::stride() const
{
    return m_surface ? cairo_image_surface_get_stride(m_surface) : 0;
}

uint8_t* Surface::row(int row) const
{
    return cairo_image_surface_get_data(m_surface) + size_t(row) * size_t(stride());
}

void Surface::markDirty() const
{
    cairo_surface_mark_dirty(m_surface);
}

void Surface::flush() const
{
    cairo_surface_flush(m_surface);
}

size_t ByteReader::read(void* buffer, size_t length)
{
    size_t count = std::min(length, size - offset);
    if (count == 0)
        return 0;
    std::memcpy(buffer, bytes + offset, count);
    offset += count;
    // Every few megabytes, not at each of the decoder's small reads.
    if (done && offset - doneUpTo >= (size_t(8) << 20)) {
        done(doneUpTo, offset - doneUpTo);
        doneUpTo = offset;
    }
    return count;
}

uint32_t premultipliedWord(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha)
{
    if (alpha != 255) {
        // Rounded division by 255.
        auto times = [alpha](uint8_t c) -> uint32_t {
            uint32_t t = uint32_t(c) * alpha + 128;
            return (t + (t >> 8)) >> 8;
        };
        red = uint8_t(times(red));
        green = uint8_t(times(green));
        blue = uint8_t(times(blue));
    }
    return uint32_t(alpha) << 24 | uint32_t(red) << 16 | uint32_t(green) << 8 | blue;
}

void storeRGBA(uint8_t* destination, const uint8_t* rgba, int count)
{
    for (int i = 0; i < count; ++i, rgba += 4, destination += 4) {
        uint32_t word = premultipliedWord(rgba[0], rgba[1], rgba[2], rgba[3]);
        std::memcpy(destination, &word, 4);
    }
}

void storeRGB(uint8_t* destination, const uint8_t* rgb, int count)
{
    for (int i = 0; i < count; ++i, rgb += 3, destination += 4) {
        uint32_t word = 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
        std::memcpy(destination, &word, 4);
    }
}

void premultiply(uint8_t* row, int count)
{
    for (int i = 0; i < count; ++i, row += 4) {
        uint32_t word;
        std::memcpy(&word, row, 4);
        uint8_t alpha = uint8_t(word >> 24);
        if (alpha == 255)
            continue;
        word = premultipliedWord(uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word), alpha);
        std::memcpy(row, &word, 4);
    }
}

ImageOrientation orientationFromTagValue(int value)
{
    switch (value) {
    case 2: return ImageOrientation::UpMirrored;
    case 3: return ImageOrientation::Down;
    case 4: return ImageOrientation::DownMirrored;
    case 5: return ImageOrientation::LeftMirrored;
    case 6: return ImageOrientation::Right;
    case 7: return ImageOrientation::RightMirrored;
    case 8: return ImageOrientation::Left;
    default: return ImageOrientation::Up;
    }
}

ImageOrientation exifOrientation(std::string_view exif)
{
    // libexif takes at most 64 KiB, a segment's size; it is given no more.
    if (exif.size() < 14 || exif.size() > 0xFFFF || exif.substr(0, 6) != std::string_view("Exif\0\0", 6))
        return ImageOrientation::Up;
    ExifData* data = exif_data_new();
    if (!data)
        return ImageOrientation::Up;
    // Maker notes are vendor formats: not needed, not parsed.
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(data, EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_load_data(data, reinterpret_cast<const unsigned char*>(exif.data()), unsigned(exif.size()));
    int value = 1;
    if (ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION)) {
        if (entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data && entry->size >= 2)
            value = exif_get_short(entry->data, exif_data_get_byte_order(data));
    }
    exif_data_unref(data);
    return orientationFromTagValue(value);
}

namespace {

uint32_t bigEndian32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

int32_t littleEndian32(const unsigned char* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

std::optional<Header> readPNGHeader(std::string_view bytes)
{
    // Signature, then the IHDR chunk: length, type, width, height.
    if (bytes.size() < 24 || bytes.substr(12, 4) != "IHDR")
        return std::nullopt;
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    uint32_t width = bigEndian32(p + 16), height = bigEndian32(p + 20);
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        return std::nullopt;
    return Header { ImageFormat::PNG, int(width), int(height), ImageOrientation::Up };
}

std::optional<Header> readGIFHeader(std::string_view bytes)
{
    if (bytes.size() < 10)
        return std::nullopt;
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    int width = p[6] | p[7] << 8, height = p[8] | p[9] << 8;
    if (width == 0 || height == 0)
        return std::nullopt;
    return Header { ImageFormat::GIF, width, height, ImageOrientation::Up };
}

std::optional<Header> readBMPHeader(std::string_view bytes)
{
    if (bytes.size() < 26)
        return std::nullopt;
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    int32_t headerSize = littleEndian32(p + 14);
    int64_t width, height;
    if (headerSize == 12) {
        width = p[18] | p[19] << 8;
        height = p[20] | p[21] << 8;
    } else if (headerSize >= 40 && bytes.size() >= 14 + 40) {
        width = littleEndian32(p + 18);
        height = littleEndian32(p + 22);
        if (height < 0)
            height = -height; // rows stored top-down
    } else {
        return std::nullopt;
    }
    if (width <= 0 || height <= 0 || height > INT32_MAX)
        return std::nullopt;
    return Header { ImageFormat::BMP, int(width), int(height), ImageOrientation::Up };
}

bool startsWith(std::string_view bytes, std::string_view magic)
{
    return bytes.substr(0, magic.size()) == magic;
}

} // namespace

std::optional<Header> readHeader(std::string_view bytes)
{
    if (startsWith(bytes, "\xFF\xD8\xFF"))
        return readJPEGHeader(bytes);
    if (startsWith(bytes, "\x89PNG\r\n\x1A\n"))
        return readPNGHeader(bytes);
    if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a"))
        return readGIFHeader(bytes);
    if (startsWith(bytes, std::string_view("II*\0", 4)) || startsWith(bytes, std::string_view("MM\0*", 4)))
        return readTIFFHeader(bytes);
    if (startsWith(bytes, "BM"))
        return readBMPHeader(bytes);
    if (startsWith(bytes, "RIFF") && bytes.size() >= 12 && bytes.substr(8, 4) == "WEBP")
        return readWebPHeader(bytes);
    if (looksLikeSVG(bytes))
        return readSVGHeader(bytes);
    return std::nullopt;
}

} // namespace gfx::codecs
