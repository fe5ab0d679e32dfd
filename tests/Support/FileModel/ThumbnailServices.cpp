// Per-test reset of the thumbnail manager and the shared image queue: each
// test starts with a fresh manager on its own home, and the queue's worker
// is let go so that no thread outlives the test.

#include "FileModel/VKThumbnailManager.h"
#include "Kit/VKImageOperationQueue.h"
#include "Support/TestEnvironment.h"

namespace {

void resetThumbnails()
{
    VKImageOperationQueue::resetSharedQueue();
    VKThumbnailManager::setSharedManagerForTesting(nullptr);
}

const bool registered = (test::TestEnvironment::addReset(resetThumbnails), true);

} // namespace
