#pragma once

#include "Platform/Core/HTTPURLResponse.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Additions to responses for downloads that resume.

// The full length of the resource: the number after "/" in "Content-Range"
// ("bytes 100-199/1000" gives 1000), else the expected content length. A
// range that ends at or past its own total ("bytes 0-99/50") gives no total.
int64_t expectedTotalLength(const core::HTTPURLResponse& response);

// The first header field of that name, ignoring case; nothing for a response
// that is not an HTTP response.
std::optional<std::string> valueForHTTPHeaderField(const core::HTTPURLResponse* response, std::string_view name);
