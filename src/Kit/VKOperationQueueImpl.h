#pragma once

#include "Kit/VKLock.h"
#include "Kit/VKOperation.h"

#include <deque>
#include <memory>
#include <unordered_set>
#include <vector>

class VKTriggerThread;

// The working part of a VKOperationQueue: the list of waiting operations
// under a lock and a fixed set of workers, each sleeping on its own latch
// until work is added. The workers keep the implementation alive while they
// run, so it goes when the last of them has ended after stop().
class VKOperationQueueImpl : public core::Object {
public:
    // Starts `threadCount` workers (0 makes a queue that never runs
    // anything). Nothing when the queue's lock cannot be made.
    static std::shared_ptr<VKOperationQueueImpl> create(unsigned threadCount);
    ~VKOperationQueueImpl() override;

    // Drops every waiting operation equal to the new one, appends it as the
    // newest and wakes every worker. A null operation throws
    // NSInvalidArgumentException.
    void addOperation(std::shared_ptr<VKOperation> operation);
    // Drops every waiting operation, flags the running one as cancelled and,
    // unless null, makes `operation` the only waiting one.
    void setOperation(std::shared_ptr<VKOperation> operation);
    // Drops the waiting operations; the running one goes on.
    void removeAllPendingOperations();
    // Takes the oldest waiting operation, or the newest with popBack.

    void setPopBack(bool popBack);
    bool isPopBack() const;

    // Flags every worker; each ends after the operation it is running.
    void stop();

private:
    VKOperationQueueImpl() = default;
    void workThread(VKTriggerThread& thread);
    std::shared_ptr<VKOperation> popOperationLocked();
    void signalAll();

    struct Entry {
        std::shared_ptr<VKOperation> operation;
        size_t hash = 0;
    };
    using Waiting = std::deque<Entry>;

    mutable VKLock m_queueLock;
    // Oldest first, each with its hash, and the hashes of all of them.
    Waiting m_queue;
    std::unordered_multiset<size_t> m_hashes;
    bool m_popBack = false;
    // The operation a worker runs now (with several workers, the latest one
    // started), so that setOperation() can flag it.
    std::shared_ptr<VKOperation> m_currentOp;
    std::vector<std::shared_ptr<VKTriggerThread>> m_threads;
};
