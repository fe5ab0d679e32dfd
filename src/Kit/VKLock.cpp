#include "Kit/VKLock.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"

VKLock::VKLock()
    : VKLock(PTHREAD_MUTEX_DEFAULT)
{
}

VKLock::VKLock(int type)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, type);
    int result = pthread_mutex_init(&m_mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (result != 0) {
        core::log("Warning, pthread_mutex_init failed");
        throw core::Exception(core::Exception::InternalInconsistency, "pthread_mutex_init failed");
    }
}

VKLock::~VKLock()
{
    pthread_mutex_destroy(&m_mutex);
}

void VKLock::lock()
{
    pthread_mutex_lock(&m_mutex);
}

void VKLock::unlock()
{
    pthread_mutex_unlock(&m_mutex);
}

bool VKLock::tryLock()
{
    return pthread_mutex_trylock(&m_mutex) == 0;
}

VKRecursiveLock::VKRecursiveLock()
    : VKLock(PTHREAD_MUTEX_RECURSIVE)
{
}
