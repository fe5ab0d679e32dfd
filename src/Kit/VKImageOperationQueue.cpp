#include "Kit/VKImageOperationQueue.h"

#include "Kit/VKOperationQueueImpl.h"

#include <mutex>

namespace {

std::mutex sharedMutex;
std::shared_ptr<VKImageOperationQueue> sharedInstance;

} // namespace

std::shared_ptr<VKImageOperationQueue> VKImageOperationQueue::sharedQueue()
{
    std::lock_guard lock(sharedMutex);
    if (!sharedInstance) {
        auto impl = VKOperationQueueImpl::create(1);
        if (!impl)
            return nullptr;
        sharedInstance = std::shared_ptr<VKImageOperationQueue>(new VKImageOperationQueue(std::move(impl)));
        sharedInstance->setPopBack(true);
    }
    return sharedInstance;
}

void VKImageOperationQueue::resetSharedQueue()
{
    std::shared_ptr<VKImageOperationQueue> queue;
    std::lock_guard lock(sharedMutex);
    queue.swap(sharedInstance);
}
