#pragma once

#include <cstddef>

namespace core {

// "Not found", as an index or a location: the value the system's stored data
// and its callers use.
inline constexpr size_t kNotFound = 0x7FFFFFFF;

// A run of positions: bytes in data, elements in an array.
struct Range {
    size_t location = kNotFound;
    size_t length = 0;

    constexpr size_t end() const { return location + length; }
    constexpr bool operator==(const Range&) const = default;
};

} // namespace core
