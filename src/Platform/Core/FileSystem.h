#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"

#include <string>
#include <string_view>

namespace core::fs {

// Writes `contents` to a temporary file in the same folder, flushes it to
// disk and renames it over `path`, so that readers see the old file or the
// new one, never a part. On failure the old file is intact and no temporary
// file is left. `mode` applies to a new file; an existing file keeps its mode.
bool writeFileAtomically(const std::string& path, std::string_view contents, Error* error = nullptr, unsigned mode = 0644);

// The whole file, mapped read-only (an empty file gives empty data).
// Nothing (with the error) when it cannot be read.
bool readFile(const std::string& path, Data& contents, Error* error = nullptr);

// Whether the path holds a NUL byte: such paths are refused with EINVAL
// rather than silently cut short at the NUL.
bool hasNul(std::string_view path);

} // namespace core::fs
