#pragma once

// {fmt} formatters for the core value types, so that they can be given to
// core::log and fmt::format as they are ("{}" for the device's "%@").

#include "Platform/Core/Data.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <fmt/format.h>
#include <memory>

template<> struct fmt::formatter<core::Value> : fmt::formatter<std::string_view> {
    auto format(const core::Value& value, fmt::format_context& context) const
    {
        return fmt::formatter<std::string_view>::format(value.toString(), context);
    }
};

template<> struct fmt::formatter<core::Data> : fmt::formatter<std::string_view> {
    auto format(const core::Data& data, fmt::format_context& context) const
    {
        return fmt::formatter<std::string_view>::format(data.description(), context);
    }
};

template<> struct fmt::formatter<core::Date> : fmt::formatter<std::string_view> {
    auto format(core::Date date, fmt::format_context& context) const
    {
        return fmt::formatter<std::string_view>::format(date.description(), context);
    }
};

template<> struct fmt::formatter<core::Error> : fmt::formatter<std::string_view> {
    auto format(const core::Error& error, fmt::format_context& context) const
    {
        return fmt::formatter<std::string_view>::format(error.description(), context);
    }
};

template<> struct fmt::formatter<core::URL> : fmt::formatter<std::string_view> {
    auto format(const core::URL& url, fmt::format_context& context) const
    {
        return fmt::formatter<std::string_view>::format(url.description(), context);
    }
};

// Objects print their description; a null pointer prints "(null)".
template<typename T>
    requires std::is_base_of_v<core::Object, T>
struct fmt::formatter<std::shared_ptr<T>> : fmt::formatter<std::string_view> {
    auto format(const std::shared_ptr<T>& object, fmt::format_context& context) const
    {
        return fmt::formatter<std::string_view>::format(object ? object->description() : std::string("(null)"), context);
    }
};
