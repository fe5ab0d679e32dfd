#include "Platform/Graphics/BitmapContext.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Graphics/ImageInternal.h"

#include <algorithm>
#include <cairo.h>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace gfx {

namespace {

using codecs::kMaximumPixels;
constexpr int kMaximumSide = 32767;

cairo_surface_t* surfaceOf(void* surface)
{
    return static_cast<cairo_surface_t*>(surface);
}

// Large pixel buffers are mapped from the system, not taken from the
// allocator: buffers of megabytes drawn on worker threads and freed on the
// main one (tiles) would stay in the workers' arenas, fragmented, and the
// process would grow with every page shown. Faulting fresh pages in costs
// several times a pass over them, so a few freed buffers are kept for the
// next of about their size (tiles come in few sizes), the most recently
// freed first kept. A kept buffer is cleared by a thread of its own to the
// pixel it last started as (the next of its kind mostly starts as that one
// too: a page's white), so that the next drawing does not wait for the
// pass over its megabytes; one taken before that, or for another pixel, is
// written with its pixel once, fresh or reused.
struct PixelMemory {
    static constexpr size_t MappedFrom = size_t(1) << 20;
    static constexpr size_t SpareCount = 4;
    static constexpr size_t SpareBytes = size_t(64) << 20;
    unsigned char* bytes;
    size_t size; // what the caller asked for
    size_t mapped; // the mapping's length; 0 for the allocator's memory
    uint32_t pixel; // what it started as

    struct Spare {
        unsigned char* bytes;
        size_t length;
        uint32_t pixel; // the pixel it is, or is to be cleared to
        bool cleared;
    };
    struct Spares {
        std::mutex mutex;
        std::condition_variable dirty; // a spare waits for clearing
        std::vector<Spare> buffers;
        size_t bytes = 0;
        bool clearing = false; // the clearing thread runs
        uint64_t releases = 0; // releaseSpareMemory calls: one cleared meanwhile is not kept
    };
    static Spares& spares()
    {
        static Spares* shared = new Spares; // never destroyed: surfaces may outlive exit handlers
        return *shared;
    }

    // Writes the pixel over the buffer at the speed of a memset: one
    // (white, transparent) whose four bytes are alike is one; another is
    // written into a block that is then copied on.
    static void fill(unsigned char* bytes, size_t size, uint32_t pixel)
    {
        unsigned char byte = static_cast<unsigned char>(pixel);
        if (pixel == byte * 0x01010101u) {
            std::memset(bytes, byte, size);
            return;
        }
        size_t block = std::min(size, size_t(64) << 10) / 4 * 4;
        std::fill_n(reinterpret_cast<uint32_t*>(bytes), block / 4, pixel);
        for (size_t done = block; done < size; done += block)
            std::memcpy(bytes + done, bytes, std::min(block, size - done));
    }

    // The clearing thread: takes the newest spare still to clear out of the
    // list (no one else can have it meanwhile), clears it and puts it back.
    // It sleeps while there is none: no wake-ups when idle.
    static void clearSpares()
    {
        pthread_setname_np(pthread_self(), "gfx.clear");
        auto& spare = spares();
        std::unique_lock lock(spare.mutex);
        for (;;) {
            auto it = std::find_if(spare.buffers.rbegin(), spare.buffers.rend(), [](const Spare& s) { return !s.cleared; });
            if (it == spare.buffers.rend()) {
                spare.dirty.wait(lock);
                continue;
            }
            Spare taken = *it;
            spare.buffers.erase(std::next(it).base());
            spare.bytes -= taken.length;
            uint64_t releases = spare.releases;
            lock.unlock();
            fill(taken.bytes, taken.length, taken.pixel);
            taken.cleared = true;
            lock.lock();
            if (spare.releases == releases) {
                keep(spare, taken, lock);
            } else {
                lock.unlock();
                munmap(taken.bytes, taken.length);
                lock.lock();
            }
        }
    }

    // Puts a buffer among the spares, the oldest going when there are too
    // many; they are unmapped after the lock is let go.
    static void keep(Spares& spare, const Spare& buffer, std::unique_lock<std::mutex>& lock)
    {
        std::vector<Spare> unmapped;
        while (!spare.buffers.empty()
            && (spare.buffers.size() >= SpareCount || spare.bytes + buffer.length > SpareBytes)) {
            unmapped.push_back(spare.buffers.front());
            spare.bytes -= spare.buffers.front().length;
            spare.buffers.erase(spare.buffers.begin());
        }
        spare.buffers.push_back(buffer);
        spare.bytes += buffer.length;
        lock.unlock();
        for (const Spare& old : unmapped)
            munmap(old.bytes, old.length);
        lock.lock();
    }

    static PixelMemory* allocate(size_t size, uint32_t pixel)
    {
        if (size < MappedFrom) {
            void* bytes = pixel == 0 ? calloc(size, 1) : malloc(size);
            if (bytes && pixel != 0)
                fill(static_cast<unsigned char*>(bytes), size, pixel);
            return bytes ? new PixelMemory { static_cast<unsigned char*>(bytes), size, 0, pixel } : nullptr;
        }
        {
            auto& spare = spares();
            std::unique_lock lock(spare.mutex);
            // The smallest that fits (within a quarter), one cleared to the
            // pixel first.
            auto best = spare.buffers.end();
            auto ready = [&](const Spare& s) { return s.cleared && s.pixel == pixel; };
            for (auto it = spare.buffers.begin(); it != spare.buffers.end(); ++it)
                if (it->length >= size && it->length - size <= size / 4
                    && (best == spare.buffers.end() || (ready(*it) && !ready(*best))
                        || (ready(*it) == ready(*best) && it->length < best->length)))
                    best = it;
            if (best != spare.buffers.end()) {
                Spare taken = *best;
                spare.buffers.erase(best);
                spare.bytes -= taken.length;
                lock.unlock();
                if (!(taken.cleared && taken.pixel == pixel))
                    fill(taken.bytes, size, pixel);
                return new PixelMemory { taken.bytes, size, taken.length, pixel };
            }
        }
        void* bytes = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (bytes == MAP_FAILED)
            return nullptr;
        madvise(bytes, size, MADV_HUGEPAGE);
        if (pixel != 0)
            fill(static_cast<unsigned char*>(bytes), size, pixel);
        return new PixelMemory { static_cast<unsigned char*>(bytes), size, size, pixel };
    }

    static void releaseSpares()
    {
        std::vector<Spare> unmapped;
        {
            auto& spare = spares();
            std::lock_guard lock(spare.mutex);
            unmapped.swap(spare.buffers);
            spare.bytes = 0;
            ++spare.releases;
        }
        for (const Spare& old : unmapped)
            munmap(old.bytes, old.length);
    }

    static void release(void* memory)
    {
        auto* pixels = static_cast<PixelMemory*>(memory);
        if (!pixels->mapped) {
            free(pixels->bytes);
        } else if (pixels->mapped > SpareBytes) {
            munmap(pixels->bytes, pixels->mapped);
        } else {
            // The newest buffer is kept before older ones, which may be of
            // a size no longer asked for (tiles of another layout or zoom).
            auto& spare = spares();
            std::unique_lock lock(spare.mutex);
            keep(spare, Spare { pixels->bytes, pixels->mapped, pixels->pixel, false }, lock);
            if (!std::exchange(spare.clearing, true)) {
                // Without the thread (none can be made) buffers are cleared
                // when taken, as before; nothing may leave this C callback.
                try {
                    std::thread(clearSpares).detach();
                } catch (const std::system_error&) {
                    spare.clearing = false;
                }
            } else {
                spare.dirty.notify_one();
            }
        }
        delete pixels;
    }
};

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

void BitmapContext::releaseSpareMemory()
{
    PixelMemory::releaseSpares();
}

std::unique_ptr<BitmapContext> BitmapContext::create(int width, int height, size_t bytesPerRow)
{
    return make(width, height, bytesPerRow, AffineTransform { 1, 0, 0, -1, 0, float(height) });
}

namespace {

// A plain colour as a premultiplied ARGB32 pixel in native order.
uint32_t premultipliedPixel(const Color& color)
{
    if (color.isPattern())
        return 0;
    auto component = [](float value) { return uint32_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f)); };
    float alpha = std::clamp(color.alpha(), 0.0f, 1.0f);
    return component(alpha) << 24 | component(color.red() * alpha) << 16 | component(color.green() * alpha) << 8
        | component(color.blue() * alpha);
}

} // namespace

std::unique_ptr<BitmapContext> makeImageContext(Size size, float scale, const Color& background)
{
    if (!std::isfinite(scale) || scale <= 0 || !std::isfinite(size.width) || !std::isfinite(size.height)
        || size.width <= 0 || size.height <= 0)
        return nullptr;
    double width = std::ceil(double(size.width) * scale), height = std::ceil(double(size.height) * scale);
    if (width * height > double(kMaximumPixels))
        return nullptr;
    return BitmapContext::make(int(width), int(height), 0, AffineTransform::scale(scale, scale),
        premultipliedPixel(background));
}

std::unique_ptr<BitmapContext> BitmapContext::make(int width, int height, size_t bytesPerRow, const AffineTransform& base,
    uint32_t background)
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
    // The pixels are memory of ours, cleared, owned by the surface.
    auto* pixels = PixelMemory::allocate(bytesPerRow * size_t(height), background);
    if (!pixels)
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(pixels->bytes, CAIRO_FORMAT_ARGB32, width, height, int(bytesPerRow));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        PixelMemory::release(pixels);
        return nullptr;
    }
    static cairo_user_data_key_t pixelsKey;
    cairo_surface_set_user_data(surface, &pixelsKey, pixels, PixelMemory::release);
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

Pixel BitmapContext::pixelAtForTesting(int column, int row) const
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
    // A drawing that cairo failed (the surface keeps its first error) gives
    // no image: its pixels are whatever the failed drawing left. So does a
    // copy that cannot be allocated.
    cairo_surface_t* surface = surfaceOf(m_surface);
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    cairo_surface_flush(surface);
    const unsigned char* source = cairo_image_surface_get_data(surface);
    codecs::Surface copy = source ? codecs::Surface::create(m_width, m_height) : codecs::Surface();
    if (!copy || !cairo_image_surface_get_data(copy.get()))
        return nullptr;
    for (int y = 0; y < m_height; ++y)
        std::memcpy(copy.row(y), source + size_t(y) * m_bytesPerRow, size_t(m_width) * 4);
    copy.markDirty();
    return ImageAccess::imageWithPixels(std::move(copy), contentScale(), ImageOrientation::Up);
}

std::shared_ptr<Image> BitmapContext::takeImage(std::unique_ptr<BitmapContext> context)
{
    if (!context)
        return nullptr;
    cairo_surface_t* surface = surfaceOf(context->m_surface);
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    // An image reads rows at cairo's own stride only.
    if (int(context->m_bytesPerRow) != cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, context->m_width))
        return context->makeImage();
    cairo_surface_flush(surface);
    codecs::Surface pixels(cairo_surface_reference(surface));
    float scale = context->contentScale();
    context.reset();
    return ImageAccess::imageWithPixels(std::move(pixels), scale, ImageOrientation::Up);
}

} // namespace gfx
