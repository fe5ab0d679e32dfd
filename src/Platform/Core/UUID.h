#pragma once

#include <string>

namespace core {

// A new random UUID in its 36-character upper-case text form.
std::string uuidString();

} // namespace core
