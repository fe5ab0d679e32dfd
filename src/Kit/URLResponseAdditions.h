#pragma once

#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/Value.h"

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

// A response head as bytes for a file that outlives the process (a binary
// property list of its URL, status, headers in order and media type), and
// back; nothing for bytes that are not such an archive.
std::string archivedResponse(const core::HTTPURLResponse& response);
std::optional<core::HTTPURLResponse> unarchivedResponse(std::string_view bytes);

// Header fields in order as an array of [name, value] pairs for the two
// archives, and back (nothing for a malformed or invalid field).
core::Value archivedHeaderFields(const core::HeaderFields& fields);
std::optional<core::HeaderFields> unarchivedHeaderFields(const core::Value& value);
