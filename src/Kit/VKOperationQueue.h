#pragma once

#include "Kit/VKOperation.h"

#include <memory>

class VKOperationQueueImpl;

// Background work on a fixed number of worker threads. Waiting operations
// are taken oldest first, or newest first with popBack (thumbnails: what the
// user looks at now). Adding an operation equal to a waiting one replaces it.
// Letting the queue go stops the workers: each finishes what it is running
// and the waiting work is dropped.
class VKOperationQueue : public core::Object {
public:
    // Nothing when the queue's lock cannot be made.
    static std::shared_ptr<VKOperationQueue> create(unsigned threadCount = 1);
    ~VKOperationQueue() override;

    void addOperation(std::shared_ptr<VKOperation> operation);
    // Replaces all waiting work by `operation` (or by nothing) and flags the
    // running operation as cancelled: for work where only the latest request
    // matters. Meant for one-worker queues.
    void setOperation(std::shared_ptr<VKOperation> operation);
    void removeAllPendingOperations();
    void setPopBack(bool popBack);
    bool isPopBack() const;

protected:
    explicit VKOperationQueue(std::shared_ptr<VKOperationQueueImpl> impl);

private:
    const std::shared_ptr<VKOperationQueueImpl> m_impl;
};
