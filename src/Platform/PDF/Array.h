#pragma once

// A PDF array. Each getter answers whether the element exists with that type
// (references resolved; a number is an integer or a real) and leaves `out`
// untouched when it does not.

#include "Platform/PDF/Object.h"

namespace pdf {

class Array : public Handle {
public:
    Array() = default;

    size_t count() const;

    bool object(size_t index, Object& out) const;
    bool boolean(size_t index, bool& out) const;
    bool integer(size_t index, int64_t& out) const;
    bool number(size_t index, double& out) const;
    bool name(size_t index, std::string& out) const;
    bool string(size_t index, String& out) const;
    bool array(size_t index, Array& out) const;
    bool dictionary(size_t index, Dictionary& out) const;
    bool stream(size_t index, Stream& out) const;
};

} // namespace pdf
