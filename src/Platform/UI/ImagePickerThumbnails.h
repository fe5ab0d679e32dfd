#pragma once

// The picker's square thumbnails. Each is made on a small pool of worker
// threads (maximumWorkers()) at the cell's pixel size, the picture cropped to its middle square; a JPEG is
// decoded at a fraction of its size (the decoder's DCT scaling), so a
// screen of twelve-megapixel photos never holds one whole decode. The
// newest request goes first (the cells on screen now), a request whose
// cell has gone is skipped, and at most MaximumKept thumbnails are kept,
// the least recently asked for dropped first. Movies get no thumbnail:
// nothing here decodes video. Main thread, but for the workers.

#include "Platform/UI/ImagePickerController.h"

#include <atomic>
#include <functional>
#include <memory>

namespace gfx {
class Image;
}

namespace ui {

class ImagePickerThumbnails {
public:
    static constexpr size_t MaximumKept = 300;

    static ImagePickerThumbnails& shared();

    // Cleared by the asker when the thumbnail is no longer wanted (the cell
    // shows something else or went): its job is then skipped.
    using Wanted = std::shared_ptr<std::atomic<bool>>;

    // The kept thumbnail of the media, `points` a side at `scale`; else
    // nothing, and it is made: `ready` runs on the main thread once it is
    // kept (not when it cannot be made, nor when no longer wanted).
    std::shared_ptr<gfx::Image> thumbnail(const ImagePickerController::Media& media, float points, float scale,
        const Wanted& wanted, std::function<void()> ready);

    // Threads that make thumbnails at once: half the cores, 1 to 4.
    static int maximumWorkers();

    size_t keptCountForTesting() const;
    // Pixel bytes of the kept thumbnails.
    size_t keptBytesForTesting() const;
    // Decodes that made a thumbnail so far (tests and benchmarks).
    size_t madeCountForTesting() const;
    // Drops every kept thumbnail (a memory warning does, and tests).
    void clear();

    // The thumbnail itself, on any thread; nothing when the picture cannot
    // be read.
    static std::shared_ptr<gfx::Image> make(const ImagePickerController::Media& media, float points, float scale);

    struct State;

private:
    ImagePickerThumbnails();
    std::shared_ptr<State> m_state;
};

} // namespace ui
