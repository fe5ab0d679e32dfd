#pragma once

// For the graphics layer's own code (and its fuzz target): the readers of
// image headers, the decoders and the encoders behind gfx::Image. Decoders
// never print or exit; they answer an empty surface and, through `failure`,
// the reason, which the caller logs once.

#include "Platform/Graphics/Image.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

typedef struct _cairo_surface cairo_surface_t;

namespace gfx::codecs {

// Pixel buffers from this size up are mapped, not taken from the heap.
constexpr size_t kMappedPixelBytes = size_t(1) << 20;

// Decoded pixels: a cairo ARGB32 surface (premultiplied, native-endian words),
// owned and shared by reference count.
class Surface {
public:
    Surface() = default;
    // Takes the caller's reference.
    explicit Surface(cairo_surface_t* surface);
    // Makes a new surface of cleared pixels; empty when it cannot be had.
    // Pixels of kMappedPixelBytes or more are a mapping of their own, given
    // back to the system when the surface goes.
    static Surface create(int width, int height);
    // The same without clearing its pixels, for a caller that writes every
    // one of them at once (a movie frame each 1/30 s).
    static Surface createUncleared(int width, int height);
    Surface(const Surface& other);
    Surface& operator=(Surface other);
    ~Surface();

    explicit operator bool() const { return m_surface != nullptr; }
    cairo_surface_t* get() const { return m_surface; }
    int width() const;
    int height() const;
    int stride() const;
    // The first byte of `row`, for writing before the surface is drawn.
    uint8_t* row(int row) const;
    // Tells cairo the pixels were written directly.
    void markDirty() const;
    // Finishes cairo's drawing before the pixels are read directly.
    void flush() const;

private:
    cairo_surface_t* m_surface = nullptr;
};

// Told, now and then, that the bytes from `offset` on for `length` are read
// and not needed again: a file mapping can let their pages go.
using BytesDone = std::function<void(size_t offset, size_t length)>;

// Bytes handed out front to back, for decoders that pull their input.
struct ByteReader {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t offset = 0;
    BytesDone done;
    size_t doneUpTo = 0;

    explicit ByteReader(std::string_view data, BytesDone done = {})
        : bytes(reinterpret_cast<const uint8_t*>(data.data()))
        , size(data.size())
        , done(std::move(done))
    {
    }
    // Copies up to `length` bytes; answers how many.
    size_t read(void* buffer, size_t length);
};

struct Header {
    ImageFormat format = ImageFormat::Unknown;
    int width = 0;
    int height = 0;
    ImageOrientation orientation = ImageOrientation::Up;
};

// The most pixels any decoder makes in one image (1 GiB of pixels).
constexpr int64_t kMaximumPixels = int64_t(1) << 28;

// Format by magic bytes, pixel size and orientation, without decoding.
std::optional<Header> readHeader(std::string_view bytes);

// The orientation an Exif block gives ("Exif\0\0" and a TIFF structure, as
// in a JPEG APP1 segment); Up when it has none or cannot be read.
ImageOrientation exifOrientation(std::string_view exif);
// Orientation of an EXIF/TIFF tag value 1…8; anything else is Up.
ImageOrientation orientationFromTagValue(int value);

// Each decoder refuses more than `pixelLimit` pixels before allocating.
// JPEG decodes at 1/denominator of its size (1, 2, 4 or 8), rounded up.
Surface decodeJPEG(std::string_view bytes, int denominator, int64_t pixelLimit, std::string* failure);
Surface decodePNG(std::string_view bytes, int64_t pixelLimit, std::string* failure);
Surface decodeGIF(std::string_view bytes, int64_t pixelLimit, std::string* failure);
Surface decodeTIFF(std::string_view bytes, int64_t pixelLimit, std::string* failure);
Surface decodeBMP(std::string_view bytes, int64_t pixelLimit, std::string* failure);
Surface decodeWebP(std::string_view bytes, int64_t pixelLimit, std::string* failure);
// An SVG document drawn at its own size (librsvg).
Surface decodeSVG(std::string_view bytes, int64_t pixelLimit, std::string* failure);

// Part of a picture, in its stored pixels, and the smaller size to read it
// at (at most the part's own size).
struct RegionRequest {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int outputWidth = 0;
    int outputHeight = 0;
    // As a decoder that pulls its bytes goes through them.
    BytesDone bytesDone {};
};

// The part read row by row and reduced as the rows come, never holding the
// picture whole: a PNG stops after the part's last row (an interlaced one
// fails with "interlaced": it must be decoded whole); a JPEG decodes at the
// smallest DCT scale that still covers the size and skips the rows above.
Surface decodePNGRegion(std::string_view bytes, const RegionRequest& request, int64_t pixelLimit, std::string* failure);
Surface decodeJPEGRegion(std::string_view bytes, const RegionRequest& request, int64_t pixelLimit, std::string* failure);
// libwebp crops and scales as it decodes (a crop's left and top edges on
// even pixels), holding a few rows.
Surface decodeWebPRegion(std::string_view bytes, const RegionRequest& request, int64_t pixelLimit, std::string* failure);
// An SVG document's part drawn at the output size, whatever the document's.
Surface decodeSVGRegion(std::string_view bytes, const RegionRequest& request, int64_t pixelLimit, std::string* failure);

// Libraries' header readers, for readHeader().
std::optional<Header> readJPEGHeader(std::string_view bytes);
std::optional<Header> readTIFFHeader(std::string_view bytes);
std::optional<Header> readWebPHeader(std::string_view bytes);
// Text that opens with markup and names an <svg> element near its start.
bool looksLikeSVG(std::string_view bytes);
std::optional<Header> readSVGHeader(std::string_view bytes);

// Encoders of upright pixels (no orientation, no EXIF); nothing on failure.
// JPEG quality is libjpeg's 0…100.
std::optional<std::string> encodeJPEG(const Surface& pixels, int quality);
std::optional<std::string> encodePNG(const Surface& pixels);

// Row conversions into the surface's premultiplied words.
void storeRGBA(uint8_t* destination, const uint8_t* rgba, int count);
void storeRGB(uint8_t* destination, const uint8_t* rgb, int count);
// Premultiplies a row of straight-alpha native ARGB words in place.
void premultiply(uint8_t* row, int count);
// One premultiplied native word from straight components.
uint32_t premultipliedWord(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);

} // namespace gfx::codecs
