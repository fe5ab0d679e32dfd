// JPEG through libjpeg-turbo: the header walked by hand (no decoder state for
// a size), pixels decoded at a reduced DCT scale where a small target allows,
// errors turned into a jump back instead of an exit.

#include "Platform/Graphics/ImageCodecs.h"
#include "Platform/Graphics/RowReducer.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace gfx::codecs {

std::optional<Header> readJPEGHeader(std::string_view bytes)
{
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t size = bytes.size(), offset = 2;
    ImageOrientation orientation = ImageOrientation::Up;
    bool sawExif = false;
    while (offset + 4 <= size) {
        if (p[offset] != 0xFF)
            return std::nullopt;
        unsigned char marker = p[offset + 1];
        if (marker == 0xFF) { // fill byte
            ++offset;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            offset += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) // end of image, start of scan: no frame header before
            return std::nullopt;
        size_t length = size_t(p[offset + 2]) << 8 | p[offset + 3];
        if (length < 2 || offset + 2 + length > size)
            return std::nullopt;
        const unsigned char* segment = p + offset + 4;
        size_t segmentLength = length - 2;
        if (marker == 0xE1 && !sawExif && segmentLength >= 6 && std::memcmp(segment, "Exif\0\0", 6) == 0) {
            sawExif = true;
            orientation = exifOrientation({ reinterpret_cast<const char*>(segment), segmentLength });
        }
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (segmentLength < 5)
                return std::nullopt;
            int height = segment[1] << 8 | segment[2];
            int width = segment[3] << 8 | segment[4];
            if (width == 0 || height == 0)
                return std::nullopt;
            return Header { ImageFormat::JPEG, width, height, orientation };
        }
        offset += 2 + length;
    }
    return std::nullopt;
}

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool endOfData = false;
};

void exitByJump(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void noteMessage(j_common_ptr info, int level)
{
    // Warnings are kept quiet; a file or scan cut short is a failure, not a
    // grey lower half.
    if (level < 0 && (info->err->msg_code == JWRN_JPEG_EOF || info->err->msg_code == JWRN_HIT_MARKER))
        reinterpret_cast<ErrorManager*>(info->err)->endOfData = true;
}

void silence(j_common_ptr) { }

std::string messageOf(j_common_ptr info)
{
    char buffer[JMSG_LENGTH_MAX] = {};
    info->err->format_message(info, buffer);
    return buffer;
}

void installErrorManager(ErrorManager& errors, j_common_ptr info)
{
    info->err = jpeg_std_error(&errors.base);
    errors.base.error_exit = exitByJump;
    errors.base.emit_message = noteMessage;
    errors.base.output_message = silence;
}

// Adobe's CMYK JPEGs store inverted inks.
void storeCMYK(uint8_t* destination, const uint8_t* cmyk, int count, bool inverted)
{
    for (int i = 0; i < count; ++i, cmyk += 4, destination += 4) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        uint32_t word = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (y * k / 255);
        std::memcpy(destination, &word, 4);
    }
}

} // namespace

namespace {

// Everything a decode touches lives here, outside the frame that calls
// setjmp, so that nothing of it is lost when libjpeg jumps back.
struct Decoder {
    jpeg_decompress_struct info {};
    ErrorManager errors;
    Surface surface;
    std::vector<uint8_t> scratch;
    const char* refusal = nullptr;

    Decoder() { installErrorManager(errors, reinterpret_cast<j_common_ptr>(&info)); }
    ~Decoder() { jpeg_destroy_decompress(&info); }
};

// Reads the header and asks for native words at 1/denominator of the size
// (CMYK comes out as inks, converted by hand: answers true). Called where a
// jump back has been set.
bool startReading(Decoder& d, std::string_view bytes, int denominator, int64_t pixelLimit)
{
    jpeg_create_decompress(&d.info);
    // Progressive files keep every coefficient of the picture: bounded like
    // the pixels (libjpeg fails past it, having no backing store).
    d.info.mem->max_memory_to_use = long(std::max<int64_t>(int64_t(64) << 20, pixelLimit * 8));
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d.info, TRUE);
    bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    d.info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
#else
    d.info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_ARGB;
#endif
    d.info.scale_num = 1;
    d.info.scale_denom = denominator == 2 || denominator == 4 || denominator == 8 ? unsigned(denominator) : 1;
    d.info.dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(&d.info);
    return cmyk;
}

bool decompress(Decoder& d, std::string_view bytes, int denominator, int64_t pixelLimit)
{
    if (setjmp(d.errors.jump))
        return false;
    bool cmyk = startReading(d, bytes, denominator, pixelLimit);
    int64_t pixels = int64_t(d.info.output_width) * d.info.output_height;
    if (pixels == 0 || pixels > pixelLimit) {
        d.refusal = "too many pixels";
        return false;
    }
    d.surface = Surface::create(int(d.info.output_width), int(d.info.output_height));
    if (!d.surface) {
        d.refusal = "out of memory";
        return false;
    }
    if (cmyk)
        d.scratch.resize(size_t(d.info.output_width) * 4);
    jpeg_start_decompress(&d.info);
    while (d.info.output_scanline < d.info.output_height && !d.errors.endOfData) {
        uint8_t* destination = d.surface.row(int(d.info.output_scanline));
        JSAMPROW row = cmyk ? d.scratch.data() : destination;
        if (jpeg_read_scanlines(&d.info, &row, 1) != 1)
            break;
        if (cmyk)
            storeCMYK(destination, d.scratch.data(), int(d.info.output_width), d.info.saw_Adobe_marker);
    }
    if (d.errors.endOfData || d.info.output_scanline < d.info.output_height) {
        d.refusal = "premature end of data";
        return false;
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

// Reads the rows of a part at a reduced scale, skipping those above it and
// stopping after it, into the decoder's reducer.
struct RegionDecoder : Decoder {
    std::vector<uint8_t> row;
    std::unique_ptr<RowReducer> reducer;
};

bool decompressRegion(RegionDecoder& d, std::string_view bytes, const RegionRequest& request, int64_t pixelLimit)
{
    if (setjmp(d.errors.jump))
        return false;
    if (request.outputWidth <= 0 || request.outputHeight <= 0) {
        d.refusal = "no size";
        return false;
    }
    // The smallest DCT scale that still covers the size asked for.
    int denominator = 1;
    for (int candidate : { 8, 4, 2 }) {
        if (request.width / candidate >= request.outputWidth && request.height / candidate >= request.outputHeight) {
            denominator = candidate;
            break;
        }
    }
    bool cmyk = startReading(d, bytes, denominator, pixelLimit);
    int64_t width = d.info.image_width, height = d.info.image_height;
    if (width * height > pixelLimit || request.x < 0 || request.y < 0 || request.x + int64_t(request.width) > width
        || request.y + int64_t(request.height) > height) {
        d.refusal = "region outside the picture";
        return false;
    }
    // The part in the scaled rows and columns, rounded outward.
    int64_t scaledWidth = d.info.output_width, scaledHeight = d.info.output_height;
    int left = int(request.x * scaledWidth / width);
    int top = int(request.y * scaledHeight / height);
    int right = int(std::min(scaledWidth, ((request.x + int64_t(request.width)) * scaledWidth + width - 1) / width));
    int bottom = int(std::min(scaledHeight, ((request.y + int64_t(request.height)) * scaledHeight + height - 1) / height));
    d.reducer = std::make_unique<RowReducer>(left, top, right - left, bottom - top,
        std::min(request.outputWidth, right - left), std::min(request.outputHeight, bottom - top));
    if (!d.reducer->isValid()) {
        d.refusal = "out of memory";
        return false;
    }
    d.row.resize(size_t(scaledWidth) * 4);
    if (cmyk)
        d.scratch.resize(size_t(scaledWidth) * 4);
    jpeg_start_decompress(&d.info);
    if (top > 0)
        jpeg_skip_scanlines(&d.info, JDIMENSION(top));
    while (int(d.info.output_scanline) < bottom && !d.errors.endOfData) {
        int y = int(d.info.output_scanline);
        JSAMPROW row = cmyk ? d.scratch.data() : d.row.data();
        if (jpeg_read_scanlines(&d.info, &row, 1) != 1)
            break;
        if (cmyk)
            storeCMYK(d.row.data(), d.scratch.data(), int(scaledWidth), d.info.saw_Adobe_marker);
        d.reducer->addRow(y, d.row.data());
    }
    if (d.errors.endOfData || int(d.info.output_scanline) < bottom) {
        d.refusal = "premature end of data";
        return false;
    }
    jpeg_abort_decompress(&d.info);
    return true;
}

struct Encoder {
    jpeg_compress_struct info {};
    ErrorManager errors;
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    std::vector<uint8_t> row;

    Encoder()
    {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = exitByJump;
        errors.base.output_message = silence;
    }
    ~Encoder()
    {
        jpeg_destroy_compress(&info);
        free(buffer);
    }
};

bool compress(Encoder& e, const Surface& pixels, int quality)
{
    if (setjmp(e.errors.jump))
        return false;
    jpeg_create_compress(&e.info);
    jpeg_mem_dest(&e.info, &e.buffer, &e.length);
    e.info.image_width = JDIMENSION(pixels.width());
    e.info.image_height = JDIMENSION(pixels.height());
    e.info.input_components = 3;
    e.info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&e.info);
    jpeg_set_quality(&e.info, std::clamp(quality, 0, 100), TRUE);
    e.row.resize(size_t(pixels.width()) * 3);
    jpeg_start_compress(&e.info, TRUE);
    while (e.info.next_scanline < e.info.image_height) {
        // JPEG has no alpha: transparent parts come out black, as the
        // premultiplied colours say.
        const uint8_t* source = pixels.row(int(e.info.next_scanline));
        for (int x = 0; x < pixels.width(); ++x) {
            uint32_t word;
            std::memcpy(&word, source + size_t(x) * 4, 4);
            e.row[size_t(x) * 3] = uint8_t(word >> 16);
            e.row[size_t(x) * 3 + 1] = uint8_t(word >> 8);
            e.row[size_t(x) * 3 + 2] = uint8_t(word);
        }
        JSAMPROW rows[1] = { e.row.data() };
        jpeg_write_scanlines(&e.info, rows, 1);
    }
    jpeg_finish_compress(&e.info);
    return true;
}

} // namespace

Surface decodeJPEG(std::string_view bytes, int denominator, int64_t pixelLimit, std::string* failure)
{
    Decoder decoder;
    if (!decompress(decoder, bytes, denominator, pixelLimit)) {
        if (failure)
            *failure = decoder.refusal ? decoder.refusal : messageOf(reinterpret_cast<j_common_ptr>(&decoder.info));
        return {};
    }
    decoder.surface.markDirty();
    return decoder.surface;
}

Surface decodeJPEGRegion(std::string_view bytes, const RegionRequest& request, int64_t pixelLimit, std::string* failure)
{
    RegionDecoder decoder;
    Surface result;
    if (decompressRegion(decoder, bytes, request, pixelLimit))
        result = decoder.reducer->finish();
    if (!result && failure)
        *failure = decoder.refusal ? decoder.refusal : messageOf(reinterpret_cast<j_common_ptr>(&decoder.info));
    return result;
}

std::optional<std::string> encodeJPEG(const Surface& pixels, int quality)
{
    if (!pixels)
        return std::nullopt;
    pixels.flush();
    Encoder encoder;
    if (!compress(encoder, pixels, quality))
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(encoder.buffer), encoder.length);
}

} // namespace gfx::codecs
