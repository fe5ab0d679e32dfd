#pragma once

// The items of a keychain in memory, in the order they were added, with the
// rules every store follows: which attributes each class has and of what
// kind, when two items are the same, how a query matches, and the property
// list form a store keeps on disk. Not locked: its store serialises calls.

#include "Platform/Security/KeychainStore.h"

#include <optional>
#include <vector>

namespace sec {

class KeychainItemList {
public:
    using Status = KeychainStore::Status;

    Status add(const KeychainItem& item, KeychainItem* stored = nullptr);
    Status update(const KeychainQuery& query, const KeychainChanges& changes);
    Status remove(const KeychainQuery& query);
    Status copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& results) const;

    size_t count() const { return m_items.size(); }
    const std::vector<KeychainItem>& items() const { return m_items; }

    // {"version": 1, "items": [...]}: each item's class, attributes, secret,
    // dates and reference.
    core::Value propertyList() const;
    // Nothing when the value is not such a list or any item in it breaks the
    // rules above.
    static std::optional<KeychainItemList> fromPropertyList(const core::Value& list);

    // BadParameter for attributes the class lacks or of the wrong kind.
    static Status validateAttributes(KeychainItemClass itemClass, const core::Value& attributes);

private:
    std::vector<KeychainItem> m_items;
};

} // namespace sec
