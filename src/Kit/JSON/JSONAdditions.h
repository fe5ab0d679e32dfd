#pragma once

#include "Platform/Core/Value.h"

#include <optional>
#include <string>
#include <string_view>

// One-line JSON for strings and values. Each call uses a reader or writer of
// its own and logs the error trace when it fails.

// A dictionary or an array read from the text.
std::optional<core::Value> JSONValue(std::string_view text);
// Any value read from the text.
std::optional<core::Value> JSONFragmentValue(std::string_view text);
// The value (a dictionary or an array) as compact JSON.
std::optional<std::string> JSONRepresentation(const core::Value& value);
// Any value as compact JSON.
std::optional<std::string> JSONFragment(const core::Value& value);
