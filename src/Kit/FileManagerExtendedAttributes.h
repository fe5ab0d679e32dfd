#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The file manager's extended-attribute additions: where WebDAV keeps dead
// properties and the file model an item's UUID and its marked-deleted flag.
// Options are the device's bits, passed on as they are: 1 acts on a final
// symbolic link itself (Linux keeps no user attributes on links, so such a
// read finds nothing and such a write fails), 2 creates only, 4 replaces only
// (core::ExtendedAttributes).
//
// Setting and removing tell why they failed through `error` (POSIX domain),
// so that a caller can tell a full disk from a refusal.

std::optional<core::Data> xattrDataForItemAtPath(const std::string& path, std::string_view key, int options = 0);
// The value as text; nothing when it is missing or not UTF-8.
std::optional<std::string> xattrStringForItemAtPath(const std::string& path, std::string_view key, int options = 0);

bool xattrSetData(const core::Data& data, const std::string& path, std::string_view key, int options = 0,
    core::Error* error = nullptr);
bool xattrSetString(std::string_view string, const std::string& path, std::string_view key, int options = 0,
    core::Error* error = nullptr);
bool xattrRemoveDataForItemAtPath(const std::string& path, std::string_view key, int options = 0,
    core::Error* error = nullptr);

// Every attribute name; empty for an item without attributes, nothing when
// the item cannot be read.
std::optional<std::vector<std::string>> xattrKeysForItemAtPath(const std::string& path, int options = 0);
// Name → value of every attribute that could be read.
std::optional<std::map<std::string, core::Data>> xattrAttributesForItemAtPath(const std::string& path,
    int options = 0);
