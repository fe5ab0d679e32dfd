#include "Platform/Store/ContextRegistry.h"

#include "Platform/Store/Object.h"

namespace store {

std::shared_ptr<Object> ContextRegistry::find(int64_t id) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_registry.find(id);
    return found == m_registry.end() ? nullptr : found->second.weak.lock();
}

void ContextRegistry::add(const std::shared_ptr<Object>& object)
{
    std::lock_guard lock(m_mutex);
    m_registry[object->objectID()] = Registration { object.get(), object };
}

bool ContextRegistry::erase(int64_t id, const Object* object)
{
    auto found = m_registry.find(id);
    if (found == m_registry.end() || found->second.object != object)
        return false;
    m_registry.erase(found);
    return true;
}

void ContextRegistry::forget(int64_t id, const Object* object)
{
    std::lock_guard lock(m_mutex);
    if (!erase(id, object))
        return;
    // A walk over a large tree leaves a large table behind: give it back.
    if (m_registry.bucket_count() > 4096 && m_registry.size() * 8 < m_registry.bucket_count())
        m_registry.rehash(0);
}

void ContextRegistry::drop(int64_t id, const Object* object)
{
    std::lock_guard lock(m_mutex);
    erase(id, object);
}

size_t ContextRegistry::count() const
{
    std::lock_guard lock(m_mutex);
    return m_registry.size();
}

void ContextRegistry::clear()
{
    std::lock_guard lock(m_mutex);
    m_registry.clear();
}

} // namespace store
