#pragma once

// An immutable picture, shared between threads. Made from a file or bytes it
// reads only the header (format, pixel size, orientation) and decodes its
// pixels on first draw, so that listing, sizing and refusing large images
// costs nothing; made from a context it holds the pixels already.

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Graphics/Geometry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace gfx {

// The device's orientation numbers: how the stored pixels turn to show
// upright. Left and right ones swap width and height.
enum class ImageOrientation {
    Up = 0,
    Down = 1,
    Left = 2,
    Right = 3,
    UpMirrored = 4,
    DownMirrored = 5,
    LeftMirrored = 6,
    RightMirrored = 7,
};

enum class ImageFormat { Unknown, JPEG, PNG, GIF, TIFF, BMP, WebP, SVG, Bitmap };

class Image : public core::Object {
public:
    // Nothing (one log line) when the file cannot be read or is no image of
    // a known format with a non-zero size.
    static std::shared_ptr<Image> imageWithContentsOfFile(const std::string& path, float scale = 1);
    // The same, for a file that must lie inside `folder` (links resolved,
    // fs::openRegularFileWithin); `unread` says why a file was not read.
    static std::shared_ptr<Image> imageWithContentsOfFileWithin(
        const std::string& path, const std::string& folder, core::Error* unread = nullptr, float scale = 1);
    static std::shared_ptr<Image> imageWithData(const core::Data& data, float scale = 1);
    // Whether files of the MIME type are pictures the decoders read (JPEG,
    // PNG, GIF, TIFF, BMP, WebP) or draw (SVG, "image/svg+xml").
    static bool canDecodeMIMEType(std::string_view mimeType);
    // A copy of opaque pixels in native-endian 32-bit words, 0x00RRGGBB
    // (cairo's RGB24; BGRx bytes on little-endian), rows `bytesPerRow`
    // apart: a video frame. Nothing for an empty size, a row shorter than
    // the width or over 2^28 pixels.
    static std::shared_ptr<Image> imageWithOpaquePixels(int width, int height, size_t bytesPerRow,
        const uint8_t* pixels, float scale = 1);
    // Its stored pixels as imageWithOpaquePixels takes them, rows
    // `bytesPerRow` apart (at least 4 × pixelWidth()); false when they
    // cannot be had.
    bool copyPixels(uint8_t* to, size_t bytesPerRow) const;
    ~Image() override;

    // In points: pixels over scale, width and height swapped for the left
    // and right orientations.
    Size size() const;
    float scale() const;
    ImageOrientation imageOrientation() const;
    ImageFormat format() const;
    // The bitmap as stored, before orientation.
    int pixelWidth() const;
    int pixelHeight() const;

    // Decodes the pixels now (say on a worker, before the main thread draws);
    // false, with one log line, when they cannot be had. Images over 2^28
    // pixels are never decoded.
    bool decode() const;
    // Whether any pixel is less than opaque (decodes them); false when they
    // cannot be had.
    bool hasTransparency() const;

    // Upright pixels (orientation applied) encoded: JPEG at quality 0…1
    // (libjpeg's round(100 × quality)), or PNG with alpha. Nothing when the
    // image cannot be decoded.
    std::optional<std::string> jpegRepresentation(float quality) const;
    std::optional<std::string> pngRepresentation() const;
    // The same, written through a temporary file beside `path` and a rename.
    bool writeJPEG(const std::string& path, float quality, core::Error* error = nullptr) const;
    bool writePNG(const std::string& path, core::Error* error = nullptr) const;

    // "<Image 0x…> {width, height}".
    std::string description() const override;

    struct Storage;

private:
    friend struct ImageAccess;
    explicit Image(std::unique_ptr<Storage> storage);
    std::unique_ptr<Storage> m_storage;
};

} // namespace gfx
