#pragma once

#include <pthread.h>

// A mutex that guards shared state across threads (the quota tree, the
// settings database, a resource's cached properties). It meets the C++
// Lockable requirements, so std::lock_guard and std::unique_lock take it.
class VKLock {
public:
    // Logs "Warning, pthread_mutex_init failed" and throws
    // NSInternalInconsistencyException when the mutex cannot be made.
    VKLock();
    virtual ~VKLock();
    VKLock(const VKLock&) = delete;
    VKLock& operator=(const VKLock&) = delete;

    void lock();
    void unlock();
    bool tryLock();

    // Lockable spelling for the standard lock holders.
    bool try_lock() { return tryLock(); }

protected:
    explicit VKLock(int type);

private:
    pthread_mutex_t m_mutex;
};

// A mutex its owning thread may take again; it must unlock as often.
class VKRecursiveLock : public VKLock {
public:
    VKRecursiveLock();
};
