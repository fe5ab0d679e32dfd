#pragma once

// A keychain store: where the program keeps passwords and other secrets,
// addressed by class and attributes (KeychainItem.h). Answers are statuses
// with the device's numbers, which callers log and compare; a store never
// throws. The program keeps its secrets in a FileKeychainStore in the home;
// tests that need to count calls or see failures use a MemoryKeychainStore.

#include "Platform/Security/KeychainItem.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sec {

class KeychainStore {
public:
    using Status = int32_t;
    static constexpr Status Success = 0;
    static constexpr Status ItemNotFound = -25300;
    static constexpr Status DuplicateItem = -25299;
    // A malformed query or item: an attribute the class does not have, a
    // value of the wrong kind, a secret over MaximumDataLength.
    static constexpr Status BadParameter = -50;
    static constexpr Status IOError = -36;
    // The store would grow past what it can hold.
    static constexpr Status AllocationFailed = -108;
    static constexpr Status NotAvailable = -25291;

    static constexpr size_t MaximumDataLength = size_t(1) << 20;
    // An attribute's text is at most this long.
    static constexpr size_t MaximumAttributeLength = size_t(64) << 10;

    virtual ~KeychainStore() = default;

    // Adds an item; DuplicateItem when one of its class with the same
    // identifying attributes exists (generic: account and service;
    // internet: account, security domain, server, protocol, authentication
    // type, port and path). `stored` receives the item as kept, with its
    // dates and reference.
    virtual Status add(const KeychainItem& item, KeychainItem* stored = nullptr) = 0;
    // Changes every match; ItemNotFound when there is none, DuplicateItem
    // (nothing changed) when a change would make two items the same.
    virtual Status update(const KeychainQuery& query, const KeychainChanges& changes) = 0;
    // Removes every match; ItemNotFound when there is none.
    virtual Status remove(const KeychainQuery& query) = 0;
    // The first match (every match with matchAll), in the order the items
    // were added; ItemNotFound when there is none.
    virtual Status copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& results) = 0;
};

} // namespace sec
