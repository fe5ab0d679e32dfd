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

private:
    using VKOperationQueue::VKOperationQueue;
};
