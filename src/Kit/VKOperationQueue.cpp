#include "Kit/VKOperationQueue.h"

#include "Kit/VKOperationQueueImpl.h"

VKOperationQueue::VKOperationQueue(std::shared_ptr<VKOperationQueueImpl> impl)
    : m_impl(std::move(impl))
{
}

std::shared_ptr<VKOperationQueue> VKOperationQueue::create(unsigned threadCount)
{
    auto impl = VKOperationQueueImpl::create(threadCount);
    if (!impl)
        return nullptr;
    return std::shared_ptr<VKOperationQueue>(new VKOperationQueue(std::move(impl)));
}

VKOperationQueue::~VKOperationQueue()
{
    m_impl->stop();
}

void VKOperationQueue::addOperation(std::shared_ptr<VKOperation> operation)
{
    m_impl->addOperation(std::move(operation));
}

void VKOperationQueue::setOperation(std::shared_ptr<VKOperation> operation)
{
    m_impl->setOperation(std::move(operation));
}

void VKOperationQueue::removeAllPendingOperations()
{
    m_impl->removeAllPendingOperations();
}

void VKOperationQueue::setPopBack(bool popBack)
{
    m_impl->setPopBack(popBack);
}

bool VKOperationQueue::isPopBack() const
{
    return m_impl->isPopBack();
}
