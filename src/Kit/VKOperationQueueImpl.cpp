#include "Kit/VKOperationQueueImpl.h"

#include "Kit/VKTriggerThread.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/ExceptionReporter.h"
#include "Platform/Core/Log.h"

#include <algorithm>
#include <iterator>
#include <mutex>

std::shared_ptr<VKOperationQueueImpl> VKOperationQueueImpl::create(unsigned threadCount)
{
    std::shared_ptr<VKOperationQueueImpl> impl;
    try {
        impl.reset(new VKOperationQueueImpl());
    } catch (const core::Exception&) {
        core::log("Warning, VKLock failed");
        return nullptr;
    }
    try {
        for (unsigned i = 0; i < threadCount; ++i) {
            auto thread = VKTriggerThread::detach("VKOperationQueue", [impl](VKTriggerThread& thread) mutable {
                // The worker's own reference goes when it ends, not when its
                // closure is destroyed.
                auto self = std::move(impl);
                self->workThread(thread);
            });
            std::lock_guard lock(impl->m_queueLock);
            impl->m_threads.push_back(std::move(thread));
        }
    } catch (...) {
        impl->stop();
        throw;
    }
    return impl;
}

VKOperationQueueImpl::~VKOperationQueueImpl() = default;

void VKOperationQueueImpl::addOperation(std::shared_ptr<VKOperation> operation)
{
    if (!operation)
        throw core::Exception(core::Exception::InvalidArgument, "VKOperationQueue: cannot add a null operation");
    size_t hash = operation->hash();
    std::vector<std::shared_ptr<VKOperation>> dropped;
    {
        std::lock_guard lock(m_queueLock);
        // Only a waiting operation with the same hash can be equal, so a
        // long list is scanned only when it may hold a duplicate.
        if (m_hashes.contains(hash)) {
            auto equal = std::stable_partition(m_queue.begin(), m_queue.end(),
                [&](const auto& waiting) { return !waiting.operation->isEqual(*operation); });
            for (auto it = equal; it != m_queue.end(); ++it) {
                m_hashes.erase(m_hashes.find(it->hash));
                dropped.push_back(std::move(it->operation));
            }
            m_queue.erase(equal, m_queue.end());
        }
        m_hashes.insert(hash);
        m_queue.push_back({ std::move(operation), hash });
    }
    signalAll();
}

void VKOperationQueueImpl::setOperation(std::shared_ptr<VKOperation> operation)
{
    Waiting dropped;
    {
        std::lock_guard lock(m_queueLock);
        dropped.swap(m_queue);
        m_hashes.clear();
        if (m_currentOp)
            m_currentOp->cancel();
        if (operation) {
            size_t hash = operation->hash();
            m_hashes.insert(hash);
            m_queue.push_back({ std::move(operation), hash });
        }
    }
    signalAll();
}

void VKOperationQueueImpl::removeAllPendingOperations()
{
    Waiting dropped;
    std::lock_guard lock(m_queueLock);
    dropped.swap(m_queue);
    m_hashes.clear();
}

std::shared_ptr<VKOperation> VKOperationQueueImpl::popOperationLocked()
{
    if (m_queue.empty())
        return nullptr;
    Entry entry;
    if (m_popBack) {
        entry = std::move(m_queue.back());
        m_queue.pop_back();
    } else {
        entry = std::move(m_queue.front());
        m_queue.pop_front();
    }
    m_hashes.erase(m_hashes.find(entry.hash));
    return std::move(entry.operation);
}

void VKOperationQueueImpl::setPopBack(bool popBack)
{
    std::lock_guard lock(m_queueLock);
    m_popBack = popBack;
}

bool VKOperationQueueImpl::isPopBack() const
{
    std::lock_guard lock(m_queueLock);
    return m_popBack;
}

void VKOperationQueueImpl::signalAll()
{
    std::vector<std::shared_ptr<VKTriggerThread>> threads;
    {
        std::lock_guard lock(m_queueLock);
        threads = m_threads;
    }
    for (auto& thread : threads)
        thread->signal();
}

void VKOperationQueueImpl::stop()
{
    std::vector<std::shared_ptr<VKTriggerThread>> threads;
    {
        std::lock_guard lock(m_queueLock);
        threads = m_threads;
    }
    for (auto& thread : threads)
        thread->cancel();
}

void VKOperationQueueImpl::workThread(VKTriggerThread& thread)
{
    bool ranOperation = false;
    while (!thread.isCancelled()) {
        // After an operation the next one is taken at once, so a burst of
        // work drains without further signals.
        if (!ranOperation)
            thread.wait();
        std::shared_ptr<VKOperation> operation;
        {
            std::lock_guard lock(m_queueLock);
            operation = popOperationLocked();
            m_currentOp = operation;
        }
        ranOperation = operation != nullptr;
        if (operation) {
            // One failing operation must not end the worker (or the process).
            try {
                operation->run();
            } catch (...) {
                core::log("Warning, operation raised: {}", core::ExceptionReporter::describe(std::current_exception()));
            }
        }
        {
            std::lock_guard lock(m_queueLock);
            m_currentOp = nullptr;
        }
        operation.reset();
    }
    removeAllPendingOperations();
}
