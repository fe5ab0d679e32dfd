#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/FileSystem.h"

#include <cstdint>
#include <optional>
#include <string>

// The entity tag of a file for HTTP and WebDAV: its file number, size and
// modification time (whole seconds since 1970) in lower-case hexadecimal,
// "1a-ff-3e8", without quotes (the WebDAV layer adds them). Nothing, with the
// error, when the item cannot be examined.
std::optional<std::string> etagForItemAtPath(const std::string& path, core::Error* error = nullptr);
// The same from attributes already read.
std::string etagForAttributes(const core::fs::Attributes& attributes);

// The tag of those three facts: (0x1a, 255, 1000) → "1a-ff-3e8".
std::string etagWithFileNumber(uint64_t fileNumber, uint64_t size, int64_t modificationTime);
