#pragma once

#include "Kit/VKOperationQueue.h"

#include <memory>

// The one queue that image work shares (thumbnails and previews, the
// viewers' image loads, PDF page thumbnails): one worker, newest first, so
// that the rows the user scrolled to last are served first and decoding
// never competes with itself for memory.
class VKImageOperationQueue : public VKOperationQueue {
public:
    // Made on first use, from any thread.
    static std::shared_ptr<VKImageOperationQueue> sharedQueue();
    // Drops the shared queue (tests): its worker ends after what it runs and
    // the next sharedQueue() makes a new one.
    static void resetSharedQueue();
    // After the next turn of the main run loop (once a closed viewer's views
    // have let their bitmaps go), runs on the shared queue after what it is
    // doing: the pixel buffers kept for the next bitmaps and the free heap
    // (a worker's too) go back to the system. A viewer that closes calls it,
    // so that what it showed (pictures, pages, frames) is not kept.
    static void releaseMemoryLater();

private:
    using VKOperationQueue::VKOperationQueue;
};
