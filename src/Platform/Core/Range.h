#pragma once

#include "Platform/Core/Value.h"

#include <cstddef>

namespace core {

// A run of positions: bytes in data, elements in an array. Not found is
// (kNotFound, 0).
struct Range {
    size_t location = kNotFound;
    size_t length = 0;

    constexpr size_t end() const { return location + length; }
    constexpr bool operator==(const Range&) const = default;
};

} // namespace core
