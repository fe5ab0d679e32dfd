#pragma once

#include <string_view>

namespace kit {

// Whether the bytes are well-formed UTF-8: shortest forms only, no UTF-16
// surrogates, nothing above U+10FFFF. Stored values, database columns and
// parser input are checked with it before they become text.
bool isValidUTF8(std::string_view bytes);

} // namespace kit
