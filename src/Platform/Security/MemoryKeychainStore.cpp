#include "Platform/Security/MemoryKeychainStore.h"

#include <numeric>
#include <utility>

namespace sec {

std::optional<KeychainStore::Status> MemoryKeychainStore::begin(Operation operation)
{
    const auto index = static_cast<size_t>(operation);
    ++m_calls[index];
    return std::exchange(m_failures[index], std::nullopt);
}

KeychainStore::Status MemoryKeychainStore::add(const KeychainItem& item, KeychainItem* stored)
{
    std::lock_guard lock(m_mutex);
    if (auto failure = begin(Operation::Add))
        return *failure;
    return m_items.add(item, stored);
}

KeychainStore::Status MemoryKeychainStore::update(const KeychainQuery& query, const KeychainChanges& changes)
{
    std::lock_guard lock(m_mutex);
    if (auto failure = begin(Operation::Update))
        return *failure;
    return m_items.update(query, changes);
}

KeychainStore::Status MemoryKeychainStore::remove(const KeychainQuery& query)
{
    std::lock_guard lock(m_mutex);
    if (auto failure = begin(Operation::Remove))
        return *failure;
    return m_items.remove(query);
}

KeychainStore::Status MemoryKeychainStore::copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& results)
{
    std::lock_guard lock(m_mutex);
    if (auto failure = begin(Operation::CopyMatching)) {
        results.clear();
        return *failure;
    }
    return m_items.copyMatching(query, results);
}

void MemoryKeychainStore::failNext(Operation operation, Status status)
{
    std::lock_guard lock(m_mutex);
    m_failures[static_cast<size_t>(operation)] = status;
}

size_t MemoryKeychainStore::calls(Operation operation) const
{
    std::lock_guard lock(m_mutex);
    return m_calls[static_cast<size_t>(operation)];
}

size_t MemoryKeychainStore::totalCalls() const
{
    std::lock_guard lock(m_mutex);
    return std::accumulate(m_calls.begin(), m_calls.end(), size_t(0));
}

size_t MemoryKeychainStore::itemCount() const
{
    std::lock_guard lock(m_mutex);
    return m_items.count();
}

} // namespace sec
