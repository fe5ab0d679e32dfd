#pragma once

// A PDF stream: its dictionary and its data with the standard filters
// undone.

#include "Platform/Core/Data.h"
#include "Platform/PDF/Dictionary.h"

#include <optional>

namespace pdf {

class Stream : public Handle {
public:
    Stream() = default;

    Dictionary dictionary() const;

    // The decoded data, or nothing when it cannot be decoded (an unknown or
    // damaged filter) or would be longer than `limit` bytes: decoding stops
    // at the limit, so a small stream that inflates without end costs no
    // more than the limit.
    std::optional<core::Data> decodedData(size_t limit) const;
};

} // namespace pdf
