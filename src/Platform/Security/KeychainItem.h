#pragma once

// The vocabulary of the keychain: what an item is, how a search names
// items, and what an update changes. Shared by every keychain store.

#include "Platform/Core/Data.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <optional>

namespace sec {

// The two kinds of secret the keychain keeps: a password for an account of
// a named service, and a password for an account on an internet server.
enum class KeychainItemClass { GenericPassword, InternetPassword };

// Attribute names. Strings unless said otherwise; a missing attribute reads
// as "" (or 0) when two items are compared for sameness.
struct KeychainAttribute {
    // Both classes.
    static constexpr const char* Account = "account";
    // An integer code of the caller's choosing (a four-character code).
    static constexpr const char* Type = "type";
    // Generic passwords.
    static constexpr const char* Service = "service";
    // Internet passwords.
    static constexpr const char* Server = "server";
    static constexpr const char* SecurityDomain = "securityDomain";
    static constexpr const char* Protocol = "protocol";
    // An integer, 0 … 65535.
    static constexpr const char* Port = "port";
    static constexpr const char* Path = "path";
    static constexpr const char* AuthenticationType = "authenticationType";
};

// The authentication type an internet password gets when none is named.
inline constexpr const char* KeychainAuthenticationDefault = "default";

struct KeychainItem {
    KeychainItemClass itemClass = KeychainItemClass::GenericPassword;
    // Attribute name → string or integer (see KeychainAttribute).
    core::Value attributes = core::Value::makeDictionary();
    // The secret itself.
    core::Data data;
    // Set by the store.
    core::Date creationDate;
    core::Date modificationDate;
    // Names the item for as long as it lives, across processes and launches.
    core::Data persistentReference;
};

// Which items a search, update or removal concerns: those of the class
// whose attributes equal every attribute named here (none named: all of the
// class). Updates and removals always concern every match.
struct KeychainQuery {
    KeychainItemClass itemClass = KeychainItemClass::GenericPassword;
    core::Value attributes = core::Value::makeDictionary();
    // Strings compare after Unicode case folding.
    bool caseInsensitive = false;
    // Searches answer the first match unless every match is asked for.
    bool matchAll = false;
    // What a search hands back of each match; the rest stays empty.
    bool returnData = false;
    bool returnAttributes = false;
    bool returnReference = false;
};

// What an update sets on every match: the attributes named (the others
// stay) and, when given, the secret.
struct KeychainChanges {
    core::Value attributes = core::Value::makeDictionary();
    std::optional<core::Data> data;
};

} // namespace sec
