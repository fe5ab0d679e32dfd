#pragma once

// A keychain store that lives in memory, for tests of what uses a keychain:
// it counts the calls of each kind and, on cue, fails the next call of a
// kind with a given status, leaving its items untouched.

#include "Platform/Security/KeychainItemList.h"

#include <array>
#include <mutex>
#include <optional>

namespace sec {

class MemoryKeychainStore : public KeychainStore {
public:
    enum class Operation { Add, Update, Remove, CopyMatching };

    Status add(const KeychainItem& item, KeychainItem* stored = nullptr) override;
    Status update(const KeychainQuery& query, const KeychainChanges& changes) override;
    Status remove(const KeychainQuery& query) override;
    Status copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& results) override;

    // The next call of that kind answers `status` and changes nothing.
    void failNext(Operation operation, Status status);
    size_t calls(Operation operation) const;
    size_t totalCalls() const;
    size_t itemCount() const;

private:
    // The injected failure of this call, counting it either way.
    std::optional<Status> begin(Operation operation);

    mutable std::mutex m_mutex;
    KeychainItemList m_items;
    std::array<size_t, 4> m_calls {};
    std::array<std::optional<Status>, 4> m_failures {};
};

} // namespace sec
