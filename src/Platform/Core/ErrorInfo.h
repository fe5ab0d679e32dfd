#pragma once

#include "Platform/Core/Error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The well-known entries of an error's user info, read by their types:
// nothing (or no options) when an entry is absent or of another type.
namespace core::errorInfo {

// The keys, as the URL loader, the web engine, the PDF opener and the
// batch operations write them.
inline constexpr const char* FailingURLKey = "NSErrorFailingURLKey";
inline constexpr const char* LocalizedRecoveryOptionsKey = "NSLocalizedRecoveryOptions";
inline constexpr const char* FailureCountKey = "failureCount";

inline const Value* entry(const Error& error, const char* key)
{
    auto found = error.userInfo().find(key);
    return found == error.userInfo().end() ? nullptr : &found->second;
}

inline std::optional<std::string> text(const Error& error, const char* key)
{
    const Value* value = entry(error, key);
    return value && value->isString() ? std::optional(value->string()) : std::nullopt;
}

// The description the error states itself, without the generic sentence.
inline std::optional<std::string> statedDescription(const Error& error)
{
    return text(error, Error::LocalizedDescriptionKey);
}

inline std::optional<std::string> failingURL(const Error& error)
{
    return text(error, FailingURLKey);
}

inline std::vector<std::string> localizedRecoveryOptions(const Error& error)
{
    std::vector<std::string> options;
    if (const Value* value = entry(error, LocalizedRecoveryOptionsKey); value && value->isArray())
        for (const auto& option : value->array())
            options.push_back(option.toString());
    return options;
}

// How many items of a batch failed.
inline std::optional<int64_t> failureCount(const Error& error)
{
    const Value* value = entry(error, FailureCountKey);
    return value && value->isNumber() ? std::optional(value->toInteger()) : std::nullopt;
}

} // namespace core::errorInfo
