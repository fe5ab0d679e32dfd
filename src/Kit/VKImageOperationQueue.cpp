#include "Kit/VKImageOperationQueue.h"

#include "Kit/VKOperation.h"
#include "Kit/VKOperationQueueImpl.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"

#include <mutex>

namespace {

std::mutex sharedMutex;
std::shared_ptr<VKImageOperationQueue> sharedInstance;

class ReleaseMemoryOperation : public VKOperation {
public:
    void run() override
    {
        gfx::BitmapContext::releaseSpareMemory();
        core::Device::releaseFreeHeapMemory();
    }
};

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

void VKImageOperationQueue::releaseMemoryLater()
{
    core::RunLoop::main().performAfter(0, [] {
        if (auto queue = sharedQueue())
            queue->addOperation(std::make_shared<ReleaseMemoryOperation>());
    });
}
