#pragma once

// How the records read the fields of a JSON answer or an archive: texts of
// any other kind read as none, so that a hostile answer never becomes a
// wrong text; numbers go through NumberAdditions (a wrong kind reads as 0).

#include "Platform/Core/Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace db {

inline std::optional<std::string> stringField(const core::Value& value)
{
    return value.isString() ? std::optional<std::string>(value.string()) : std::nullopt;
}

inline std::optional<std::string> stringField(const core::Value::Dictionary& coder, std::string_view key)
{
    auto found = coder.find(key);
    return found == coder.end() ? std::nullopt : stringField(found->second);
}

inline void encodeString(core::Value::Dictionary& coder, const char* key, const std::optional<std::string>& value)
{
    if (value)
        coder[key] = *value;
}

} // namespace db
