#pragma once

#include "Platform/Core/URLRequest.h"

#include <string>
#include <optional>
#include <string_view>

// A file name carried by a request to the download that loads it.

// The request property the name is kept under; properties travel with the
// request but are never sent.
inline constexpr const char* VKSuggestedFilenameRequestProperty = "VKSuggestedFilenameRequestProperty";

// The name a download of the request is saved under: the name set on the
// request, else "data" for a data URL, else the last component of the URL's
// path with its escapes removed, else the translated "Unknown". It is always
// one plain name: only the last "/" component of whichever source is taken,
// NUL characters are removed, and "", "." or ".." give "Unknown".
std::string suggestedFilename(const core::URLRequest& request);

void setSuggestedFilename(core::URLRequest& request, std::string_view name);

// A request as bytes for a file that outlives the process (a binary
// property list of every field: URL, method, headers in order, body or body
// file, time-out, cache policy and properties), and back. Reading answers
// nothing for bytes that are not such an archive or whose URL, method or a
// header would not be valid in a request.
std::string archivedRequest(const core::URLRequest& request);
std::optional<core::URLRequest> unarchivedRequest(std::string_view bytes);
