#pragma once

// A PDF dictionary. Keys are names without their "/". Each getter answers
// whether the entry exists with that type (references resolved; a number is
// an integer or a real) and leaves `out` untouched when it does not.

#include "Platform/PDF/Object.h"

#include <string_view>
#include <vector>

namespace pdf {

class Dictionary : public Handle {
public:
    Dictionary() = default;

    // Entries whose value is null count as absent.
    size_t count() const;
    std::vector<std::string> keys() const;

    bool object(std::string_view key, Object& out) const;
    bool boolean(std::string_view key, bool& out) const;
    bool integer(std::string_view key, int64_t& out) const;
    bool number(std::string_view key, double& out) const;
    bool name(std::string_view key, std::string& out) const;
    bool string(std::string_view key, String& out) const;
    bool array(std::string_view key, Array& out) const;
    bool dictionary(std::string_view key, Dictionary& out) const;
    bool stream(std::string_view key, Stream& out) const;
};

} // namespace pdf
