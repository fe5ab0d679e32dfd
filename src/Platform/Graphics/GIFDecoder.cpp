// GIF through giflib: the first frame, placed on the logical screen (the rest
// transparent), read record by record so that later frames are never loaded.

#include "Platform/Graphics/ImageCodecs.h"

#include <cstring>
#include <memory>
#include <gif_lib.h>
#include <vector>

namespace gfx::codecs {

namespace {

int readGIFBytes(GifFileType* gif, GifByteType* buffer, int length)
{
    return int(static_cast<ByteReader*>(gif->UserData)->read(buffer, size_t(length > 0 ? length : 0)));
}

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// The rows of an interlaced frame in the order they are stored.
std::vector<int> rowOrder(int height, bool interlaced)
{
    std::vector<int> rows;
    rows.reserve(size_t(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    constexpr int starts[] = { 0, 4, 2, 1 }, steps[] = { 8, 8, 4, 2 };
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = starts[pass]; y < height; y += steps[pass])
            rows.push_back(y);
    }
    return rows;
}

} // namespace

Surface decodeGIF(std::string_view bytes, int64_t pixelLimit, std::string* failure)
{
    auto fail = [failure](const char* reason) {
        if (failure)
            *failure = reason;
        return Surface();
    };
    ByteReader reader(bytes);
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, readGIFBytes, &error));
    if (!gif)
        return fail("not a GIF");
    if (gif->SWidth <= 0 || gif->SHeight <= 0 || int64_t(gif->SWidth) * gif->SHeight > pixelLimit)
        return fail("bad screen size");
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return fail("damaged record");
        if (type == TERMINATE_RECORD_TYPE)
            return fail("no frame");
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* extension = nullptr;
            if (DGifGetExtension(gif.get(), &code, &extension) == GIF_ERROR)
                return fail("damaged extension");
            if (code == GRAPHICS_EXT_FUNC_CODE && extension && extension[0] >= 4 && (extension[1] & 1))
                transparent = extension[4];
            while (extension) {
                if (DGifGetExtensionNext(gif.get(), &extension) == GIF_ERROR)
                    return fail("damaged extension");
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
            return fail("damaged frame");
        const GifImageDesc& frame = gif->Image;
        ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
        if (!colours || !colours->Colors || frame.Width <= 0 || frame.Height <= 0)
            return fail("frame without colours");
        Surface surface = Surface::create(gif->SWidth, gif->SHeight);
        if (!surface)
            return fail("out of memory");
        std::memset(surface.row(0), 0, size_t(surface.stride()) * size_t(surface.height()));
        std::vector<GifPixelType> line(size_t(frame.Width));
        for (int row : rowOrder(frame.Height, frame.Interlace)) {
            if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR)
                return fail("damaged pixels");
            int y = frame.Top + row;
            if (y < 0 || y >= gif->SHeight)
                continue;
            uint8_t* destination = surface.row(y);
            for (int x = 0; x < frame.Width; ++x) {
                int column = frame.Left + x;
                if (column < 0 || column >= gif->SWidth || line[size_t(x)] == transparent
                    || line[size_t(x)] >= colours->ColorCount)
                    continue;
                const GifColorType& colour = colours->Colors[line[size_t(x)]];
                uint32_t word = 0xFF000000u | uint32_t(colour.Red) << 16 | uint32_t(colour.Green) << 8 | colour.Blue;
                std::memcpy(destination + size_t(column) * 4, &word, 4);
            }
        }
        surface.markDirty();
        return surface;
    }
}

} // namespace gfx::codecs
